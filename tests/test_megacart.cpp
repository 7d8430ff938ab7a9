// MegaCart bank switching and the headerless bank register, through the CPU.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/z80.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "support/harness.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Every byte names its bank in the high bits and its place in the low ones,
// so a read shows where it came from.
Bytes banked_image(size_t size) {
  Bytes b(size);
  for (size_t i = 0; i < size; i++) b[i] = (uint8_t)(((i >> 14) << 3) ^ (i & 7));
  return b;
}

void load(const Bytes &b) {
  std::string path = private_home() + "/cart.rom";
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(b.data(), 1, b.size(), f);
  fclose(f);
  machine_fresh();
  ASSERT_EQ(open_rom_file(path.c_str()), 0);
  init_peripheral(0);
}

int bank_at(int address) {  // the bank the 16 KB around address shows
  return memory_read((address & ~0x3FFF) + 0x10) >> 3;
}

void step(int n) {
  for (int i = 0; i < n; i++) z80_step();
}

TEST(MegaCart, OpcodeFetchInTheTopAddressesSwitches) {
  Bytes b = banked_image(0x20000);
  b[0x1C000] = 0xAA;
  b[0x1C001] = 0x55;
  const uint8_t jump[] = {0xC3, 0xC5, 0xFF};  // JP 0xFFC5, in the fixed last bank
  memcpy(&b[0x1C100], jump, sizeof jump);
  for (int bank = 0; bank < 8; bank++) b[bank * 0x4000 + 0x3FC5] = bank == 5 ? 0x3C : 0x3D;
  load(b);
  ASSERT_EQ(megacart, 0x1FFFF);
  EXPECT_EQ(bank_at(0x8000), 7);
  EXPECT_EQ(bank_at(0xC000), 0);
  emulator_registers[REG_PC] = 0x8100;
  emulator_registers[REG_AF] = 0x1000;
  step(2);
  EXPECT_EQ(emulator_registers[REG_AF] >> 8, 0x11);  // INC A came from bank 5
  EXPECT_EQ(emulator_registers[REG_PC], 0xFFC6);
  EXPECT_EQ(bank_at(0xC000), 5);
  EXPECT_EQ(bank_at(0x8000), 7);
}

TEST(MegaCart, DataReadsSwitchByMaskedAddress) {
  Bytes b = banked_image(0x20000);
  b[0x1C000] = 0x55;
  b[0x1C001] = 0xAA;
  load(b);
  ASSERT_EQ(megacart, 0x1FFFF);
  EXPECT_EQ(memory_read(0xFFC5), b[5 * 0x4000 + 0x3FC5]);
  EXPECT_EQ(bank_at(0xC000), 5);
  memory_read(0xFFC2);
  EXPECT_EQ(bank_at(0xC000), 2);
  memory_read(0xFFCD);  // 13 & 7
  EXPECT_EQ(bank_at(0xC000), 5);
  // Reads below 0xFFC0 and writes anywhere leave the bank alone.
  memory_read(0xFFBF);
  memory_write(0xFFC1, 0);
  EXPECT_EQ(bank_at(0xC000), 5);
  EXPECT_EQ(b[0x1FFC1], rom[0x1FFC1]);
  // The reset hotkey keeps the bank, a full reset shows bank 0 again.
  init_peripheral(1);
  EXPECT_EQ(bank_at(0xC000), 5);
  init_peripheral(0);
  EXPECT_EQ(bank_at(0xC000), 0);
}

TEST(MegaCart, LargestCartridgeTopBankIsTheFixedOne) {
  Bytes b = banked_image(0x80000);
  b[0x7C000] = 0xAA;
  b[0x7C001] = 0x55;
  load(b);
  ASSERT_EQ(megacart, 0x7FFFF);
  EXPECT_EQ(bank_at(0x8000), 31);
  EXPECT_EQ(memory_read(0xFFFF), b[0x7FFFF]);
  EXPECT_EQ(bank_at(0xC000), 31);
  memory_read(0xFFD7);
  EXPECT_EQ(bank_at(0xC000), 23);
}

TEST(MegaCart, ImagesWithoutMegaCartHeader) {
  // Over 32 KB: any read at the top shows the image's first 16 KB.
  Bytes b = banked_image(0x10000);
  b[0] = 0xAA;
  b[1] = 0x55;
  load(b);
  ASSERT_EQ(megacart, 0);
  EXPECT_EQ(bank_at(0xC000), 1);
  memory_read(0xFFC3);
  EXPECT_EQ(bank_at(0xC000), 0);
  EXPECT_EQ(memory_read(0xC000), 0xAA);

  // 32 KB or less: the cartridge bytes, nothing switched.
  Bytes c = banked_image(0x8000);
  c[0] = 0x55;
  c[1] = 0xAA;
  load(c);
  EXPECT_EQ(memory_read(0xFFC5), c[0x7FC5]);
  EXPECT_EQ(bank_at(0xC000), 1);
}

TEST(MegaCart, HeaderlessBankRegister) {
  Bytes b = banked_image(0x20000);
  const uint8_t code[] = {
    0x3E, 0x03, 0x32, 0xFF, 0xBF,  // LD A,3 ; LD (0xBFFF),A
    0x3E, 0x0B, 0x32, 0xFF, 0xBF,  // LD A,11 ; LD (0xBFFF),A
  };
  memcpy(&b[0x100], code, sizeof code);
  load(b);
  ASSERT_EQ(nmi_use, 0);
  EXPECT_EQ(bank_at(0x4000), 1);
  EXPECT_EQ(bank_at(0x8000), 2);
  uint8_t ram_before[0x2000];
  memcpy(ram_before, internal_ram, sizeof ram_before);
  emulator_registers[REG_PC] = 0x100;
  step(2);
  EXPECT_EQ(bank_at(0x8000), 3);
  EXPECT_EQ(memory_read(0x8000), b[0xC000]);
  EXPECT_EQ(memory_read(0xBFFF), b[0xFFFF]);
  // 0x4000-0x7FFF now mirrors the first 16 KB.
  EXPECT_EQ(bank_at(0x4000), 0);
  EXPECT_EQ(memory_read(0x4000), b[0x0000]);
  EXPECT_EQ(memory_read(0x7FFF), b[0x3FFF]);
  step(2);
  EXPECT_EQ(bank_at(0x8000), 3);
  // The value reached neither the image nor RAM.
  EXPECT_EQ(rom[0xBFFF], b[0xBFFF]);
  EXPECT_EQ(memcmp(ram_before, internal_ram, sizeof ram_before), 0);
  // Reads at the top are RAM here and never switch.
  memory_read(0xFFC1);
  EXPECT_EQ(bank_at(0x8000), 3);
}

}  // namespace
