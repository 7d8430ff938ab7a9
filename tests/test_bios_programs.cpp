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
#include "video/present.h"
#include "video/vdp.h"

namespace {

// Every saved frame also goes onto one of two contact sheets (4 x 4 frames,
// first and second pictures of each program), to look at them together.
void add_to_sheet(const std::vector<uint8_t> &rgba, bool second) {
  static std::vector<uint8_t> sheets[2];
  static int used[2];
  std::vector<uint8_t> &sheet = sheets[second];
  if (sheet.empty()) sheet.assign(1024 * 768 * 4, 64);
  int slot = used[second]++ % 16, x0 = (slot % 4) * 256, y0 = (slot / 4) * 192;
  for (int y = 0; y < 192; y++) memcpy(&sheet[((y0 + y) * 1024 + x0) * 4], &rgba[y * 256 * 4], 256 * 4);
  lodepng::encode(second ? "/tmp/bios_prog_sheet_b.png" : "/tmp/bios_prog_sheet_a.png", sheet, 1024, 768);
}

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
  add_to_sheet(rgba, path.size() > 6 && path.compare(path.size() - 6, 6, "_b.png") == 0);
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

struct SgmCase {
  const char *file;
  int menu_key;  // keypad key that leaves its menu (key_table index), or -1
  int move_key;  // input that moves its player (key_table index)
  bool ay;       // plays music on the Super Game Module's sound chip
  bool reacts;   // known to answer the joystick and fire with its default controls
};

class SgmProgram : public ::testing::TestWithParam<SgmCase> {};

// Each runs to its first screen (through our title screen when its header
// asks for one), picks its menu entry on the keypad, then gets its move
// input (joystick right, or a keypad key for those steered by the keypad)
// held with the fire button down.
TEST_P(SgmProgram, RunsAndReactsToTheControllers) {
  const SgmCase &c = GetParam();
  std::string rel = std::string("mpagd-sgm-roms/") + c.file;
  // Several of these wait on a byte of the upper Super Game Module RAM that
  // nothing writes (4CC1h in TESTMCSPRITE): RAM as the program powers it up.
  memory_power_on();
  if (!load(rel)) GTEST_SKIP() << rel << " is not in the shared test data";
  bool title = rom[0] == 0xAA;
  int ay_writes = 0;
  uint32_t last_ay = 0;
  auto run = [&](int frames) {
    for (int f = 0; f < frames; f++) {
      machine_run_frames(1);
      uint32_t sum = 0;
      for (int r = 0; r < 14; r++) sum = sum * 31u + (uint32_t)psg2_reg[r];
      if (sum != last_ay) ay_writes++;
      last_ay = sum;
    }
  };
  run(title ? 250 : 100);
  EXPECT_GE(emulator_registers[REG_PC], 0x2000) << "still in the BIOS";
  EXPECT_GT(colours_in_frame(), 1);
  save_png("/tmp/bios_prog_" + stem(rel) + "_a.png");
  uint32_t before = frame_hash();
  if (c.menu_key >= 0) {
    key_table[c.menu_key] = 1;
    run(10);
    key_table[c.menu_key] = 0;
    run(60);
  }
  key_table[c.move_key] = 1;
  key_table[4] = 1;
  run(120);
  key_table[c.move_key] = 0;
  key_table[4] = 0;
  save_png("/tmp/bios_prog_" + stem(rel) + "_b.png");
  if (c.reacts) {
    EXPECT_NE(frame_hash(), before);
  } else if (frame_hash() != before) {
    printf("%s: the picture changed as well\n", c.file);
  }
  if (c.ay) {
    EXPECT_GT(ay_writes, 20) << "the music's registers should keep changing";
  }
}

// AEON starts from its menu on key 1 (its other entries, 2 and 3, do the
// same: it always reads the joystick of controller 1). TESTCOLDIST moves its
// sprite with keys 5, 0, 7 and 9 of controller 1.
INSTANTIATE_TEST_SUITE_P(All, SgmProgram,
                         ::testing::Values(SgmCase{"AEON.rom", 8, 1, false, true}, SgmCase{"TESTBEEP.rom", -1, 1, false, true},
                                           SgmCase{"TESTCOLDIST.rom", -1, 16, false, true},
                                           SgmCase{"TESTJOY.rom", 9, 1, false, true},
                                           SgmCase{"TESTMCSPRITE.rom", -1, 1, false, true},
                                           SgmCase{"TESTMUSIC.rom", 8, 1, true, false},
                                           SgmCase{"TESTSCROLL.rom", -1, 1, false, true},
                                           SgmCase{"TESTSPEED.rom", -1, 1, false, true},
                                           SgmCase{"baldy.rom", 9, 1, true, true}, SgmCase{"dodgy.rom", -1, 1, false, true},
                                           SgmCase{"heroes.rom", 9, 1, false, true}));

// TESTJOY lights FIRE3 with nothing held, and rightly so on any console:
// it takes FIRE3 as "the keypad byte of the controller map ANDed with 0Bh",
// and the map holds 0Fh, the firmware's "no key", while nothing is held
// (the program itself waits for 0Fh there before it goes on). Only keys
// whose code has none of bits 0, 1 and 3 (0 and 4) put FIRE3 out. Its
// result byte at 403Dh: bit 0 right, 1 left, 2 down, 3 up, 4 FIRE1,
// 5 FIRE2 (arm), 6 FIRE3.
TEST(JoystickTestProgram, Fire3IsTheKeypadByteMaskedNotAButton) {
  memory_power_on();
  if (!load("mpagd-sgm-roms/TESTJOY.rom")) GTEST_SKIP() << "TESTJOY.rom is not in the shared test data";
  memset(key_table, 0, 40 * sizeof key_table[0]);
  machine_run_frames(150);
  key_table[9] = 1;  // key2_1: its joystick entry, which reads controller 1
  machine_run_frames(10);
  key_table[9] = 0;
  machine_run_frames(30);
  EXPECT_EQ(memory_read(0x407B + 6), 0x0F) << "keypad byte of the map with no key";
  EXPECT_EQ(memory_read(0x403D), 0x40);
  struct { int input; int result; } held[] = {
      {18, 0x00},  // key0_1: code 0
      {11, 0x00},  // key4_1: code 4
      {19, 0x40},  // key#_1: code 0Bh
      {6, 0x40},   // button3_1: no key code of the firmware, so 0Fh
      {1, 0x41},   // right_1
      {5, 0x60},   // right_button_1: the arm button is FIRE2
      {4, 0x50},   // left_button_1
  };
  for (const auto &h : held) {
    key_table[h.input] = 1;
    machine_run_frames(20);
    EXPECT_EQ(memory_read(0x403D), h.result) << "input " << h.input;
    key_table[h.input] = 0;
    machine_run_frames(20);
  }
}

class GetputProgram : public ::testing::TestWithParam<const char *> {};

// Their first screens ask for a key (players, language); key 1 moves on.
TEST_P(GetputProgram, RunsAndAnswersTheKeypad) {
  std::string rel = std::string("spaz-attak-getput/") + GetParam();
  if (!load(rel)) GTEST_SKIP() << rel << " is not in the shared test data";
  machine_run_frames(300);
  save_png("/tmp/bios_prog_" + stem(rel) + "_a.png");
  EXPECT_GT(colours_in_frame(), 1);
  uint32_t before = frame_hash();
  int sound_changes = 0;
  uint32_t last = 0;
  bool changed = false;
  auto run = [&](int frames) {
    for (int f = 0; f < frames; f++) {
      machine_run_frames(1);
      changed |= frame_hash() != before;
      uint32_t sum = 0;
      for (int r = 0; r < 8; r++) sum = sum * 31u + (uint32_t)psg_reg[r];
      sound_changes += sum != last;
      last = sum;
    }
  };
  key_table[8] = 1;  // key1_1
  run(10);
  key_table[8] = 0;
  for (int i = 0; i < 2; i++) {  // fire twice, for screens that wait for it
    key_table[4] = 1;
    run(20);
    key_table[4] = 0;
    run(40);
  }
  key_table[1] = 1;
  run(200);
  key_table[1] = 0;
  save_png("/tmp/bios_prog_" + stem(rel) + "_b.png");
  EXPECT_TRUE(changed);
  printf("%s: sound registers changed in %d frames\n", GetParam(), sound_changes);
}

INSTANTIATE_TEST_SUITE_P(All, GetputProgram,
                         ::testing::Values("getput11demo.rom", "spaz_test_music.rom", "spazatak.rom"));

TEST(DiagnosticJoystickProgram, ShowsTheControllers) {
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
