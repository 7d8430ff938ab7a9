// The Adam operating system's console window and sound calls, driven by a
// boot block on a tape made here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "adam/adamnet.h"
#include "capture/capture.h"
#include "core/machine.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

// A 256-block tape whose block 0 is the program.
std::string make_tape(const std::string &dir, const std::vector<uint8_t> &program) {
  std::vector<uint8_t> img(256 * 1024, 0);
  std::copy(program.begin(), program.end(), img.begin());
  std::string path = dir + "/boot.ddp";
  FILE *f = fopen(path.c_str(), "wb");
  fwrite(img.data(), 1, img.size(), f);
  fclose(f);
  return path;
}

// Left-channel samples of a 16-bit stereo WAV.
std::vector<int> wav_left(const std::string &path) {
  std::vector<uint8_t> d = read_file(path);
  std::vector<int> s;
  for (size_t i = 44; i + 3 < d.size(); i += 4) s.push_back((int16_t)(d[i] | d[i + 1] << 8));
  return s;
}

TEST(AdamOs, FullScreenWindowIsClearedAndASongPlaysAtItsPitch) {
  std::vector<uint8_t> program = test_program("adam_console_sound");
  ASSERT_FALSE(program.empty());
  std::string home = private_home();
  machine_fresh();
  ASSERT_EQ(open_rom_file(make_tape(home, program).c_str()), 0);
  init_peripheral(0);
  adam_fast = 1;
  const uint8_t *results = internal_ram + 0xC000;
  int f = 0;
  while (results[0] != 0xAA && f++ < 600) machine_run_frames(1);
  ASSERT_EQ(results[0], 0xAA);

  // CONS_INIT(31, 23) takes the last column and row: every cell, the last
  // column too, is blank.
  int stale = 0;
  for (int i = 0; i < 32 * 24; i++) stale += video_ram[0x1800 + i] != ' ';
  EXPECT_EQ(stale, 0);

  // The note (divider 254 on tone 1: 3579545 / 32 / 254 = 440.4 Hz) for 120
  // frames, then silence.
  std::string wav = home + "/song.wav";
  wav_start(fopen(wav.c_str(), "wb"));
  machine_run_frames(180);
  end_sound_recording();
  adam_fast = 0;
  EXPECT_GT(results[1], 100);  // SOUNDS ran from the interrupt
  std::vector<int> s = wav_left(wav);
  ASSERT_GT(s.size(), 44100u * 5 / 2);
  const int from = 44100 / 5, len = 44100;  // one second inside the note
  double mean = 0;
  for (int i = from; i < from + len; i++) mean += s[i];
  mean /= len;
  int crossings = 0;
  for (int i = from + 1; i < from + len; i++) crossings += (s[i - 1] < mean) != (s[i] < mean);
  EXPECT_NEAR(crossings / 2.0, 440.4, 4.0);
  int lo = 1 << 16, hi = -(1 << 16);
  for (size_t i = 44100 * 23 / 10; i < s.size(); i++) lo = std::min(lo, s[i]), hi = std::max(hi, s[i]);
  EXPECT_LT(hi - lo, 100) << "the note did not end";
}

}  // namespace
