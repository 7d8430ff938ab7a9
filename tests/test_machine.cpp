// Start-up and reset of the whole machine, without a window.
#include <gtest/gtest.h>

#include <cstring>

#include "core/bus.h"
#include "core/machine.h"
#include "core/z80.h"
#include "input/ports.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/vdp.h"

TEST(Machine, FullResetSetsTheDocumentedRegisters) {
  machine_fresh();
  EXPECT_EQ(emulator_registers[REG_PC], 0x0000);
  EXPECT_EQ(emulator_registers[REG_AF], 0xFFFF);
  EXPECT_EQ(emulator_registers[REG_SP], 0xFFFF);
  EXPECT_EQ(emulator_registers[REG_AF2], 0x00FF);
  EXPECT_EQ(emulator_registers[REG_BC2], 0xFFFF);
  EXPECT_EQ(interrupt_mask, 0);
  EXPECT_EQ(interrupt_mode, 0);
}

TEST(Machine, BiosCopyIsPatchedButTheImageIsNot) {
  machine_fresh();
  EXPECT_EQ(base_rom[0x196A], 0x0A);
  EXPECT_EQ(memcmp(base_rom, coleco_bios, 0x196A), 0);
}

// ---- interrupt wiring and the scanline loop, on a flat RAM layout

namespace {

uint8_t flat[0x10000];

class Wiring : public ::testing::Test {
 protected:
  void SetUp() override {
    machine_fresh();
    memset(flat, 0, sizeof flat);  // NOPs everywhere
    for (int p = 0; p < 64; p++) {
      map_page(map1, p, flat, p * 1024);
      map_page(map2, p, flat, p * 1024);
    }
    vdp_reg[1] = 0;
    emulator_registers[REG_SP] = 0x8000;
    emulator_registers[REG_PC] = 0x1000;
  }
  void TearDown() override { machine_fresh(); }
  static int pop_word(void) {
    int sp = emulator_registers[REG_SP];
    return flat[sp] | flat[(sp + 1) & 0xFFFF] << 8;
  }
};

}  // namespace

// Console and Adam modes: the roller drives INT, the video line the NMI;
// headerless mode: the video line drives INT and nothing drives the NMI.
TEST_F(Wiring, InterruptSourcesByMode) {
  struct Case {
    int mode, roller, frame_flag, int_taken;
  } cases[] = {
      {MODE_CONSOLE, 1, 0, 1}, {MODE_ADAM, 1, 0, 1}, {MODE_CONSOLE, 0, 1, 0},
      {MODE_HEADERLESS, 1, 0, 0}, {MODE_HEADERLESS, 0, 1, 1},
  };
  for (const Case &c : cases) {
    nmi_use = c.mode;
    interrupt_mode = 1;
    interrupt_mask = interrupt_mask_2 = 1;
    roller_int = c.roller;
    vdp_status = c.frame_flag ? VDP_STATUS_FRAME : 0;
    vdp_reg[1] = VDP_R1_INTERRUPT;
    emulator_registers[REG_PC] = 0x1000;
    z80_step();
    EXPECT_EQ(emulator_registers[REG_PC], c.int_taken ? 0x0039 : 0x1001) << "mode " << c.mode;
  }
  roller_int = 0;
}

TEST_F(Wiring, HeaderlessFrameDriverCheckTakesTheMaskableInterrupt) {
  nmi_use = MODE_HEADERLESS;
  interrupt_mode = 2;
  emulator_registers[REG_IR] = 0x2000;
  flat[0x20FF] = 0x00;
  flat[0x2100] = 0x30;
  vdp_status = VDP_STATUS_FRAME;
  vdp_reg[1] = VDP_R1_INTERRUPT;
  interrupt_mask = 1;
  EXPECT_EQ(check_for_interrupt(), 20);
  EXPECT_EQ(emulator_registers[REG_PC], 0x3000);
  EXPECT_EQ(check_for_interrupt(), 0);  // now disabled
}

TEST_F(Wiring, NmiIsEdgeTriggered) {
  flat[0x1000] = 0x76;  // HALT
  z80_step();
  EXPECT_EQ(check_for_interrupt(), 0);  // line low
  vdp_status = VDP_STATUS_FRAME;
  vdp_reg[1] = VDP_R1_INTERRUPT;
  EXPECT_EQ(check_for_interrupt(), 12);
  EXPECT_EQ(emulator_registers[REG_PC], 0x0066);
  EXPECT_EQ(pop_word(), 0x1001);        // past the HALT
  EXPECT_EQ(check_for_interrupt(), 0);  // the line stays high: no new edge
  // A status read drops the flag and the gate; the next rise fires again.
  EXPECT_EQ(read_port(0xBF, 0) & VDP_STATUS_FRAME, VDP_STATUS_FRAME);
  EXPECT_EQ(check_for_interrupt(), 0);
  vdp_status = VDP_STATUS_FRAME;
  EXPECT_EQ(check_for_interrupt(), 12);
}

// A control pair that enables the interrupt with the frame flag up: the
// NMI is taken inside the OUT, its 12 cycles charged to that instruction.
TEST_F(Wiring, RegisterOneWriteTakesTheNmiAtOnce) {
  vdp_status = VDP_STATUS_FRAME;
  write_port(0xBF, VDP_R1_INTERRUPT, 0);  // first byte of the pair
  const uint8_t code[] = {0x3E, 0x81, 0xD3, 0xBF};  // LD A,81h; OUT (BFh),A
  memcpy(flat + 0x1000, code, sizeof code);
  z80_step();
  EXPECT_EQ(z80_step(), 12 + 12);
  EXPECT_EQ(vdp_reg[1], VDP_R1_INTERRUPT);
  EXPECT_EQ(emulator_registers[REG_PC], 0x0066);
  EXPECT_EQ(pop_word(), 0x1004);  // already past the OUT
}

TEST_F(Wiring, ScanlineBudgetAndCounters) {
  emulator_registers[REG_PC] = 0;
  machine_run_scanlines(1);
  EXPECT_EQ(z80_cycles, 230);  // 46 NOPs: the last one runs past 228
  EXPECT_EQ(z80_cycles_1, 228);
  EXPECT_EQ(z80_cycles_2, 0);
  EXPECT_EQ(emulator_registers[REG_PC], 46);

  // Each start_z80 starts a fresh count; machine_run_lines goes on.
  emulator_registers[REG_PC] = 0;
  machine_run_scanlines(2);
  EXPECT_EQ(z80_cycles, 460);
  EXPECT_EQ(z80_cycles_1, 456);
  EXPECT_EQ(z80_cycles_2, 1);
  EXPECT_EQ(emulator_registers[REG_PC], 92);
  machine_run_lines(1);
  EXPECT_EQ(z80_cycles_1, 684);
  EXPECT_EQ(z80_cycles_2, 2);

  // An instruction started with cycles left runs whole and shortens the
  // next line: EX (SP),HL (20) after 45 NOPs (225); line 2 gets 228 - 17.
  emulator_registers[REG_PC] = 0;
  flat[45] = 0xE3;
  machine_run_scanlines(2);
  EXPECT_EQ(z80_cycles, 460);
  EXPECT_EQ(emulator_registers[REG_PC], 46 + 43);
}

TEST_F(Wiring, SoundLineIndexWrapsEvery157Lines) {
  emulator_registers[REG_PC] = 0;
  machine_run_scanlines(157);
  EXPECT_EQ(z80_cycles_2, 156);
  emulator_registers[REG_PC] = 0;
  machine_run_scanlines(158);
  EXPECT_EQ(z80_cycles_2, 0);
  EXPECT_EQ(z80_cycles_1, 158 * 228);
}
