// Memory layouts of the three machine modes, the layout ports and the
// memory part of reset, seen through the CPU access rule.
#include <gtest/gtest.h>

#include <cstring>

#include "adam/adamnet.h"
#include "memory/memory.h"

namespace {

// Reads through the page table only, so no cartridge hook runs.
int peek(int a) { return map1[a >> 10][a]; }

class Memory : public ::testing::Test {
 protected:
  void SetUp() override {
    nmi_use = 1;
    sgm_active = 1;
    megacart = 0;
    megacart_mapper = 0;
    map_adam = 0;
    rom_size = 0x8000;
    for (int i = 0; i < 0x80000; i++) rom[i] = (uint8_t)(i >> 14);  // 16 KB bank number
    for (int i = 0; i < 0x2000; i++) base_rom[i] = (uint8_t)(0xB0 ^ i);
    memset(internal_ram, 0x5A, sizeof internal_ram);
    memory_reset(0);
  }
  void TearDown() override {
    nmi_use = 1;
    megacart = 0;
    rom_size = 0;
  }
};

}  // namespace

TEST_F(Memory, ConsoleLayoutAfterFullReset) {
  EXPECT_EQ(peek(0x0000), base_rom[0]);
  EXPECT_EQ(peek(0x1FFF), base_rom[0x1FFF]);
  // Nothing at 0x2000-0x5FFF: reads 0xFF, writes vanish.
  memory_write(0x2000, 0x12);
  memory_write(0x5FFF, 0x34);
  EXPECT_EQ(memory_read(0x2000), 0xFF);
  EXPECT_EQ(memory_read(0x5FFF), 0xFF);
  // BIOS and cartridge are read-only.
  memory_write(0x0000, 0x77);
  memory_write(0x8000, 0x77);
  EXPECT_EQ(base_rom[0], 0xB0);
  EXPECT_EQ(rom[0], 0);
  EXPECT_EQ(memory_read(0x8000), 0);
  EXPECT_EQ(peek(0xC000), 1);  // plain cartridge: rom[a - 0x8000]
  // 1 KB of RAM mirrored eight times.
  memory_write(0x6000, 0x12);
  for (int a = 0x6000; a < 0x8000; a += 0x400) EXPECT_EQ(memory_read(a), 0x12) << std::hex << a;
  EXPECT_EQ(internal_ram[0], 0x12);
}

TEST_F(Memory, FullResetInitialisesOnlyTheFirstKilobyte) {
  for (int i = 0; i < 0x400; i++) {
    if (i == 0x3C8) continue;
    ASSERT_EQ(internal_ram[i], 0) << i;
  }
  EXPECT_TRUE(internal_ram[0x3C8] & 0x80);
  EXPECT_EQ(internal_ram[0x400], 0x5A);
  EXPECT_EQ(internal_ram[0x1FFFF], 0x5A);
  // The page of 0xFF is refilled by every reset.
  null[1024 + 5] = 0;
  memory_reset(1);
  EXPECT_EQ(memory_read(0x3005), 0xFF);
}

// A seed gives the same random byte on every host and C runtime (and the
// one runs recorded on Linux have).
TEST_F(Memory, SeededRandomByteIsTheSameEverywhere) {
  const struct { int32_t seed; uint8_t byte; } seeds[] = {{0, 0xE7}, {1, 0xE7}, {2, 0xFA}, {42, 0xC6}, {0x7FFFFFFF, 0xDE}};
  for (const auto &c : seeds) {
    memory_seed = c.seed;
    memory_reset(0);
    EXPECT_EQ(internal_ram[0x3C8], c.byte) << c.seed;
  }
  memory_seed = -1;
}

TEST_F(Memory, MegaCartStartsWithTheLastBankLowAndBankZeroHigh) {
  megacart = 0x1FFFF;  // 128 KB
  memory_reset(0);
  EXPECT_EQ(peek(0x8000), 7);
  EXPECT_EQ(peek(0xBFFF), 7);
  EXPECT_EQ(peek(0xC000), 0);
  EXPECT_EQ(peek(0xFFFF), 0);
  // An Activision cartridge maps the first two banks plainly.
  megacart_mapper = 1;
  memory_reset(0);
  EXPECT_EQ(peek(0x8000), 0);
  EXPECT_EQ(peek(0xC000), 1);
  megacart_mapper = 0;
}

TEST_F(Memory, ABankMaskBeyondTheCartridgeBufferStaysInside) {
  for (int32_t mask : {0x7FFFFFFF, -1, 0x3FFF, 0x100000}) {
    megacart = mask;
    memory_reset(0);
    for (int a = 0x8000; a < 0x10000; a += 0x400) {
      const uint8_t *p = map1[a >> 10] + a;
      EXPECT_TRUE(p >= rom && p + 0x3FF < rom + sizeof rom) << std::hex << mask << " " << a;
    }
  }
}

TEST_F(Memory, TwentyFourKilobyteImageGetsTwoKilobytesOfRamAtTheTop) {
  rom_size = 0x6000;
  memory_reset(0);
  memory_write(0xE000, 0x42);
  EXPECT_EQ(peek(0xE800), 0x42);
  EXPECT_EQ(peek(0xF000), 0x42);
  EXPECT_EQ(peek(0xF800), 0x42);
  EXPECT_EQ(internal_ram[0x400], 0x42);
  memory_write(0xE400, 0x43);  // odd pages: the other kilobyte
  EXPECT_EQ(internal_ram[0xC00], 0x43);
  EXPECT_EQ(peek(0xFC00), 0x43);
  EXPECT_EQ(peek(0xE000), 0x42);
  EXPECT_EQ(peek(0xDFFF), 1);  // below stays cartridge
}

TEST_F(Memory, SuperGameModuleUpperRam) {
  sgm_upper_ram(2);
  EXPECT_EQ(memory_read(0x2000), 0xFF);
  sgm_upper_ram(1);
  memory_write(0x2000, 0x11);
  memory_write(0x7FFF, 0x22);
  EXPECT_EQ(memory_read(0x2000), 0x11);
  EXPECT_EQ(internal_ram[0x2000], 0x11);
  EXPECT_EQ(internal_ram[0x7FFF], 0x22);
  EXPECT_EQ(memory_read(0x6000), internal_ram[0x6000]);  // no more mirror
  sgm_upper_ram(0);  // stays enabled
  EXPECT_EQ(memory_read(0x2000), 0x11);
  // The soft reset keeps it; a full reset removes it.
  memory_reset(1);
  EXPECT_EQ(memory_read(0x2000), 0x11);
  memory_reset(0);
  EXPECT_EQ(memory_read(0x2000), 0xFF);
  // Without the module the port does nothing.
  sgm_active = 0;
  sgm_upper_ram(1);
  EXPECT_EQ(memory_read(0x2000), 0xFF);
}

TEST_F(Memory, SuperGameModuleBiosSwitch) {
  sgm_bios_switch(0x0D);
  memory_write(0x0000, 0x99);
  memory_write(0x1FFF, 0x98);
  EXPECT_EQ(memory_read(0x0000), 0x99);
  EXPECT_EQ(internal_ram[0x1FFF], 0x98);
  sgm_bios_switch(0x0F);
  EXPECT_EQ(memory_read(0x0000), base_rom[0]);
  memory_write(0x0000, 0x55);
  EXPECT_EQ(base_rom[0], 0xB0);
  sgm_bios_switch(0x0D);
  EXPECT_EQ(memory_read(0x0000), 0x99);
  // Only in console mode.
  sgm_bios_switch(0x0F);
  nmi_use = 2;
  memory_reset(0);
  sgm_bios_switch(0x0D);
  EXPECT_EQ(peek(0x0000), wp_rom[0]);
}

TEST_F(Memory, SoftResetKeepsTheConsoleLayoutAndRam) {
  sgm_bios_switch(0x0D);
  memory_write(0x0100, 0x66);
  memory_write(0x6200, 0x67);
  memory_reset(1);
  EXPECT_EQ(memory_read(0x0100), 0x66);
  EXPECT_EQ(internal_ram[0x200], 0x67);
}

TEST_F(Memory, HeaderlessLayout) {
  nmi_use = 0;
  memory_write(0x8000, 0x12);
  memory_reset(1);
  EXPECT_EQ(peek(0x0000), 0);
  EXPECT_EQ(peek(0x4000), 1);
  EXPECT_EQ(peek(0xBFFE), 2);
  memory_write(0x0000, 0x33);
  EXPECT_EQ(rom[0], 0);
  memory_write(0xC000, 0x44);  // 8 KB mirrored twice
  EXPECT_EQ(memory_read(0xE000), 0x44);
  memory_write(0xFFFF, 0x45);
  EXPECT_EQ(memory_read(0xDFFF), 0x45);
  EXPECT_EQ(internal_ram[0x1FFF], 0x45);
  // Even the soft reset clears the first kilobyte here.
  memory_reset(1);
  EXPECT_EQ(memory_read(0xC000), 0);
}

TEST_F(Memory, AdamResetAndConfigurations) {
  nmi_use = 2;
  pcb_adam = 0;
  memory_reset(1);
  EXPECT_EQ(pcb_adam, 0xFEC0);
  EXPECT_EQ(map_adam, 0);
  EXPECT_EQ(internal_ram[0x66], 0xED);
  EXPECT_EQ(internal_ram[0x67], 0x45);
  EXPECT_EQ(internal_ram[0x1FFFF], 0);
  EXPECT_EQ(peek(0x0000), wp_rom[0]);
  EXPECT_EQ(peek(0x7FFF), wp_rom[0x7FFF]);
  memory_write(0x8000, 0x21);
  EXPECT_EQ(internal_ram[0x8000], 0x21);

  adam_memory_config(0x01);  // intrinsic RAM low
  memory_write(0x0000, 0x31);
  EXPECT_EQ(internal_ram[0], 0x31);
  adam_memory_config(0x02 | 0x08);  // expansion RAM low and high
  memory_write(0x0000, 0x32);
  memory_write(0xFFFF, 0x33);
  EXPECT_EQ(internal_ram[0x10000], 0x32);
  EXPECT_EQ(internal_ram[0x1FFFF], 0x33);
  adam_memory_config(0x03 | 0x04);  // BIOS + RAM low, nothing high
  EXPECT_EQ(peek(0x0000), base_rom[0]);
  memory_write(0x2000, 0x34);
  EXPECT_EQ(internal_ram[0x2000], 0x34);
  EXPECT_EQ(peek(0x9000), 0xFF);
  memory_write(0x9000, 0x35);
  EXPECT_EQ(peek(0x9000), 0xFF);
  adam_memory_config(0x0C);  // cartridge high
  EXPECT_EQ(peek(0xC000), 1);
  memory_write(0xC000, 0x36);
  EXPECT_EQ(rom[0x4000], 1);
}

TEST_F(Memory, AdamOperatingSystemRomWindow) {
  nmi_use = 2;
  memory_reset(0);
  adam_rom_enable(0x02);
  EXPECT_EQ(map_adam, 0x10);
  EXPECT_EQ(peek(0x6000), eos_rom[0]);
  EXPECT_EQ(peek(0x5FFF), wp_rom[0x5FFF]);
  // The same low nibble changes nothing, not even the window.
  adam_memory_config(0xF0);
  EXPECT_EQ(peek(0x6000), eos_rom[0]);
  adam_rom_enable(0xFD);
  EXPECT_EQ(map_adam, 0);
  EXPECT_EQ(peek(0x6000), wp_rom[0x6000]);
  // Port 0x53 with the module present overrides 0x2000-0x7FFF until the
  // next configuration is applied.
  sgm_upper_ram(1);
  memory_write(0x2000, 0x71);
  EXPECT_EQ(internal_ram[0x2000], 0x71);
  adam_memory_config(0x04);
  EXPECT_EQ(peek(0x2000), wp_rom[0x2000]);
}

TEST_F(Memory, TheLayoutPortsAreInertInOtherModes) {
  adam_memory_config(0x01);
  adam_rom_enable(0x02);
  EXPECT_EQ(map_adam, 0);
  EXPECT_EQ(peek(0x0000), base_rom[0]);
  nmi_use = 0;
  memory_reset(0);
  sgm_upper_ram(1);
  sgm_bios_switch(0);
  EXPECT_EQ(peek(0x2000), 0);
  EXPECT_EQ(peek(0x0000), 0);
}
