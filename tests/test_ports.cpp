// The port map of the three machine modes and the controllers behind it.
#include <gtest/gtest.h>

#include <cstring>

#include "core/machine.h"
#include "input/ports.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

enum { UP = 0, RIGHT, DOWN, LEFT, LEFT_BUTTON, RIGHT_BUTTON, BUTTON3, BUTTON4, KEY1,
       KEY9 = 16, STAR, KEY0, HASH, C2 = 20 };

struct Ports : ::testing::Test {
  void SetUp() override {
    machine_fresh();
    memset(key_table, 0, sizeof key_table);
    roller_reset();
    joystick = 0;
  }
  void TearDown() override { memset(key_table, 0, sizeof key_table); }
};

TEST_F(Ports, IdleKeypadReadsAllLinesHigh) {
  EXPECT_EQ(read_port(0xFC, 0), 0x7F);
  EXPECT_EQ(read_port(0xFF, 0), 0x7F);
  // Every port of 0xE0-0xFF reads a controller, bit 1 choosing which.
  key_table[C2 + KEY0] = 1;
  EXPECT_EQ(read_port(0xE0, 0), 0x7F);
  EXPECT_EQ(read_port(0xE2, 0), 0x7A);
  EXPECT_EQ(read_port(0x1FF, 0), 0x7A);  // only the low 8 bits decode
}

TEST_F(Ports, KeypadCodesAndPriority) {
  const int codes[12][2] = {{KEY0, 0xA}, {KEY1, 0xD}, {KEY1 + 1, 0x7}, {KEY1 + 2, 0xC},
                            {KEY1 + 3, 0x2}, {KEY1 + 4, 0x3}, {KEY1 + 5, 0xE},
                            {KEY1 + 6, 0x5}, {KEY1 + 7, 0x1}, {KEY9, 0xB}, {STAR, 0x9},
                            {HASH, 0x6}};
  for (const auto &c : codes) {
    key_table[c[0]] = 1;
    EXPECT_EQ(read_port(0xFC, 0), 0x70 | c[1]) << "input " << c[0];
    key_table[c[0]] = 0;
  }
  key_table[KEY1] = 1;
  key_table[KEY9] = 1;
  EXPECT_EQ(read_port(0xFC, 0) & 0x0F, 0xB);
  key_table[KEY1] = 0;
  key_table[BUTTON4] = 1;
  EXPECT_EQ(read_port(0xFC, 0) & 0x0F, 0x4);
  key_table[KEY9] = 0;
  key_table[BUTTON3] = 1;
  EXPECT_EQ(read_port(0xFC, 0) & 0x0F, 0x4);
  key_table[BUTTON4] = 0;
  EXPECT_EQ(read_port(0xFC, 0) & 0x0F, 0x8);
  // Controller 1's keys never show on controller 2.
  EXPECT_EQ(read_port(0xFF, 0), 0x7F);
}

TEST_F(Ports, ButtonsBelongToTheirSegment) {
  key_table[RIGHT_BUTTON] = 1;
  write_port(0x80, 0x55, 0);
  EXPECT_EQ(read_port(0xFC, 0), 0x3F);
  write_port(0xC0, 0x00, 0);
  EXPECT_EQ(read_port(0xFC, 0), 0x7F);
  key_table[RIGHT_BUTTON] = 0;
  key_table[LEFT_BUTTON] = 1;
  EXPECT_EQ(read_port(0xFC, 0), 0x3F);
  write_port(0x9F, 0, 0);
  EXPECT_EQ(read_port(0xFC, 0), 0x7F);
}

TEST_F(Ports, JoystickDirectionsAndSharedSegment) {
  write_port(0xDF, 0, 0);
  EXPECT_EQ(joystick, 1);
  key_table[C2 + UP] = 1;
  key_table[C2 + DOWN] = 1;
  EXPECT_EQ(read_port(0xFF, 0), 0x7A);
  EXPECT_EQ(read_port(0xFC, 0), 0x7F);
  key_table[RIGHT] = 1;
  key_table[LEFT] = 1;
  EXPECT_EQ(read_port(0xFC, 0), 0x75);
  // The segment survives a reset.
  machine_fresh();
  EXPECT_EQ(joystick, 1);
}

TEST_F(Ports, ReadingConsumesTheRollerStep) {
  roller_state = 15 & ~3;  // controller 1 moved right
  EXPECT_EQ(read_port(0xFC, 0), 0x4F);
  EXPECT_EQ(roller_state, 15);
  EXPECT_EQ(read_port(0xFC, 0), 0x7F);
  roller_state = 15 & ~(1 << 2);  // controller 2 value 2 on its lines
  EXPECT_EQ(read_port(0xFF, 0), 0x6F);
  EXPECT_EQ(roller_state, 15);
}

TEST_F(Ports, UnmappedPortsReadFFAndSgmPortsNeedTheModule) {
  sgm_active = 0;
  EXPECT_EQ(read_port(0x50, 0), 0xFF);
  EXPECT_EQ(read_port(0x52, 0), 0xFF);
  for (int port : {0x00, 0x1F, 0x40, 0x7F, 0x80, 0x9F, 0xC0, 0xDF})
    EXPECT_EQ(read_port(port, 0), 0xFF) << port;
  for (int port = 0; port < 0xE0; port++)
    if (port < 0xA0 || port > 0xBF) {
      EXPECT_EQ(write_port(port, 0x00, 0), 0) << port;
    }
}

TEST_F(Ports, SoundChipWriteChargesItsCycles) {
  EXPECT_EQ(write_port(0xFF, 0x9F, 0), 26);
  EXPECT_EQ(write_port(0xE0, 0x9F, 0), 26);
  nmi_use = 0;
  EXPECT_EQ(write_port(0x40, 0x9F, 0), 26);
  EXPECT_EQ(write_port(0x7F, 0x9F, 0), 26);
  EXPECT_EQ(write_port(0xFF, 0x9F, 0), 0);
  EXPECT_EQ(write_port(0x3F, 0x9F, 0), 0);
}

TEST_F(Ports, VideoChipPortRangesPerMode) {
  auto set_address = [](int control, int address) {
    write_port(control, address & 0xFF, 0);
    write_port(control, 0x40 | (address >> 8), 0);
  };
  set_address(0xA1, 0x1000);
  write_port(0xA0, 0x5A, 0);
  write_port(0x9E, 0x77, 0);  // below the range: a segment select
  EXPECT_EQ(video_ram[0x1000], 0x5A);
  EXPECT_EQ(video_ram[0x1001], 0x00);
  set_address(0xBF, 0x1000);
  EXPECT_EQ(read_port(0xBC, 0), 0x5A);
  nmi_use = 0;
  set_address(0x81, 0x1001);
  write_port(0x9E, 0x66, 0);
  EXPECT_EQ(video_ram[0x1001], 0x66);
  set_address(0xB7, 0x1000);
  EXPECT_EQ(read_port(0x82, 0), 0x5A);
  EXPECT_EQ(read_port(0xA2, 0), 0x66);
  write_port(0xC0, 0x11, 0);  // joypad ports take no writes
  EXPECT_EQ(video_ram[0x1002], 0x00);
}

TEST_F(Ports, HeaderlessJoypads) {
  nmi_use = 0;
  EXPECT_EQ(read_port(0xC0, 0), 0xFF);
  EXPECT_EQ(read_port(0xC1, 0), 0xFF);
  key_table[C2 + UP] = 1;
  EXPECT_EQ(read_port(0xDC, 0), 0xBF);
  EXPECT_EQ(read_port(0xDD, 0), 0xFF);
  key_table[C2 + UP] = 0;
  const int a_bits[8] = {UP, DOWN, LEFT, RIGHT, LEFT_BUTTON, RIGHT_BUTTON, C2 + UP, C2 + DOWN};
  for (int bit = 0; bit < 8; bit++) {
    key_table[a_bits[bit]] = 1;
    EXPECT_EQ(read_port(0xFE, 0), 0xFF ^ (1 << bit)) << bit;
    key_table[a_bits[bit]] = 0;
  }
  const int b_bits[4] = {C2 + LEFT, C2 + RIGHT, C2 + LEFT_BUTTON, C2 + RIGHT_BUTTON};
  for (int bit = 0; bit < 4; bit++) {
    key_table[b_bits[bit]] = 1;
    EXPECT_EQ(read_port(0xFF, 0), 0xFF ^ (1 << bit)) << bit;
    key_table[b_bits[bit]] = 0;
  }
  // No keypad segment select and no Super Game Module in this mode.
  EXPECT_EQ(read_port(0x50, 0), 0xFF);
  EXPECT_EQ(read_port(0x3F, 0), 0xFF);
}

TEST_F(Ports, SgmUpperRamPortInConsoleMode) {
  map2[8][0x2000] = 0x11;  // unmapped: the sink absorbs it
  EXPECT_EQ(map1[8][0x2000], 0xFF);
  write_port(0x53, 1, 0);
  map2[8][0x2000] = 0x5A;
  EXPECT_EQ(map1[8][0x2000], 0x5A);
}

TEST_F(Ports, SgmBiosSwitchOnlyInConsoleMode) {
  write_port(0x7F, 0x0D, 0);
  map2[0][0x10] = 0xA5;
  EXPECT_EQ(map1[0][0x10], 0xA5);
  write_port(0x7F, 0x0F, 0);
  EXPECT_EQ(map1[0][0x10], base_rom[0x10]);
}

TEST_F(Ports, AdamMemoryPorts) {
  nmi_use = 2;
  init_peripheral(0);
  EXPECT_EQ(map1[0][0], wp_rom[0]);
  write_port(0x7F, 0x01, 0);  // lower 32 KB: intrinsic RAM
  map2[0][0] = 0x3C;
  EXPECT_EQ(map1[0][0], 0x3C);
  EXPECT_EQ(map_adam & 15, 1);
  write_port(0x3F, 0x02, 0);
  EXPECT_EQ(map_adam & 0x10, 0x10);
  nmi_use = 1;
  init_peripheral(0);
}

}  // namespace
