// Interpreter behaviour at its edges: flags, wrap-around, R, prefixes,
// block instructions, interrupts and the port protocol. The interpreter
// runs alone here, on the flat test bus.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "core/bus.h"
#include "core/z80.h"
#include "support/z80_bus.h"

namespace {

uint8_t *const ram = bus_ram;
int port_value;
int port_reads_seen_pc;
int port_read(int) {
  port_reads_seen_pc = emulator_registers[REG_PC];
  return port_value;
}
// A write that makes the CPU take the NMI at once, as a register-1 write
// does with the frame flag up: the acceptance runs on the stored registers.
int port_write_takes_nmi(int, int) { return z80_interrupt(1); }

class Z80 : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(bus_ram, 0, sizeof bus_ram);
    bus_reset();  // headerless: no read ever diverts; keep away from 0xBFFF
    z80_error = 0;
    interrupt_mode = 0;
    disable_interrupts();
    memset(emulator_registers, 0, sizeof emulator_registers);
    emulator_registers[REG_SP] = 0x8000;
    emulator_registers[REG_PC] = 0x1000;
    port_value = 0;
    bus_port_read = port_read;
  }
  static void code(int addr, std::initializer_list<int> bytes) {
    for (int b : bytes) ram[addr++ & 0xFFFF] = (uint8_t)b;
  }
  static int &reg(int r) { return emulator_registers[r]; }
  static int a() { return reg(REG_AF) >> 8; }
  static int f() { return reg(REG_AF) & 0xFF; }
  static int r7() { return reg(REG_IR) & 0xFF; }
  static int steps(int n) {
    int used = 0;
    while (n-- > 0) used += z80_step();
    return used;
  }
  static int pop_word(void) {
    int sp = reg(REG_SP);
    return ram[sp] | ram[(sp + 1) & 0xFFFF] << 8;
  }
};

}  // namespace

TEST(Z80Flags, TablesFollowTheirRules) {
  EXPECT_EQ(table_inc[0x00], 0x50);
  EXPECT_EQ(table_inc[0x80], 0x94);
  EXPECT_EQ(table_dec[0x7F], 0x16);
  EXPECT_EQ(table_dec[0xFF], 0x92);
  EXPECT_EQ(table_parity[0x00], 0x44);
  EXPECT_EQ(table_parity2[0x03], 0x14);
  EXPECT_EQ(table_parity[0x01], 0x00);
  EXPECT_EQ(table_basic2[0x80], 0x82);
  for (int x = 0; x < 256; x++) {
    for (const uint8_t *t : {table_basic, table_basic2, table_parity, table_parity2, table_inc, table_dec})
      ASSERT_EQ(t[x] & 0x28, 0) << x;
  }
}

TEST_F(Z80, ArithmeticEdgeCases) {
  // SUB A, XOR A, SBC A,A with carry.
  code(0x1000, {0x97, 0xAF, 0x37, 0x9F});
  reg(REG_AF) = 0x5500;
  steps(1);
  EXPECT_EQ(reg(REG_AF), 0x0042);
  steps(1);
  EXPECT_EQ(reg(REG_AF), 0x0044);
  steps(2);
  EXPECT_EQ(reg(REG_AF), 0xFF93);

  // CP with A < s: N, C and the sign of the difference; A kept.
  code(0x1004, {0xFE, 0x20});
  reg(REG_AF) = 0x1000;
  steps(1);
  EXPECT_EQ(a(), 0x10);
  EXPECT_EQ(f() & 0x83, 0x83);

  // DAA after SUB 1 on 0x10, and after ADD giving 0x9A.
  code(0x1006, {0xD6, 0x01, 0x27, 0xC6, 0x0A, 0x27});
  reg(REG_AF) = 0x1000;
  steps(2);
  EXPECT_EQ(a(), 0x09);
  EXPECT_TRUE(f() & 0x02);
  reg(REG_AF) = 0x9000;
  steps(1);
  EXPECT_EQ(a(), 0x9A);
  steps(1);
  EXPECT_EQ(a(), 0x00);
  EXPECT_EQ(f() & 0x41, 0x41);

  // INC 0x7F and DEC 0x80 leave C alone.
  code(0x100C, {0x3C, 0x3D, 0x3D});
  reg(REG_AF) = 0x7F01;
  steps(1);
  EXPECT_EQ(reg(REG_AF), 0x8095);
  steps(1);
  EXPECT_EQ(reg(REG_AF), 0x7F17);
  reg(REG_AF) = 0x8000;
  steps(1);
  EXPECT_EQ(reg(REG_AF), 0x7F16);
}

TEST_F(Z80, ScfAndCcfTouchOnlyTheCarry) {
  code(0x1000, {0x37, 0x3F, 0x3F});
  reg(REG_AF) = 0x0012;  // H and N set
  steps(1);
  EXPECT_EQ(f(), 0x13);
  steps(1);
  EXPECT_EQ(f(), 0x12);  // the old C does not go to H
  reg(REG_AF) = 0x0001;
  steps(1);
  EXPECT_EQ(f(), 0x00);
}

TEST_F(Z80, ExtendedArithmeticEdgeCases) {
  // NEG of 0x80 and of 0.
  code(0x1000, {0xED, 0x44, 0xED, 0x44});
  reg(REG_AF) = 0x8000;
  EXPECT_EQ(steps(1), 10);
  EXPECT_EQ(a(), 0x80);
  EXPECT_EQ(f() & 0x05, 0x05);
  reg(REG_AF) = 0x0000;
  steps(1);
  EXPECT_EQ(reg(REG_AF), 0x0042);

  // SBC HL,DE with equal values, SBC HL,HL with carry.
  code(0x1004, {0xED, 0x52, 0xED, 0x62});
  reg(REG_HL) = reg(REG_DE) = 0x1234;
  reg(REG_AF) = 0;
  steps(1);
  EXPECT_EQ(reg(REG_HL), 0);
  EXPECT_EQ(f(), 0x42);
  reg(REG_AF) = 0x0001;
  reg(REG_HL) = 0x4000;
  steps(1);
  EXPECT_EQ(reg(REG_HL), 0xFFFF);
  EXPECT_EQ(f(), 0x93);

  // IN r,(C) reading 0: Z and P/V set, S cleared, C kept.
  code(0x1008, {0xED, 0x78});
  reg(REG_AF) = 0x0081;
  port_value = 0;
  steps(1);
  EXPECT_EQ(f(), 0x45);
}

TEST_F(Z80, AddressesWrapAround) {
  code(0xFFFF, {0x00});
  reg(REG_PC) = 0xFFFF;
  steps(1);
  EXPECT_EQ(reg(REG_PC), 0x0000);

  // LD HL,(0xFFFF) takes its high byte from 0x0000.
  code(0x1000, {0x2A, 0xFF, 0xFF});
  ram[0xFFFF] = 0x34;
  ram[0x0000] = 0x12;
  reg(REG_PC) = 0x1000;
  steps(1);
  EXPECT_EQ(reg(REG_HL), 0x1234);

  // PUSH at SP 0 writes 0xFFFF and 0xFFFE; POP at 0xFFFF wraps up.
  code(0x1003, {0xC5, 0xD1});
  reg(REG_SP) = 0x0000;
  reg(REG_BC) = 0xABCD;
  steps(1);
  EXPECT_EQ(reg(REG_SP), 0xFFFE);
  EXPECT_EQ(ram[0xFFFF], 0xAB);
  EXPECT_EQ(ram[0xFFFE], 0xCD);
  reg(REG_SP) = 0xFFFF;
  steps(1);
  EXPECT_EQ(reg(REG_DE), 0x00AB | (ram[0] << 8));
  EXPECT_EQ(reg(REG_SP), 0x0001);
}

TEST_F(Z80, RefreshRegisterCountsFetchesAndKeepsBit7) {
  code(0x1000, {0x00, 0xCB, 0x00, 0xED, 0x4F, 0x00});
  reg(REG_IR) = 0x12FF;
  steps(1);
  EXPECT_EQ(reg(REG_IR), 0x1280);
  steps(1);  // prefix counts once more
  EXPECT_EQ(reg(REG_IR), 0x1282);
  reg(REG_AF) = 0x7F00;
  steps(1);  // LD R,A sets all eight bits
  EXPECT_EQ(reg(REG_IR), 0x127F);
  steps(1);
  EXPECT_EQ(reg(REG_IR), 0x1200);
}

TEST_F(Z80, LoadingIOrRKeepsTheOtherAndRsBit7) {
  // LD A,85h; LD R,A; LD A,34h; LD I,A; LD A,R; LD A,I
  code(0x1000, {0x3E, 0x85, 0xED, 0x4F, 0x3E, 0x34, 0xED, 0x47, 0xED, 0x5F, 0xED, 0x57});
  reg(REG_IR) = 0x1200;
  steps(2);
  EXPECT_EQ(reg(REG_IR), 0x1285);
  steps(2);
  EXPECT_EQ(reg(REG_IR), 0x3488);  // R counted on, bit 7 kept
  steps(1);
  EXPECT_EQ(reg(REG_AF) >> 8, 0x8A);
  steps(1);
  EXPECT_EQ(reg(REG_AF) >> 8, 0x34);
  EXPECT_EQ(reg(REG_IR), 0x348C);
}

TEST_F(Z80, LonePrefixRunsAsAStepOfItsOwn) {
  code(0x1000, {0xDD, 0x40, 0xFD, 0xDD, 0x21, 0x34, 0x12});
  EXPECT_EQ(z80_step(), 6);
  EXPECT_EQ(reg(REG_PC), 0x1001);
  EXPECT_EQ(r7(), 2);
  EXPECT_EQ(z80_step(), 5);  // LD B,B
  EXPECT_EQ(r7(), 3);
  // In a chain only the last prefix takes effect.
  EXPECT_EQ(steps(2), 6 + 16);
  EXPECT_EQ(reg(REG_IX), 0x1234);
  EXPECT_EQ(reg(REG_IY), 0);
}

TEST_F(Z80, IndexedBitOperationsCopyIntoRegisters) {
  code(0x1000, {0xDD, 0xCB, 0x05, 0x00, 0xFD, 0xCB, 0xFE, 0x06, 0xDD, 0xCB, 0x05, 0x46});
  reg(REG_IX) = 0x2000;
  reg(REG_IY) = 0x3002;
  ram[0x2005] = 0x81;
  ram[0x3000] = 0x81;
  reg(REG_BC) = 0x5555;
  EXPECT_EQ(steps(1), 25);
  EXPECT_EQ(ram[0x2005], 0x03);
  EXPECT_EQ(reg(REG_BC), 0x0355);
  steps(1);  // 0x06: memory only
  EXPECT_EQ(ram[0x3000], 0x03);
  EXPECT_EQ(reg(REG_BC), 0x0355);
  EXPECT_EQ(steps(1), 22);  // BIT never copies
  EXPECT_EQ(reg(REG_BC), 0x0355);
}

TEST_F(Z80, UndefinedAndSpecialEdCodes) {
  code(0x1000, {0xED, 0x00, 0xED, 0x77});
  reg(REG_AF) = 0x1234;
  EXPECT_EQ(steps(1), 10);
  EXPECT_EQ(z80_error, 1);
  EXPECT_EQ(steps(1), 10);
  EXPECT_EQ(reg(REG_PC), 0x1004);
  EXPECT_EQ(reg(REG_AF), 0x1234);
  EXPECT_EQ(reg(REG_SP), 0x8000);

  // ED ED: one more fetch, then a return.
  code(0x1004, {0xED, 0xED, 0x99});
  ram[0x8000] = 0x78;
  ram[0x8001] = 0x56;
  reg(REG_IR) = 0;
  EXPECT_EQ(steps(1), 25);
  EXPECT_EQ(reg(REG_PC), 0x5678);
  EXPECT_EQ(reg(REG_SP), 0x8002);
  EXPECT_EQ(r7(), 3);
}

TEST_F(Z80, LoadIAndRShowTheInterruptEnable) {
  code(0x1000, {0xFB, 0xED, 0x5F, 0xF3, 0xED, 0x57});
  steps(2);
  EXPECT_TRUE(f() & 0x04);
  steps(2);
  EXPECT_FALSE(f() & 0x04);
}

TEST_F(Z80, LdirWithZeroCountCopiesTheWholeSpaceOneStepAtATime) {
  code(0x1000, {0xED, 0xB0});
  reg(REG_HL) = reg(REG_DE) = 0x9000;
  reg(REG_BC) = 0;
  int n = 0, last = 0;
  while (reg(REG_PC) == 0x1000 && n < 70000) {
    last = z80_step();
    n++;
  }
  EXPECT_EQ(n, 65536);
  EXPECT_EQ(last, 18);
  EXPECT_EQ(reg(REG_BC), 0);
  EXPECT_EQ(reg(REG_HL), 0x9000);
}

TEST_F(Z80, BlockInputZeroFlag) {
  code(0x1000, {0xED, 0xA2, 0xED, 0xA2, 0xED, 0xB2});
  reg(REG_BC) = 0x0210;
  reg(REG_HL) = 0x3000;
  port_value = 0x80;
  steps(1);
  EXPECT_EQ(f(), 0x02);  // B = 1: Z clear; N from bit 7
  EXPECT_EQ(ram[0x3000], 0x80);
  steps(1);
  EXPECT_EQ(f(), 0x42);
  reg(REG_BC) = 0x0310;
  port_value = 0x01;
  EXPECT_EQ(steps(1), 23);
  EXPECT_EQ(f(), 0x40);  // INIR: Z after every step
  EXPECT_EQ(reg(REG_PC), 0x1004);
  EXPECT_EQ(steps(2), 23 + 18);
  EXPECT_EQ(reg(REG_PC), 0x1006);
  EXPECT_EQ(reg(REG_HL), 0x3005);
}

TEST_F(Z80, HaltRepeatsUntilAnInterrupt) {
  code(0x1000, {0x76});
  reg(REG_IR) = 0x0080;
  for (int k = 0; k < 10; k++) EXPECT_EQ(z80_step(), 5);
  EXPECT_EQ(reg(REG_PC), 0x1000);
  EXPECT_EQ(reg(REG_IR), 0x008A);
}

// A run that meets a HALT it cannot leave skips to the end of its budget:
// cycles, R (bit 7 kept), PC and the interrupt state must come out as when
// every repeat is stepped, including runs an interrupt ends part way.
TEST_F(Z80, HaltRunEndsAsIfEveryRepeatWereStepped) {
  struct Case {
    bool ei_first;  // EI just before the HALT
    int iff1, line, budget;
  };
  const Case cases[] = {
      {false, 0, 0, 0},   {false, 0, 0, 4},  {false, 0, 0, 5},     {false, 0, 1, 227},
      {false, 1, 0, 1},   {false, 1, 0, 6},  {false, 1, 0, 99999}, {false, 1, 1, 100},
      {true, 0, 0, 3},    {true, 0, 0, 227}, {true, 0, 1, 4},      {true, 0, 1, 227},
  };
  for (const Case &c : cases) {
    int32_t end_regs[2][REG_COUNT];
    int end_budget[2], end_mask[2];
    for (int stepped = 0; stepped < 2; stepped++) {
      SetUp();
      interrupt_mode = 1;
      code(0x1000, {c.ei_first ? 0xFB : 0x00, 0x76});
      reg(REG_IR) = 0x12FC;  // R about to wrap, bit 7 set
      interrupt_mask = interrupt_mask_2 = c.iff1;
      bus_int_line = c.line;
      int budget = c.budget;
      if (stepped) {
        do budget -= z80_step(); while (budget >= 0);
      } else {
        budget = z80_execute(map1, map2, budget);
      }
      memcpy(end_regs[stepped], emulator_registers, sizeof emulator_registers);
      end_budget[stepped] = budget;
      end_mask[stepped] = interrupt_mask;
    }
    SCOPED_TRACE(testing::Message() << "EI " << c.ei_first << " IFF1 " << c.iff1 << " line " << c.line
                                    << " budget " << c.budget);
    EXPECT_EQ(end_budget[0], end_budget[1]);
    EXPECT_EQ(end_mask[0], end_mask[1]);
    EXPECT_EQ(end_regs[0][REG_IR], end_regs[1][REG_IR]);
    EXPECT_EQ(end_regs[0][REG_PC], end_regs[1][REG_PC]);
    EXPECT_EQ(end_regs[0][REG_SP], end_regs[1][REG_SP]);
  }
}

// Within one run the maskable input moves only through a port: an OUT that
// raises it is answered at the next instruction, and an IN that lowers it
// (the handler acknowledging its device) keeps the handler's EI; RET from
// taking it again.
int raise_line(int, int) { bus_int_line = 1; return 0; }
int acknowledge(int) { bus_int_line = 0; return 0; }
TEST_F(Z80, PortAccessMovesTheMaskableInputWithinARun) {
  interrupt_mode = 1;
  code(0x1000, {0xFB, 0x00, 0xD3, 0x10, 0x00, 0x00, 0x00, 0x00});  // EI; NOP; OUT (10h),A; NOPs
  code(0x0038, {0xDB, 0x20, 0xFB, 0xC9});                            // IN A,(20h); EI; RET
  bus_port_write = raise_line;
  bus_port_read = acknowledge;
  const int budget = z80_execute(map1, map2, 5 + 5 + 12 + 14 + 12 + 5 + 11 + 4 * 5 - 1);
  EXPECT_EQ(budget, -1);
  EXPECT_EQ(reg(REG_PC), 0x1008);   // back after the OUT, the NOPs done
  EXPECT_EQ(ram[0x7FFE], 0x04);     // pushed: the address after the OUT
  EXPECT_EQ(reg(REG_SP), 0x8000);
  EXPECT_EQ(interrupt_mask, 1);
}

// A run that meets a loop whose passes change nothing (a poll of memory no
// one writes) takes its remaining passes at once, and a mark kept from one
// run to the next goes on in the next run's budget: cycles, R and every
// register must come out as when each pass is stepped, and loops whose
// passes do change something must run as before.
TEST_F(Z80, IdleLoopRunEndsAsIfEveryPassWereStepped) {
  struct Case {
    const char *what;
    std::initializer_list<int> bytes;  // at 0x1000
    int iff1, line;
  };
  const Case cases[] = {
      {"LD A,(8000h); AND 0F0h; JR Z", {0x3A, 0x00, 0x80, 0xE6, 0xF0, 0x28, 0xF9}, 0, 0},
      {"LD A,(HL); OR A; JP Z", {0x21, 0x00, 0x80, 0x7E, 0xB7, 0xCA, 0x03, 0x10}, 0, 0},
      {"JR $", {0x18, 0xFE}, 0, 0},
      {"LD A,R; AND 0; JR", {0xED, 0x5F, 0xE6, 0x00, 0x18, 0xFA}, 0, 0},
      {"a poll with the input low, interrupts on", {0x3A, 0x00, 0x80, 0xB7, 0x28, 0xFA}, 1, 0},
      {"a poll the interrupt ends", {0x3A, 0x00, 0x80, 0xB7, 0x28, 0xFA}, 1, 1},
      {"a delay: DEC DE; LD A,D; OR E; JR NZ", {0x1B, 0x7A, 0xB3, 0x20, 0xFB}, 0, 0},
      {"a write each pass", {0x32, 0x01, 0x80, 0x18, 0xFB}, 0, 0},
      {"a counter in memory, A and F the same each pass",  // LD A,(HL); INC A; LD (HL),A; XOR A; JR
       {0x21, 0x01, 0x80, 0x7E, 0x3C, 0x77, 0xAF, 0x18, 0xFA}, 0, 0},
      {"LD R,A each pass", {0xED, 0x4F, 0x18, 0xFC}, 0, 0},
      {"EXX each pass", {0xD9, 0x18, 0xFD}, 0, 0},
      {"a port each pass", {0xDB, 0x10, 0x18, 0xFC}, 0, 0},
      {"DJNZ $ in an outer loop (LD HL,3; LD B,0; DJNZ $; DEC HL; LD A,H; OR L; JR NZ)",
       {0x21, 0x03, 0x00, 0x06, 0x00, 0x10, 0xFE, 0x2B, 0x7C, 0xB5, 0x20, 0xF7, 0x18, 0xFE}, 0, 0},
      {"EI; DJNZ $ with the input high", {0x06, 0x00, 0xFB, 0x10, 0xFE, 0x18, 0xFE}, 0, 1},
  };
  for (const Case &c : cases) {
    for (int budget0 : {0, 12, 227, 1000, 40000}) {
      for (int runs : {1, 5}) {  // several: scanlines, the mark kept between them
        int32_t end_regs[2][REG_COUNT];
        int end_budget[2], end_mask[2];
        uint8_t end_ram[2][4];
        for (int stepped = 0; stepped < 2; stepped++) {
          SetUp();
          interrupt_mode = 1;
          code(0x1000, c.bytes);
          code(0x0038, {0xC9});  // RET
          reg(REG_IR) = 0x12F0;  // R near its wrap, bit 7 set
          reg(REG_DE) = 0x0123;
          interrupt_mask = interrupt_mask_2 = c.iff1;
          bus_int_line = c.line;
          int budget = 0;
          for (int run = 0; run < runs; run++) {
            budget += budget0;
            if (stepped) {
              do budget -= z80_step(); while (budget >= 0);
            } else {
              z80_idle_kept = run > 0;
              budget = z80_execute(map1, map2, budget);
            }
          }
          memcpy(end_regs[stepped], emulator_registers, sizeof emulator_registers);
          memcpy(end_ram[stepped], ram + 0x8000, 4);
          end_budget[stepped] = budget;
          end_mask[stepped] = interrupt_mask;
        }
        SCOPED_TRACE(testing::Message() << c.what << ", budget " << budget0 << ", runs " << runs);
        EXPECT_EQ(end_budget[0], end_budget[1]);
        EXPECT_EQ(end_mask[0], end_mask[1]);
        EXPECT_EQ(0, memcmp(end_regs[0], end_regs[1], sizeof end_regs[0]));
        EXPECT_EQ(0, memcmp(end_ram[0], end_ram[1], sizeof end_ram[0]));
      }
    }
  }
}

TEST_F(Z80, EiDelaysTheMaskableInterruptByOneInstruction) {
  interrupt_mode = 1;
  code(0x1000, {0xFB, 0xC9});
  ram[0x8000] = 0x00;
  ram[0x8001] = 0x20;
  code(0x2000, {0x00});
  code(0x0038, {0x00});
  bus_int_line = 1;
  EXPECT_EQ(steps(2), 5 + 11);  // EI, then RET completes
  EXPECT_EQ(reg(REG_PC), 0x2000);
  EXPECT_EQ(z80_step(), 14 + 5);  // taken at the RET's target
  EXPECT_EQ(reg(REG_PC), 0x0039);
  EXPECT_EQ(pop_word(), 0x2000);
  EXPECT_EQ(interrupt_mask, 0);
  EXPECT_EQ(interrupt_mask_2, 0);
}

TEST_F(Z80, InterruptAfterHaltReturnsPastIt) {
  interrupt_mode = 1;
  code(0x1000, {0xFB, 0x76, 0x00});
  bus_int_line = 1;
  steps(2);  // EI; HALT runs once
  EXPECT_EQ(reg(REG_PC), 0x1001);
  steps(1);
  EXPECT_EQ(pop_word(), 0x1002);
}

TEST_F(Z80, Mode2VectorWrapsAtTheTopOfMemory) {
  // I = 0xFF: the vector is read at 0xFFFF and 0x0000.
  interrupt_mode = 2;
  reg(REG_IR) = 0xFF00;
  ram[0xFFFF] = 0x00;
  ram[0x0000] = 0x30;
  code(0x1000, {0xFB, 0x00, 0x00});
  code(0x3000, {0x00});
  steps(3);
  EXPECT_EQ(reg(REG_PC), 0x1003);
  bus_int_line = 1;
  EXPECT_EQ(z80_step(), 20 + 5);
  EXPECT_EQ(reg(REG_PC), 0x3001);
  EXPECT_EQ(pop_word(), 0x1003);
}

TEST_F(Z80, NmiKeepsIff2AndReturnsPastAHalt) {
  code(0x1000, {0x76});
  code(0x0066, {0xED, 0x45});
  interrupt_mask = 1;
  interrupt_mask_2 = 1;
  steps(1);
  EXPECT_EQ(z80_interrupt(1), 12);
  EXPECT_EQ(reg(REG_PC), 0x0066);
  EXPECT_EQ(pop_word(), 0x1001);  // past the HALT
  EXPECT_EQ(interrupt_mask, 0);
  EXPECT_EQ(interrupt_mask_2, 1);
  steps(1);                       // RETN
  EXPECT_EQ(reg(REG_PC), 0x1001);
  EXPECT_EQ(interrupt_mask, 1);
}

TEST_F(Z80, PortWriteThatTakesTheNmiAtOnce) {
  bus_port_write = port_write_takes_nmi;
  code(0x1000, {0xD3, 0xBF});
  EXPECT_EQ(z80_step(), 12 + 12);
  EXPECT_EQ(reg(REG_PC), 0x0066);
  EXPECT_EQ(pop_word(), 0x1002);  // already past the OUT
  EXPECT_EQ(reg(REG_SP), 0x7FFE);
}

TEST_F(Z80, NmiDuringOtirReturnsToTheOtir) {
  bus_port_write = port_write_takes_nmi;
  code(0x1000, {0xED, 0xB3});
  reg(REG_BC) = 0x03BE;
  reg(REG_HL) = 0x3000;
  EXPECT_EQ(z80_step(), 23 + 12);
  EXPECT_EQ(reg(REG_PC), 0x0066);
  EXPECT_EQ(pop_word(), 0x1000);
  EXPECT_EQ(reg(REG_BC), 0x02BE);
  EXPECT_EQ(reg(REG_HL), 0x3001);
}

TEST_F(Z80, PortReadSeesTheCurrentProgramCounter) {
  code(0x1000, {0xDB, 0x12});
  port_value = 0x5A;
  steps(1);
  EXPECT_EQ(port_reads_seen_pc, 0x1002);
  EXPECT_EQ(a(), 0x5A);
}
