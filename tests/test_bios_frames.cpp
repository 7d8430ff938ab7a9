// The BIOS's controller read, its blocks of names, and a mobile object in
// graphics II, driven phase by phase by the bios_frames cartridge.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "input/ports.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

bool start_program(const std::string &name) {
  std::vector<uint8_t> prog = test_program(name);
  if (prog.empty()) return false;
  machine_load_cartridge(prog);
  memory_write(0x7000, 0);
  memory_write(0x7001, 0);
  return true;
}

bool run_to_phase(int n) {
  for (int i = 0; i < 262 * 120 && memory_read(0x7000) != n; i++) machine_run_scanlines(1);
  return memory_read(0x7000) == n;
}

void go_on(int n) { memory_write(0x7001, n); }

int name(int row, int col) { return video_ram[0x1800 + row * 32 + col]; }

TEST(BiosFrameCalls, ControllerReadBlocksOfNamesAndMobileObjectInGraphicsII) {
  memset(key_table, 0, 40 * sizeof key_table[0]);
  key_table[2] = 1;        // down_1
  key_table[4] = 1;        // left_button_1
  key_table[16] = 1;       // key9_1: code 0Bh on the keypad lines
  key_table[20 + 1] = 1;   // right_2
  key_table[20 + 5] = 1;   // right_button_2
  ASSERT_TRUE(start_program("bios_frames"));

  // CONT_READ gives the port's byte inverted, 1 = pressed; an idle port
  // reads 7xh, so bit 7 comes back set.
  ASSERT_TRUE(run_to_phase(1));
  EXPECT_EQ(memory_read(0x7100), (~(0x7F & ~0x04 & ~0x40)) & 0xFF) << "controller 1, joystick";
  EXPECT_EQ(memory_read(0x7101), (~(0x70 | 0x0B)) & 0xFF) << "controller 1, keypad";
  EXPECT_EQ(memory_read(0x7102), (~(0x7F & ~0x02)) & 0xFF) << "controller 2, joystick";
  EXPECT_EQ(memory_read(0x7103), (~(0x7F & ~0x40)) & 0xFF) << "controller 2, keypad";
  EXPECT_EQ(memory_read(0x7104), 0x7F & ~0x04 & ~0x40) << "joystick segment left selected";
  memset(key_table, 0, 40 * sizeof key_table[0]);
  go_on(1);

  // PUT_FRAME: a 3 x 2 block; what falls off the screen is left out and
  // does not wrap onto the next row or into the bytes before the table.
  ASSERT_TRUE(run_to_phase(2));
  const int frame[6] = {0x41, 0x42, 0x43, 0x44, 0x45, 0x46};
  std::vector<int> expect(768, 0x20);
  auto put = [&](int row, int col) {
    for (int r = 0; r < 2; r++)
      for (int c = 0; c < 3; c++)
        if (row + r >= 0 && row + r < 24 && col + c >= 0 && col + c < 32)
          expect[(row + r) * 32 + col + c] = frame[r * 3 + c];
  };
  put(2, 30);
  put(-1, -1);
  int wrong = 0;
  for (int i = 0; i < 768; i++) wrong += video_ram[0x1800 + i] != expect[i];
  EXPECT_EQ(wrong, 0) << "names not as worked out";
  EXPECT_EQ(video_ram[0x17FF], 0);
  EXPECT_EQ(video_ram[0x1800 - 33], 0);
  EXPECT_EQ(memory_read(0x7110) | memory_read(0x7111) << 8, 0x1234) << "IX kept";
  EXPECT_EQ(memory_read(0x7112) | memory_read(0x7113) << 8, 0x5678) << "IY kept";
  go_on(2);

  // GET_BKGRND: the same blocks read back; cells off the screen give 0
  // and the buffer is not written past the block.
  ASSERT_TRUE(run_to_phase(3));
  auto got = [&](int row, int col) {
    return row >= 0 && row < 24 && col >= 0 && col < 32 ? expect[row * 32 + col] : 0;
  };
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 4; c++)
      EXPECT_EQ(memory_read(0x7120 + r * 4 + c), got(2 + r, 29 + c)) << r << "," << c;
  EXPECT_EQ(memory_read(0x712C), 0xEE);
  for (int r = 0; r < 2; r++)
    for (int c = 0; c < 2; c++) EXPECT_EQ(memory_read(0x7130 + r * 2 + c), got(-1 + r, c)) << r << "," << c;
  EXPECT_EQ(memory_read(0x7134), 0xEE);
  go_on(3);

  // The mobile object at (35, y): shifted right by 3 and down by 2 into the
  // nine working generators A0h-A8h, ORed with the pattern of name 2, which
  // is 01h, 02h or 04h in every row depending on the third. Each generator
  // goes to the third its cell is in, with the first third's colours.
  const uint8_t image[32] = {0x81, 0x42, 0x24, 0x18, 0xFF, 0x01, 0x80, 0x55, 0xAA, 0x33, 0xCC,
                             0x0F, 0xF0, 0x3C, 0xC3, 0x99, 0x11, 0x22, 0x44, 0x88, 0xEE, 0x77,
                             0xBB, 0xDD, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
  auto check_object = [&](int top_row) {
    for (int k = 0; k < 9; k++) {
      int i = k / 3, j = k % 3, row = top_row + i, third = row / 8;
      int generator = 0xA0 + k;
      EXPECT_EQ(name(row, 4 + j), generator) << "row " << row;
      for (int r = 0; r < 8; r++) {
        int y = 8 * i + r - 2;
        uint32_t line = 0;
        if (y >= 0 && y < 16) line = (uint32_t)image[y] << 16 | (uint32_t)image[16 + y] << 8;
        line >>= 3;
        int want = ((line >> (16 - 8 * j)) & 0xFF) | 1 << third;
        EXPECT_EQ(video_ram[third * 0x800 + generator * 8 + r], want) << "cell " << k << " row " << r;
        EXPECT_EQ(video_ram[0x2000 + third * 0x800 + generator * 8 + r], 0x10 + k * 8 + r)
            << "colour, cell " << k << " row " << r;
      }
    }
  };
  ASSERT_TRUE(run_to_phase(4));
  check_object(7);
  for (int k = 0; k < 3; k++)
    for (int r = 0; r < 8; r++)
      EXPECT_EQ(video_ram[0x800 + (0xA0 + k) * 8 + r], 0) << "the top row's cells stay in the first third";
  go_on(4);

  ASSERT_TRUE(run_to_phase(5));
  check_object(16);
  for (int row = 7; row < 10; row++)
    for (int col = 4; col < 7; col++) EXPECT_EQ(name(row, col), 2) << "the background comes back";
}

}  // namespace
