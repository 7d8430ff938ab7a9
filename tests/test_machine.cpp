// Start-up and reset of the whole machine, without a window.
#include <gtest/gtest.h>

#include "core/machine.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "support/harness.h"

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
