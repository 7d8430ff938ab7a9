// A real cartridge: the controller diagnostic, which shows the raw joystick
// bits of both ports, each port's spinner count from the firmware's decoder,
// and how many roller interrupts it has served.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/machine.h"
#include "input/ports.h"
#include "memory/cartridge.h"
#include "support/harness.h"
#include "video/vdp.h"

extern int host_null_mouse_dx, host_null_mouse_dy;

namespace {

// Its screen uses character codes 0-15 for hex digits.
std::string row_text(int row, int first, int count) {
  int names = (vdp_reg[2] & 0x0F) << 10;
  std::string text;
  for (int c = first; c < first + count; c++) {
    int code = video_ram[names + row * 32 + c];
    text += code < 16 ? "0123456789ABCDEF"[code] : '.';
  }
  return text;
}

int hex_at(int row, int first, int count) {
  return (int)std::stoul(row_text(row, first, count), nullptr, 16);
}

TEST(JoystickTestCartridge, ShowsJoystickBitsAndRollerSteps) {
  std::string path = testdata("phoenix-diagnostic-roms/JOYTST.ROM");
  if (path.empty()) GTEST_SKIP() << "phoenix-diagnostic-roms/JOYTST.ROM is not in the shared test data";
  private_home();
  machine_fresh();
  ASSERT_EQ(open_rom_file(path.c_str()), 0);
  init_peripheral(0);
  memset(key_table, 0, sizeof key_table);
  key_table[0] = 1;        // up_1
  key_table[4] = 1;        // left_button_1
  key_table[20 + 2] = 1;   // down_2
  machine_run_frames(30);
  EXPECT_EQ(row_text(0, 0, 8), "00111110");
  EXPECT_EQ(row_text(1, 0, 8), "01111011");
  // Roller off: no spinner steps and no interrupts.
  EXPECT_EQ(row_text(0, 10, 2), "00");
  EXPECT_EQ(hex_at(3, 0, 4), 0);
  memset(key_table, 0, sizeof key_table);

  roller_enabled = 1;
  for (int frame = 0; frame < 30; frame++) {
    host_null_mouse_dx = 40;
    host_null_mouse_dy = -40;
    machine_run_frames(1);
  }
  roller_enabled = 0;
  // Up to nine steps a frame, some lost while the frame interrupt's long
  // handler holds the maskable one off.
  EXPECT_GE(hex_at(3, 0, 4), 30 * 6);
  EXPECT_LE(hex_at(3, 0, 4), 30 * 9);
  EXPECT_GE(hex_at(0, 10, 2), 6);
  EXPECT_GE(hex_at(1, 10, 2), 6);
}

}  // namespace
