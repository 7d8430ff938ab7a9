// Test cartridges call the BIOS's entry points phase by phase; each phase
// is checked against values worked out here.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/z80.h"
#include "input/ports.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

// The cartridge reports a phase at 0x7000 and waits for it at 0x7001.
bool start_program(const std::string &name) {
  std::vector<uint8_t> prog = test_program(name);
  if (prog.empty()) return false;
  machine_load_cartridge(prog);
  memory_write(0x7000, 0);
  memory_write(0x7001, 0);
  return true;
}

bool run_to_phase(int n, int max_lines = 262 * 120) {
  for (int i = 0; i < max_lines && memory_read(0x7000) != n; i++) machine_run_scanlines(1);
  return memory_read(0x7000) == n;
}

void go_on(int n) { memory_write(0x7001, n); }

int ram_word(int a) { return memory_read(a) | memory_read(a + 1) << 8; }

std::string name_row(int base, int row) {
  std::string s;
  for (int c = 0; c < 32; c++) s += (char)video_ram[base + row * 32 + c];
  return s;
}

TEST(BiosVideoCalls, RegistersMemoryAndTables) {
  ASSERT_TRUE(start_program("bios_vdp"));

  ASSERT_TRUE(run_to_phase(1));
  EXPECT_EQ(vdp_reg[7], 0x1F);
  EXPECT_EQ(vdp_reg[0], 0x02);
  EXPECT_EQ(vdp_reg[1], 0xC2);
  EXPECT_EQ(memory_read(0x73C3), 0x02);
  EXPECT_EQ(memory_read(0x73C4), 0xC2);
  EXPECT_EQ(memory_read(0x7100) & 0x80, 0);  // the first read cleared the frame flag
  go_on(1);

  ASSERT_TRUE(run_to_phase(2));
  const int mode1[8] = {0x00, 0x80, 0x06, 0x80, 0x00, 0x36, 0x07, 0x00};
  for (int r = 0; r < 8; r++) EXPECT_EQ(vdp_reg[r], mode1[r]) << "R" << r;
  const int bases[5] = {0x1B00, 0x3800, 0x1800, 0x0000, 0x2000};
  for (int t = 0; t < 5; t++) EXPECT_EQ(ram_word(0x73F2 + 2 * t), bases[t]) << "table " << t;
  for (int a = 0x3000; a < 0x3105; a++) ASSERT_EQ(video_ram[a], 0x5A) << std::hex << a;
  EXPECT_EQ(video_ram[0x3105], 0);
  // The count quirk: low byte first, then whole blocks while the high byte
  // counts down, so 0105h moves 5 bytes and 0205h moves 261.
  auto expect_moved = [](int at, int n) {
    for (int i = 0; i < n; i++) ASSERT_EQ(video_ram[at + i], i & 0xFF) << std::hex << at << "+" << i;
    EXPECT_EQ(video_ram[at + n + 1], 0) << std::hex << at << ": more than " << std::dec << n;
    EXPECT_EQ(video_ram[at + n + 2], 0) << std::hex << at << ": more than " << std::dec << n;
  };
  expect_moved(0x2800, 5);
  expect_moved(0x2A00, 256);
  expect_moved(0x2C00, 3);
  expect_moved(0x3400, 261);
  for (int i = 0; i < 16; i++) EXPECT_EQ(memory_read(0x7110 + i), 0x5A);
  for (int i = 0; i < 4; i++) EXPECT_EQ(memory_read(0x7120 + i), 0x5A);
  EXPECT_EQ(memory_read(0x7124), 0x11);
  go_on(2);

  ASSERT_TRUE(run_to_phase(3));
  EXPECT_EQ(vdp_reg[2], 0x1C00 >> 10);
  EXPECT_EQ(vdp_reg[5], 0x1F80 >> 7);
  EXPECT_EQ(vdp_reg[3], 0x2040 >> 6);
  EXPECT_EQ(vdp_reg[6], 0x1000 >> 11);
  EXPECT_EQ(vdp_reg[4], 0x0800 >> 11);
  EXPECT_EQ(ram_word(0x73F6), 0x1C00);
  EXPECT_EQ(ram_word(0x73F2), 0x1F80);
  go_on(3);
  ASSERT_TRUE(run_to_phase(4));
  EXPECT_EQ(vdp_reg[4], 0x07);  // graphics II: patterns at 2000h
  EXPECT_EQ(vdp_reg[3], 0x7F);  // colours at 0000h
  go_on(4);

  ASSERT_TRUE(run_to_phase(5));
  for (int i = 0; i < 8; i++) EXPECT_EQ(video_ram[i], 0) << "blank glyph for code 0";
  for (int c = 0x1D; c <= 0x7C; c++)
    for (int r = 0; r < 8; r++) ASSERT_EQ(video_ram[c * 8 + r], coleco_bios[0x14A3 + c * 8 + r]) << c;
  EXPECT_EQ(video_ram[0x7D * 8 + 1], 0);  // 96 glyphs only
  go_on(5);

  ASSERT_TRUE(run_to_phase(6));
  const uint8_t bytes[16] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                             0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xF0, 0x01};
  for (int i = 0; i < 3; i++) EXPECT_EQ(video_ram[0x1800 + 5 + i], bytes[i]);
  for (int i = 0; i < 16; i++) EXPECT_EQ(video_ram[0x80 * 8 + i], bytes[i]);
  for (int i = 0; i < 8; i++) EXPECT_EQ(video_ram[0x1B00 + 4 + i], bytes[i]);
  for (int i = 0; i < 3; i++) EXPECT_EQ(video_ram[0x2000 + 2 + i], bytes[i]);
  for (int i = 0; i < 4; i++) EXPECT_EQ(memory_read(0x7304 + i), bytes[8 + i]) << "local sprite table";
  EXPECT_NE(video_ram[0x1B00 + 4], bytes[8]);
  for (int i = 0; i < 16; i++) EXPECT_EQ(memory_read(0x7140 + i), bytes[i]);
  go_on(6);

  ASSERT_TRUE(run_to_phase(7));
  for (int i = 0; i < 4; i++) EXPECT_EQ(memory_read(0x7330 + i), i);
  const uint8_t sprites[16] = {0x10, 0x20, 0x01, 0x0F, 0x30, 0x40, 0x02, 0x0E,
                               0x50, 0x60, 0x03, 0x0D, 0x70, 0x80, 0x04, 0x0C};
  for (int i = 0; i < 4; i++)
    for (int b = 0; b < 4; b++) EXPECT_EQ(video_ram[0x1B00 + 4 * i + b], sprites[4 * (3 - i) + b]);
  go_on(7);

  ASSERT_TRUE(run_to_phase(8));
  EXPECT_NE(name_row(0x1800, 7).find("1 = SKILL 1"), std::string::npos) << name_row(0x1800, 7);
  EXPECT_NE(name_row(0x1800, 15).find("8 = SKILL 4"), std::string::npos);
  EXPECT_EQ(name_row(0x1800, 0), std::string(32, ' '));
}

}  // namespace

extern int host_null_mouse_dx, host_null_mouse_dy;

namespace {

void release_all_keys(void) {
  for (int i = 0; i < 40; i++) key_table[i] = 0;
}

// What a controller port reads (1 = released) with the roller idle.
int joystick_port(int up, int right, int down, int left, int fire) {
  return 0x7F & ~(up | right << 1 | down << 2 | left << 3 | fire << 6);
}
int keypad_port(int code, int arm) { return (0x70 | code) & ~(arm << 6); }

TEST(BiosControllerCalls, ScanDecodeSpinnerAndDebouncedPoller) {
  ASSERT_TRUE(start_program("bios_ctrl"));
  release_all_keys();
  key_table[0] = 1;   // up_1
  key_table[12] = 1;  // key5_1
  key_table[5] = 1;   // right_button_1
  key_table[23] = 1;  // left_2
  ASSERT_TRUE(run_to_phase(1));
  EXPECT_EQ(memory_read(0x73EE), (~joystick_port(1, 0, 0, 0, 0)) & 0xFF);
  EXPECT_EQ(memory_read(0x73EF), (~joystick_port(0, 0, 0, 1, 0)) & 0xFF);
  EXPECT_EQ(memory_read(0x73F0), (~keypad_port(0x3, 1)) & 0xFF);
  EXPECT_EQ(memory_read(0x73F1), (~keypad_port(0xF, 0)) & 0xFF);
  go_on(1);

  ASSERT_TRUE(run_to_phase(2));
  EXPECT_EQ(memory_read(0x7100), 0x01);  // directions: up
  EXPECT_EQ(memory_read(0x7101), 0x00);  // no fire
  EXPECT_EQ(memory_read(0x7102), 3);     // spinner steps since the last call
  EXPECT_EQ(memory_read(0x7109), 0);     // ... then cleared
  EXPECT_EQ(memory_read(0x7103), 5);     // key 5
  EXPECT_EQ(memory_read(0x7104), 0x40);  // arm button
  EXPECT_EQ(memory_read(0x7105), 0x08);  // controller 2: left
  EXPECT_EQ(memory_read(0x7107), 0x0F);  // no key
  EXPECT_EQ(memory_read(0x7108), 0x00);
  go_on(2);

  ASSERT_TRUE(run_to_phase(3));
  host_null_mouse_dx = host_null_mouse_dy = 0;
  roller_enabled = 1;
  roller_x = 2;  // two steps one way on controller 1
  roller_y = 1;  // one step the other way on controller 2
  machine_run_frames(3);
  roller_enabled = 0;
  EXPECT_EQ(memory_read(0x73EB), 2);
  EXPECT_EQ(memory_read(0x73EC), 0xFF);
  release_all_keys();
  key_table[0] = 1;   // up_1
  key_table[4] = 1;   // left_button_1: fire
  key_table[14] = 1;  // key7_1
  key_table[5] = 1;   // right_button_1: arm
  key_table[21] = 1;  // right_2
  go_on(3);

  ASSERT_TRUE(run_to_phase(4));
  auto run_to_nmi = [](int n) {
    for (int i = 0; i < 262 * 3 && memory_read(0x7010) < n; i++) machine_run_scanlines(1);
    return memory_read(0x7010) == n;
  };
  ASSERT_TRUE(run_to_nmi(1));
  for (int i = 0; i < 10; i++) EXPECT_EQ(memory_read(0x7342 + i), 0) << "one sample is not enough: " << i;
  ASSERT_TRUE(run_to_nmi(2));
  const int player0[5] = {0x40, 0x01, 0, 0x40, 7};
  const int player1[5] = {0, 0x02, 0, 0, 0};
  for (int i = 0; i < 5; i++) EXPECT_EQ(memory_read(0x7342 + i), player0[i]) << i;
  for (int i = 0; i < 5; i++) EXPECT_EQ(memory_read(0x7347 + i), player1[i]) << i;
  key_table[4] = 0;
  ASSERT_TRUE(run_to_nmi(3));
  EXPECT_EQ(memory_read(0x7342), 0x40);
  ASSERT_TRUE(run_to_nmi(4));
  EXPECT_EQ(memory_read(0x7342), 0x00);
  release_all_keys();
}

}  // namespace

namespace {

TEST(BiosTimerCalls, SignalsExpireOnTimeAndHelpersWork) {
  ASSERT_TRUE(start_program("bios_timer"));
  ASSERT_TRUE(run_to_phase(1));
  EXPECT_EQ(memory_read(0x7180), 0);
  EXPECT_EQ(memory_read(0x7181), 1);
  EXPECT_EQ(memory_read(0x7182), 2);
  for (int tick = 1; tick <= 8; tick++) {
    int at = 0x7200 + 3 * (tick - 1);
    EXPECT_EQ(memory_read(at), tick == 3 ? 1 : 0) << "one-shot of 3, tick " << tick;
    EXPECT_EQ(memory_read(at + 1), tick % 2 == 0 ? 1 : 0) << "repeating every 2, tick " << tick;
    EXPECT_EQ(memory_read(at + 2), 0) << "long timer, tick " << tick;
  }
  go_on(1);

  ASSERT_TRUE(run_to_phase(2, 262 * 600));
  EXPECT_EQ(ram_word(0x7190), 300);  // the long one-shot after exactly 300 ticks
  EXPECT_EQ(memory_read(0x7192), 0);  // a freed signal never reports
  EXPECT_EQ(memory_read(0x7193), 0);  // nor one past the table's end
  EXPECT_EQ(memory_read(0x7194), 0);  // the first free entry is reused
  // A new long timer reuses the expired long one's block: the room given
  // to INIT_TIMER (7140h) has still handed out only one block.
  EXPECT_EQ(memory_read(0x7195), 2);
  EXPECT_EQ(ram_word(0x73D5), 0x7144);
  go_on(2);

  ASSERT_TRUE(run_to_phase(3));
  int hl = 0x0033;
  for (int i = 0; i < 4; i++) {
    int h = hl >> 8, l = hl & 0xFF;
    int carry = (h & 1) ^ (h >> 7);
    int new_l = (l >> 1) | carry << 7;
    int new_h = (h >> 1) | (l & 1) << 7;
    hl = new_h << 8 | new_l;
    int at = 0x7200 + 3 * i;
    EXPECT_EQ(ram_word(at), hl) << "step " << i;
    EXPECT_EQ(memory_read(at + 2), new_l);
  }
  EXPECT_EQ(ram_word(0x73C8), hl);
  go_on(3);

  ASSERT_TRUE(run_to_phase(4));
  const int zf = 0x40;
  EXPECT_EQ(memory_read(0x7300), 0x50);
  EXPECT_EQ(memory_read(0x7310) & zf, 0);
  EXPECT_EQ(memory_read(0x7311), 1);
  EXPECT_EQ(memory_read(0x7312) & zf, zf);
  EXPECT_EQ(memory_read(0x7301), 0x03);
  EXPECT_EQ(memory_read(0x7314) & zf, zf);
  EXPECT_EQ(memory_read(0x7302), 0xAA);
  EXPECT_EQ(ram_word(0x7304), 0x01F0 + 0x20);
  EXPECT_EQ(ram_word(0x7306), 0x0105 - 0x10);
}

}  // namespace

namespace {

// Frame by frame on the sound chip, worked out from the two note lists in
// bios_sound.asm: each NMI sends the current state, then advances it.
TEST(BiosSoundCalls, TwoSongsFrameByFrame) {
  ASSERT_TRUE(start_program("bios_sound"));
  ASSERT_TRUE(run_to_phase(1));
  EXPECT_EQ(memory_read(0x7100), 0x00);  // SOUND_INIT ends the areas with 00
  struct Frame { int tone, tone_att, noise_ctrl, noise_att; };
  const Frame expect[] = {
      {0x1AB, 1, 5, 3}, {0x1AB, 1, 5, 3}, {0x1AB, 1, 5, 3},   // note, 3 frames
      {0x1AB, 15, 5, 3},                                      // rest; noise note's 4th frame
      {0x1AB, 15, 4, 0}, {0x1AB, 15, 4, 2},                   // volume sweep starts at 0
      {0x100, 2, 4, 4}, {0x100, 2, 4, 6}, {0x110, 2, 4, 6},   // frequency sweep
      {0x110, 2, 4, 6}, {0x120, 2, -1, 15}, {0x120, 2, -1, 15},
      {0x120, 15, -1, 15},                                    // both songs over
  };
  for (int k = 0; k < (int)(sizeof expect / sizeof expect[0]); k++) {
    for (int i = 0; i < 262 * 3 && memory_read(0x7010) < k + 1; i++) machine_run_scanlines(1);
    ASSERT_EQ(memory_read(0x7010), k + 1);
    const Frame &f = expect[k];
    EXPECT_EQ(psg_reg[0], f.tone) << "NMI " << k + 1;
    EXPECT_EQ(psg_reg[1], psg_vol[f.tone_att]) << "NMI " << k + 1;
    if (f.noise_ctrl >= 0) {
      EXPECT_EQ(psg_reg[6] & 15, f.noise_ctrl) << "NMI " << k + 1;
    }
    EXPECT_EQ(psg_reg[7], psg_vol[f.noise_att]) << "NMI " << k + 1;
    EXPECT_EQ(psg_reg[3], psg_vol[15]);
    EXPECT_EQ(psg_reg[5], psg_vol[15]);
  }
}

}  // namespace

namespace {

const uint8_t kGlyph[8] = {0xF8, 0x80, 0x80, 0xF0, 0x80, 0x80, 0x80, 0x00};
const uint8_t kGlyph2[8] = {0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

int reversed_bits(int b) {
  int r = 0;
  for (int i = 0; i < 8; i++) r |= ((b >> i) & 1) << (7 - i);
  return r;
}
int doubled_nibble(int n) {
  int r = 0;
  for (int i = 0; i < 4; i++) r |= ((n >> i) & 1) * (3 << (2 * i));
  return r;
}
// 2x magnified into four generators: top left, bottom left, top right,
// bottom right.
std::vector<int> enlarged(const uint8_t *in) {
  std::vector<int> out;
  for (int right = 0; right < 2; right++)
    for (int row = 0; row < 8; row++) {
      int n = right ? in[row] & 15 : in[row] >> 4;
      out.push_back(doubled_nibble(n));
      out.push_back(doubled_nibble(n));
    }
  return out;
}

TEST(BiosGraphicsCalls, TransformsObjectsWriterAndTwins) {
  ASSERT_TRUE(start_program("bios_gfx"));
  ASSERT_TRUE(run_to_phase(1));
  for (int r = 0; r < 8; r++) {
    EXPECT_EQ(video_ram[10 * 8 + r], reversed_bits(kGlyph[r])) << "mirror row " << r;
    EXPECT_EQ(video_ram[11 * 8 + r], kGlyph[7 - r]) << "flip row " << r;
    int rot = 0;  // quarter turn clockwise: row r, column c from row 7-c, column r
    for (int c = 0; c < 8; c++) rot |= ((kGlyph[7 - c] >> (7 - r)) & 1) << (7 - c);
    EXPECT_EQ(video_ram[12 * 8 + r], rot) << "rotate row " << r;
    EXPECT_EQ(video_ram[20 * 8 + r], kGlyph[7 - r]);
    EXPECT_EQ(video_ram[21 * 8 + r], kGlyph2[7 - r]);
    EXPECT_EQ(video_ram[0x3800 + 2 * 8 + r], reversed_bits(kGlyph[r])) << "sprite pattern mirror";
  }
  std::vector<int> big = enlarged(kGlyph);
  for (int i = 0; i < 32; i++) EXPECT_EQ(video_ram[16 * 8 + i], big[i]) << "enlarge byte " << i;
  go_on(1);

  ASSERT_TRUE(run_to_phase(2));
  const uint8_t colours[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  for (int r = 0; r < 8; r++) EXPECT_EQ(video_ram[0x2000 + 30 * 8 + r], colours[7 - r]);
  for (int q = 0; q < 4; q++)
    for (int r = 0; r < 8; r++)
      EXPECT_EQ(video_ram[0x2000 + (40 + q) * 8 + r], colours[(q & 1) * 4 + r / 2]) << q << " " << r;
  for (int bank = 0; bank < 3; bank++)
    for (int r = 0; r < 8; r++) {
      EXPECT_EQ(video_ram[bank * 0x800 + 0x90 * 8 + r], kGlyph[r]) << "third " << bank;
      EXPECT_EQ(video_ram[bank * 0x800 + 0x91 * 8 + r], kGlyph2[r]) << "third " << bank;
    }
  go_on(2);

  ASSERT_TRUE(run_to_phase(3));
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(video_ram[0x90 * 8 + i], kGlyph[i]);
    EXPECT_EQ(video_ram[0x91 * 8 + i], kGlyph2[i]);
    EXPECT_EQ(video_ram[0x3800 + 4 * 8 + i], kGlyph2[i]);
  }
  EXPECT_EQ(video_ram[0x2000 + 0x90 / 8], 0xE4);
  auto name = [](int row, int col) { return video_ram[0x1800 + row * 32 + col]; };
  EXPECT_EQ(name(3, 2), 0x90);
  EXPECT_EQ(name(3, 3), 0x91);
  EXPECT_EQ(name(22, 31), 0x91);
  EXPECT_EQ(name(23, 31), 0x90);
  EXPECT_EQ(name(10, 0), 0x91);
  EXPECT_EQ(name(9, 31), 0x00);  // the clipped cell did not wrap round
  const uint8_t attr[4] = {49, 100, 4, 0x0A};
  for (int i = 0; i < 4; i++) EXPECT_EQ(video_ram[0x1B00 + 3 * 4 + i], attr[i]);
  go_on(3);

  ASSERT_TRUE(run_to_phase(4));
  EXPECT_EQ(video_ram[0x1B00 + 3 * 4 + 1], 256 - 5 + 32 - 256);
  EXPECT_EQ(video_ram[0x1B00 + 3 * 4 + 3], 0x8A);
  EXPECT_EQ(memory_read(0x73CB), 0);
  EXPECT_EQ(memory_read(0x73CC), 1);
  EXPECT_EQ(name(0, 0), 0x00);  // queued, not drawn
  go_on(4);
  ASSERT_TRUE(run_to_phase(5));
  EXPECT_EQ(name(0, 0), 0x90);
  EXPECT_EQ(name(0, 1), 0x91);
  EXPECT_EQ(memory_read(0x73CB), memory_read(0x73CC));
  go_on(5);

  ASSERT_TRUE(run_to_phase(6));
  EXPECT_EQ(vdp_reg[7], 0x15);
  EXPECT_EQ(vdp_reg[2], 0x1C00 >> 10);
  EXPECT_EQ(video_ram[0x1C00 + 10], kGlyph[0]);
  EXPECT_EQ(video_ram[0x1C00 + 11], kGlyph[1]);
  EXPECT_EQ(ram_word(0x7120), ram_word(0x7122)) << "the twins take their parameters off the stack";
  go_on(6);

  ASSERT_TRUE(run_to_phase(7));
  EXPECT_EQ(ram_word(0x7130), 3 * 32 + 5);
  EXPECT_EQ(ram_word(0x7132), 0x1234);
  EXPECT_EQ(memory_read(0x7135), 0x50 / 8);
  EXPECT_EQ(memory_read(0x7134), (-16 / 8) & 0xFF);
  go_on(7);

  ASSERT_TRUE(run_to_phase(8));
  EXPECT_EQ(memory_read(0x7110), 3);      // the effect ran three frames
  EXPECT_EQ(memory_read(0x7200), 0x41);   // then the next note took over
  EXPECT_EQ(memory_read(0x7205), 1);
  EXPECT_EQ(psg_reg[0], 0x055);
  EXPECT_EQ(psg_reg[1], psg_vol[1]);
  EXPECT_EQ(memory_read(0x720A), 0xFF);   // EFXOVER ended song 2
  EXPECT_EQ(psg_reg[3], psg_vol[15]);
  go_on(8);

  // Mobile object: the 16x16 image at (35, 42) is shifted right by 3 and
  // down by 2 into generators A0h-A8h over rows 5-7, columns 4-6, ORed with
  // the pattern of the names it covers (name 2).
  const uint8_t image[32] = {0x81, 0x42, 0x24, 0x18, 0xFF, 0x01, 0x80, 0x55, 0xAA, 0x33, 0xCC,
                             0x0F, 0xF0, 0x3C, 0xC3, 0x99, 0x11, 0x22, 0x44, 0x88, 0xEE, 0x77,
                             0xBB, 0xDD, 0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80};
  ASSERT_TRUE(run_to_phase(9));
  for (int k = 0; k < 9; k++) {
    int i = k / 3, j = k % 3;
    EXPECT_EQ(name(5 + i, 4 + j), 0xA0 + k);
    EXPECT_EQ(memory_read(0x7240 + 3 + k), 2) << "saved name " << k;
    for (int r = 0; r < 8; r++) {
      int y = 8 * i + r - 2;
      uint32_t line = 0;
      if (y >= 0 && y < 16) line = (uint32_t)image[y] << 16 | (uint32_t)image[16 + y] << 8;
      line >>= 3;
      int expect = ((line >> (16 - 8 * j)) & 0xFF) | kGlyph2[r];
      EXPECT_EQ(video_ram[(0xA0 + k) * 8 + r], expect) << "cell " << k << " row " << r;
    }
  }
  go_on(9);
  ASSERT_TRUE(run_to_phase(10));
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(name(5 + i, 4), 2) << "the background comes back";
    for (int j = 0; j < 3; j++) EXPECT_EQ(name(5 + i, 5 + j), 0xA0 + 3 * i + j);
  }
  EXPECT_EQ(name(4, 5), 0);
  go_on(10);

  // Complex object at (64, 96): its semi-mobile part at the same place, its
  // sprite part 16 right and 8 down.
  ASSERT_TRUE(run_to_phase(11));
  EXPECT_EQ(name(12, 8), 0x90);
  EXPECT_EQ(name(12, 9), 0x91);
  EXPECT_EQ(video_ram[0x1B00 + 3 * 4], 96 + 8 - 1);
  EXPECT_EQ(video_ram[0x1B00 + 3 * 4 + 1], 64 + 16);
}

}  // namespace
