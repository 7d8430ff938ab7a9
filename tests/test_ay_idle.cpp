// An AY with every channel at level 0 takes a shortcut that must leave the
// chip exactly where the full mixing would.
#include <gtest/gtest.h>

#include <cstring>

#include "memory/memory.h"
#include "sound/psg.h"

namespace {
struct ay_state {
  int32_t c[5], noise;
};
ay_state run_lines(int amplitude, int lines) {
  sgm_active = 1;
  memset(psg2_reg, 0, sizeof psg2_reg);
  psg2_init();
  psg2_counter1 = 123;
  psg2_counter2 = -5;
  psg2_counter3 = 0x7FFFFFF0;
  psg2_counter4 = 0xFFF00;
  psg2_counter5 = 0x1FFFF00;
  psg2_noise = 0;
  const int regs[][2] = {{0, 3}, {1, 1}, {2, 200}, {4, 77}, {5, 2}, {6, 1}, {7, 0x38},
                         {11, 2}, {12, 0}, {13, 8}, {8, amplitude}};
  for (auto &r : regs) {
    psg2_write_address(r[0]);
    psg2_write_data(r[1]);
  }
  memset(psg_buffer, 0, sizeof psg_buffer);
  for (int i = 0; i < lines; i++) psg2_process(i % 157);
  return {{psg2_counter1, psg2_counter2, psg2_counter3, psg2_counter4, psg2_counter5}, psg2_noise};
}
}  // namespace

TEST(AyIdle, SilentChannelsAdvanceCountersAndNoiseLikeTheFullMix) {
  ay_state quiet = run_lines(0, 1000);
  bool silent = true;
  for (int16_t s : psg_buffer) silent = silent && s == 0;
  EXPECT_TRUE(silent);
  ay_state heard = run_lines(1, 1000);
  for (int i = 0; i < 5; i++) EXPECT_EQ(quiet.c[i], heard.c[i]) << "counter " << i + 1;
  EXPECT_EQ(quiet.noise, heard.noise);
  EXPECT_NE(quiet.noise, 0);
}
