// The video chip as the CPU sees it: palettes, ports, register 1.
#include <gtest/gtest.h>

#include <cstring>

#include "core/z80.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

const uint32_t ntsc[16] = {0x000000, 0x000000, 0x25C545, 0x62DA7A, 0x5557E8, 0x7D77F8,
                           0xD0534E, 0x47EAF2, 0xF85756, 0xFF7B7A, 0xD3C058, 0xE5CD83,
                           0x25AD3D, 0xC75DB8, 0xCCCCCC, 0xFFFFFF};
const uint32_t pal[16] = {0x000000, 0x000000, 0x37D757, 0x71E989, 0x6769FA, 0x8F89FF,
                          0xF0566F, 0x47EAF2, 0xFF6881, 0xFF89A2, 0xDDCC58, 0xEDDC68,
                          0x34BC4C, 0xD96FCA, 0xCCCCCC, 0xFFFFFF};

void control(int first, int second) {
  vdp_write_port(0xBF, first);
  vdp_write_port(0xBF, second);
}

TEST(VdpInit, PalettesFrameRateByteAndReset) {
  for (int p = 0; p < 2; p++) {
    vdp_pal = p;
    vdp_reg[1] = 0xE2;
    vdp_reg[3] = 0x55;
    vdp_status = 0xFF;
    vdp_address = 0x1234;
    vdp_byte = 1;
    video_ram[0x2000] = 9;
    vdp_init();
    for (int c = 0; c < 16; c++)
      EXPECT_EQ(vdp_colors[c], c == 1 ? 1u : (p ? pal : ntsc)[c]) << (p ? "PAL " : "NTSC ") << c;
    EXPECT_EQ(base_rom[0x69], p ? 50 : 60);
    EXPECT_EQ(vdp_reg[1], 0);
    EXPECT_EQ(vdp_reg[3], 0x55) << "registers 2..7 survive";
    EXPECT_EQ(vdp_status | vdp_address | vdp_byte | vdp_line, 0);
    EXPECT_EQ(video_ram[0x2000], 0);
  }
  vdp_pal = 0;
}

TEST(VdpPorts, DataAccessAutoIncrementsAndWraps) {
  vdp_init();
  control(0xFE, 0x7F);  // write set-up at 0x3FFE
  EXPECT_EQ(vdp_address, 0x3FFE);
  vdp_write_port(0xBE, 0x11);
  vdp_write_port(0xBE, 0x22);
  EXPECT_EQ(vdp_address, 0);
  EXPECT_EQ(video_ram[0x3FFF], 0x22);
  control(0xFF, 0x3F);  // read set-up: nothing is fetched ahead
  video_ram[0x3FFF] = 0x33;
  EXPECT_EQ(vdp_read_port(0xBE), 0x33);
  EXPECT_EQ(vdp_address, 0);
  // Any even port in the range is data, any odd one control.
  vdp_write_port(0xA0, 0x44);
  EXPECT_EQ(video_ram[0], 0x44);
}

TEST(VdpPorts, ControlLatchAndRegisterWrites) {
  vdp_init();
  control(0x47, 0x81);
  EXPECT_EQ(vdp_reg[1], 0x47);
  EXPECT_EQ(vdp_address, 0x0147);
  EXPECT_EQ(vdp_byte, 0);
  control(0x5A, 0x8F);
  EXPECT_EQ(vdp_reg[7], 0x5A) << "only the low three bits pick the register";

  // A lone first byte is kept in the address; a data read then uses it.
  control(0x00, 0x52);  // 0x1200
  vdp_write_port(0xBF, 0x34);
  EXPECT_EQ(vdp_byte, 1);
  video_ram[0x1234] = 0x77;
  EXPECT_EQ(vdp_read_port(0xBE), 0x77);
  EXPECT_EQ(vdp_byte, 0);
  // A status read also drops the latch back to the first byte.
  vdp_write_port(0xBF, 0x10);
  vdp_read_port(0xBF);
  control(0x20, 0x43);
  EXPECT_EQ(vdp_address, 0x0320);
}

TEST(VdpPorts, StatusReadClearsFlagsButKeepsTheNumber) {
  vdp_init();
  vdp_status = 0xE7;
  nmi_gate = 1;
  EXPECT_EQ(vdp_read_port(0xBF), 0xE7);
  EXPECT_EQ(vdp_status, 0x07);
  EXPECT_EQ(nmi_gate, 0);
  EXPECT_EQ(vdp_read_port(0xBF), 0x07);
}

// Going to 4K moves each 64-byte block whole to its rotated place; going
// back to 16K restores every byte, and so does a trip the other way round.
TEST(VdpPorts, MemoryRearrangementOnFourSixteenKSwitch) {
  uint8_t before[0x4000], once[0x4000];
  for (int start : {0x80, 0x00}) {
    vdp_init();
    vdp_reg[1] = start;
    for (int a = 0; a < 0x4000; a++) video_ram[a] = (uint8_t)((a >> 6) * 3 + (a & 63));
    memcpy(before, video_ram, sizeof before);
    control(start ^ 0x80, 0x81);
    memcpy(once, video_ram, sizeof once);
    control((start ^ 0x80) | 0x02, 0x81);  // bit 7 unchanged: nothing moves
    EXPECT_EQ(0, memcmp(video_ram, once, sizeof once));
    if (start == 0x80)
      for (int a = 0; a < 0x4000; a += 64) {
        int to = (a & 0x2000) | ((a & 0x1F80) >> 1) | ((a & 0x40) << 6);
        ASSERT_EQ(0, memcmp(once + to, before + a, 64)) << "block " << a;
      }
    EXPECT_NE(0, memcmp(once, before, sizeof before));
    control(start, 0x81);
    EXPECT_EQ(0, memcmp(video_ram, before, sizeof before)) << "from " << start;
  }
}

TEST(VdpInterrupt, RegisterOneRaisesTheNmiAtOnce) {
  private_home();
  machine_fresh();
  emulator_registers[REG_PC] = 0x8123;
  emulator_registers[REG_SP] = 0x7000;
  interrupt_mask = 1;
  vdp_status = 0x80;
  vdp_write_port(0xBF, 0x20);
  EXPECT_EQ(vdp_write_port(0xBF, 0x81), 12);
  EXPECT_EQ(emulator_registers[REG_PC], 0x0066);
  EXPECT_EQ(emulator_registers[REG_SP], 0x6FFE);
  EXPECT_EQ(memory_read(0x6FFE) | (memory_read(0x6FFF) << 8), 0x8123);
  EXPECT_EQ(interrupt_mask, 0);
  // The line is already high: no second NMI until the status is read.
  vdp_write_port(0xBF, 0x60);
  EXPECT_EQ(vdp_write_port(0xBF, 0x81), 0);
  EXPECT_EQ(emulator_registers[REG_PC], 0x0066);
  vdp_read_port(0xBF);
  vdp_status = 0x80;
  vdp_write_port(0xBF, 0x20);
  EXPECT_EQ(vdp_write_port(0xBF, 0x81), 12);
  // Other registers never check.
  vdp_read_port(0xBF);
  vdp_status = 0x80;
  vdp_write_port(0xBF, 0x20);
  EXPECT_EQ(vdp_write_port(0xBF, 0x82), 0);
}

TEST(VdpInterrupt, HeaderlessRegisterWritesTakeNothing) {
  private_home();
  machine_fresh();
  nmi_use = 0;
  emulator_registers[REG_PC] = 0x8123;
  interrupt_mask = 1;
  vdp_status = 0x80;
  vdp_write_port(0xBF, 0x20);
  EXPECT_EQ(vdp_write_port(0xBF, 0x81), 0);
  EXPECT_EQ(emulator_registers[REG_PC], 0x8123);
  nmi_use = 1;
}

}  // namespace
