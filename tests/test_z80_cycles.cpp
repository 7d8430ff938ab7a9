// Cycle count of every opcode of every table, against the documented
// T-states plus one wait cycle per opcode fetch, written out here table by
// table. Each opcode runs from three register states so that conditional
// and repeating forms are seen both ways.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "core/z80.h"
#include "core/bus.h"
#include "support/z80_bus.h"

namespace {

uint8_t ram[0x10000];

struct State {
  unsigned af, bc;
};
const State states[] = {{0x0000, 0x0101}, {0x01FF, 0x0202}, {0x0100, 0x0001}};

bool in(unsigned op, std::initializer_list<unsigned> list) {
  for (unsigned x : list)
    if (x == op) return true;
  return false;
}

bool condition(unsigned cc, unsigned f) {
  static const unsigned flag[4] = {0x40, 0x01, 0x04, 0x80};  // Z C P/V S
  bool set = (f & flag[cc >> 1]) != 0;
  return (cc & 1) ? set : !set;
}

int unprefixed(unsigned op, const State &s) {
  unsigned f = s.af & 0xFF, b = s.bc >> 8;
  unsigned cc = (op >> 3) & 7;
  if (op == 0x10) return ((b - 1) & 0xFF) ? 14 : 9;
  if (op == 0x18) return 13;
  if (in(op, {0x20, 0x28, 0x30, 0x38})) return condition(cc & 3, f) ? 13 : 8;
  if ((op & 0xC7) == 0xC0) return condition(cc, f) ? 12 : 6;
  if ((op & 0xC7) == 0xC4) return condition(cc, f) ? 18 : 11;
  if ((op & 0xC7) == 0xC2) return 11;
  if ((op & 0xC7) == 0xC7) return 12;
  if (op >= 0x40 && op < 0xC0) {
    if (op == 0x76) return 5;
    if ((op & 7) == 6 || (op >= 0x70 && op <= 0x77)) return 8;
    return 5;
  }
  if (in(op, {0x03, 0x13, 0x23, 0x33, 0x0B, 0x1B, 0x2B, 0x3B, 0xF9})) return 7;
  if (in(op, {0x06, 0x0E, 0x16, 0x1E, 0x26, 0x2E, 0x3E, 0x0A, 0x1A, 0x02, 0x12, 0xC6, 0xCE,
              0xD6, 0xDE, 0xE6, 0xEE, 0xF6, 0xFE}))
    return 8;
  if (in(op, {0x01, 0x11, 0x21, 0x31, 0x36, 0xC1, 0xD1, 0xE1, 0xF1, 0xC9, 0xC3})) return 11;
  if (in(op, {0x34, 0x35, 0x09, 0x19, 0x29, 0x39, 0xC5, 0xD5, 0xE5, 0xF5, 0xDB, 0xD3})) return 12;
  if (in(op, {0x3A, 0x32})) return 14;
  if (in(op, {0x2A, 0x22})) return 17;
  if (op == 0xCD) return 18;
  if (op == 0xE3) return 20;
  return 5;
}

int cb(unsigned op) {
  if ((op & 7) != 6) return 10;
  return (op & 0xC0) == 0x40 ? 14 : 17;
}

int ed(unsigned op, const State &s) {
  unsigned a = s.af >> 8, b = s.bc >> 8, bc = s.bc;
  if (op >= 0x40 && op < 0x80 && op != 0x77 && op != 0x7F) {
    switch (op & 7) {
      case 0: case 1: return 14;
      case 2: return 17;
      case 3: return 22;
      case 4: case 6: return 10;
      case 5: return 16;
      default: return (op == 0x67 || op == 0x6F) ? 20 : 11;
    }
  }
  if (in(op, {0xA0, 0xA1, 0xA2, 0xA3, 0xA8, 0xA9, 0xAA, 0xAB})) return 18;
  if (in(op, {0xB0, 0xB8})) return ((bc - 1) & 0xFFFF) ? 23 : 18;
  if (in(op, {0xB1, 0xB9})) return (((bc - 1) & 0xFFFF) && a != 0) ? 23 : 18;  // (HL) is 0
  if (in(op, {0xB2, 0xBA, 0xB3, 0xBB})) return ((b - 1) & 0xFF) ? 23 : 18;
  if (op == 0xED) return 25;
  return 10;
}

int indexed(unsigned op) {
  if (in(op, {0x09, 0x19, 0x29, 0x39})) return 17;
  if (op == 0x21) return 16;
  if (in(op, {0x22, 0x2A})) return 22;
  if (in(op, {0x23, 0x2B})) return 12;
  if (in(op, {0x24, 0x25, 0x2C, 0x2D})) return 11;
  if (in(op, {0x26, 0x2E})) return 13;
  if (in(op, {0x34, 0x35})) return 25;
  if (op == 0x36) return 21;
  if (in(op, {0x44, 0x45, 0x4C, 0x4D, 0x54, 0x55, 0x5C, 0x5D, 0x7C, 0x7D})) return 11;
  if ((op >= 0x60 && op <= 0x6F) && op != 0x66 && op != 0x6E) return 11;
  if (in(op, {0x46, 0x4E, 0x56, 0x5E, 0x66, 0x6E, 0x7E})) return 21;
  if ((op >= 0x70 && op <= 0x77) && op != 0x76) return 21;
  if (op >= 0x80 && op < 0xC0) {
    if ((op & 7) == 4 || (op & 7) == 5) return 11;
    if ((op & 7) == 6) return 21;
  }
  if (op == 0xE1) return 16;
  if (op == 0xE5) return 17;
  if (op == 0xE3) return 25;
  if (op == 0xE9) return 10;
  if (op == 0xF9) return 12;
  return 6;  // the prefix alone
}

int measure(const uint8_t *code, int length, const State &s) {
  memset(ram, 0, sizeof ram);
  memcpy(ram + 0x4000, code, length);
  ram[0x7FFE] = 0x00;  // return address 0x5000 for RET, RETN, ED ED
  ram[0x7FFF] = 0x50;
  memset(emulator_registers, 0, sizeof emulator_registers);
  emulator_registers[REG_AF] = (int32_t)s.af;
  emulator_registers[REG_BC] = (int32_t)s.bc;
  emulator_registers[REG_DE] = 0x6100;
  emulator_registers[REG_HL] = 0x6000;
  emulator_registers[REG_IX] = 0x6000;
  emulator_registers[REG_IY] = 0x6000;
  emulator_registers[REG_SP] = 0x7FFE;
  emulator_registers[REG_PC] = 0x4000;
  disable_interrupts();
  return z80_step();
}

int zero_port(int) { return 0; }
int no_extra(int, int) { return 0; }

class Z80Cycles : public ::testing::Test {
 protected:
  void SetUp() override {
    bus_reset(ram);
    bus_port_read = zero_port;
    bus_port_write = no_extra;
  }
  void TearDown() override {
    bus_port_read = nullptr;
    bus_port_write = nullptr;
  }
};

}  // namespace

TEST_F(Z80Cycles, Unprefixed) {
  for (unsigned op = 0; op < 256; op++) {
    if (op == 0xCB || op == 0xDD || op == 0xED || op == 0xFD) continue;
    for (const State &s : states) {
      uint8_t code[4] = {(uint8_t)op, 0x00, 0x70, 0x00};  // operands point at 0x7000
      EXPECT_EQ(measure(code, 4, s), unprefixed(op, s)) << std::hex << "opcode " << op << " AF " << s.af;
    }
  }
}

TEST_F(Z80Cycles, CbTable) {
  for (unsigned op = 0; op < 256; op++) {
    uint8_t code[2] = {0xCB, (uint8_t)op};
    EXPECT_EQ(measure(code, 2, states[0]), cb(op)) << std::hex << "CB " << op;
  }
}

TEST_F(Z80Cycles, EdTable) {
  for (unsigned op = 0; op < 256; op++) {
    for (const State &s : states) {
      uint8_t code[4] = {0xED, (uint8_t)op, 0x00, 0x70};
      EXPECT_EQ(measure(code, 4, s), ed(op, s)) << std::hex << "ED " << op << " BC " << s.bc;
    }
  }
}

TEST_F(Z80Cycles, IndexTablesAreTheSameForIxAndIy) {
  for (unsigned prefix : {0xDDu, 0xFDu}) {
    for (unsigned op = 0; op < 256; op++) {
      if (op == 0xCB) continue;
      uint8_t code[4] = {(uint8_t)prefix, (uint8_t)op, 0x00, 0x70};
      EXPECT_EQ(measure(code, 4, states[0]), indexed(op)) << std::hex << prefix << " " << op;
    }
  }
}

TEST_F(Z80Cycles, IndexedBitTable) {
  for (unsigned prefix : {0xDDu, 0xFDu}) {
    for (unsigned op = 0; op < 256; op++) {
      uint8_t code[4] = {(uint8_t)prefix, 0xCB, 0x05, (uint8_t)op};
      EXPECT_EQ(measure(code, 4, states[0]), (op & 0xC0) == 0x40 ? 22 : 25)
          << std::hex << prefix << " CB " << op;
    }
  }
}
