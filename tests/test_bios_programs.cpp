// Programs written by others for the console that call the built-in BIOS:
// each runs headless, and the pictures land in /tmp to look at.
#include <gtest/gtest.h>

#include <cstring>
#include <lodepng.h>
#include <string>
#include <vector>

#include "core/z80.h"
#include "input/ports.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

void save_png(const std::string &path) {
  std::vector<uint8_t> rgba(256 * 192 * 4);
  for (int p = 0; p < 256 * 192; p++) {
    uint32_t c = image[p];
    rgba[p * 4] = c >> 16;
    rgba[p * 4 + 1] = c >> 8;
    rgba[p * 4 + 2] = c;
    rgba[p * 4 + 3] = 255;
  }
  lodepng::encode(path, rgba, 256, 192);
}

// Distinct colours in the frame: a blank or one-colour screen has 1.
int colours_in_frame(void) {
  std::vector<uint32_t> seen;
  for (int p = 0; p < 256 * 192; p++) {
    uint32_t c = image[p];
    bool found = false;
    for (uint32_t s : seen) found |= s == c;
    if (!found) seen.push_back(c);
    if (seen.size() > 16) break;
  }
  return (int)seen.size();
}

bool load(const std::string &relative) {
  std::string path = testdata(relative);
  if (path.empty()) return false;
  machine_load_cartridge(read_file(path));
  return true;
}

uint32_t frame_hash(void) {
  uint32_t h = 2166136261u;
  for (int p = 0; p < 256 * 192; p++) h = (h ^ image[p]) * 16777619u;
  return h;
}

std::string stem(const std::string &relative) {
  std::string s = relative.substr(relative.find('/') + 1);
  return s.substr(0, s.find('.'));
}

class SgmProgram : public ::testing::TestWithParam<const char *> {};

TEST_P(SgmProgram, RunsAndDraws) {
  std::string rel = std::string("mpagd-sgm-roms/") + GetParam();
  if (!load(rel)) GTEST_SKIP() << rel << " is not in the shared test data";
  bool title = rom[0] == 0xAA;
  machine_run_frames(title ? 400 : 200);
  save_png("/tmp/bios_prog_" + stem(rel) + "_a.png");
  EXPECT_GT(colours_in_frame(), 1);
  EXPECT_FALSE(emulator_registers[REG_PC] < 0x2000 && title) << "still in the BIOS";
  // Hold right and fire for a while: the picture should react.
  uint32_t before = frame_hash();
  key_table[1] = 1;
  key_table[4] = 1;
  machine_run_frames(120);
  key_table[1] = 0;
  key_table[4] = 0;
  save_png("/tmp/bios_prog_" + stem(rel) + "_b.png");
  EXPECT_NE(frame_hash(), before);
}

INSTANTIATE_TEST_SUITE_P(All, SgmProgram,
                         ::testing::Values("AEON.rom", "TESTBEEP.rom", "TESTCOLDIST.rom", "TESTJOY.rom",
                                           "TESTMCSPRITE.rom", "TESTMUSIC.rom", "TESTSCROLL.rom",
                                           "TESTSPEED.rom", "baldy.rom", "dodgy.rom", "heroes.rom"));

class GetputProgram : public ::testing::TestWithParam<const char *> {};

TEST_P(GetputProgram, RunsAndDraws) {
  std::string rel = std::string("spaz-attak-getput/") + GetParam();
  if (!load(rel)) GTEST_SKIP() << rel << " is not in the shared test data";
  machine_run_frames(300);
  save_png("/tmp/bios_prog_" + stem(rel) + "_a.png");
  EXPECT_GT(colours_in_frame(), 1);
  key_table[4] = 1;
  machine_run_frames(30);
  key_table[4] = 0;
  key_table[1] = 1;
  machine_run_frames(200);
  key_table[1] = 0;
  save_png("/tmp/bios_prog_" + stem(rel) + "_b.png");
}

INSTANTIATE_TEST_SUITE_P(All, GetputProgram,
                         ::testing::Values("getput11demo.rom", "spaz_test_music.rom", "spazatak.rom"));

TEST(PhoenixJoystickTest, ShowsTheControllers) {
  if (!load("phoenix-diagnostic-roms/JOYTST.ROM")) GTEST_SKIP() << "JOYTST.ROM is not in the shared test data";
  machine_run_frames(120);
  save_png("/tmp/bios_prog_JOYTST_a.png");
  EXPECT_GT(colours_in_frame(), 1);
  uint32_t idle = frame_hash();
  key_table[0] = 1;   // up
  key_table[4] = 1;   // left button
  key_table[9] = 1;   // key 2
  machine_run_frames(30);
  save_png("/tmp/bios_prog_JOYTST_b.png");
  EXPECT_NE(frame_hash(), idle);
  key_table[0] = key_table[4] = key_table[9] = 0;
}

}  // namespace
