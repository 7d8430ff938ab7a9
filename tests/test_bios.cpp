// The built-in console BIOS: start-up paths, title screen, hold length and
// the fixed data that cartridges read.
#include <gtest/gtest.h>

#include <cstring>
#include <lodepng.h>
#include <string>
#include <vector>

#include "core/z80.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

const int kStart = 0x8080;  // where the little test cartridges start

// A cartridge with the given signature and name whose game marks RAM
// 0x7000 with 0xA5 and then waits.
std::vector<uint8_t> marker_cart(uint8_t b0, uint8_t b1, const std::string &name) {
  std::vector<uint8_t> c(0x100, 0x00);
  c[0] = b0;
  c[1] = b1;
  c[0x0A] = kStart & 0xFF;
  c[0x0B] = kStart >> 8;
  for (int slot = 0x0C; slot < 0x24; slot += 3) c[slot] = 0xC9;  // ret
  c[0x21] = 0xED;                                                  // retn
  c[0x22] = 0x45;
  memcpy(&c[0x24], name.data(), name.size());
  const uint8_t game[] = {0x3E, 0xA5, 0x32, 0x00, 0x70, 0x18, 0xFE};
  memcpy(&c[kStart - 0x8000], game, sizeof game);
  return c;
}

void save_png(const std::string &path) { save_frame_png(path.c_str()); }

// Frames until the game has started (RAM 0x7000 marked), or -1.
int frames_until_started(int limit) {
  for (int f = 1; f <= limit; f++) {
    machine_run_frames(1);
    if (memory_read(0x7000) == 0xA5) return f;
  }
  return -1;
}

std::string name_row(int row) {
  std::string s;
  for (int col = 0; col < 32; col++) s += (char)video_ram[0x1800 + row * 32 + col];
  return s;
}

TEST(BiosData, FixedBytesAndFontPointers) {
  EXPECT_EQ(coleco_bios[0x0069], 60);
  EXPECT_EQ(coleco_bios[0x006A] | coleco_bios[0x006B] << 8, 0x14A3 + 8 * 'A');
  EXPECT_EQ(coleco_bios[0x006C] | coleco_bios[0x006D] << 8, 0x14A3 + 8 * '0');
  // Entry vectors: LD SP,73B9h first; the restarts and the NMI jump into
  // the cartridge's slots.
  EXPECT_EQ(coleco_bios[0], 0x31);
  EXPECT_EQ(coleco_bios[1] | coleco_bios[2] << 8, 0x73B9);
  const int vec[] = {0x08, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38, 0x66};
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(coleco_bios[vec[i]], 0xC3) << vec[i];
    EXPECT_EQ(coleco_bios[vec[i] + 1] | coleco_bios[vec[i] + 2] << 8, 0x800C + 3 * i) << vec[i];
  }
  // Ported programs call 0041h, 0044h and 0047h: they must just return.
  EXPECT_EQ(coleco_bios[0x41], 0xC9);
  EXPECT_EQ(coleco_bios[0x44], 0xC9);
  EXPECT_EQ(coleco_bios[0x47], 0xC9);
  // The jump table: 53 JPs from 1F61h to the end.
  for (int a = 0x1F61; a < 0x2000; a += 3) EXPECT_EQ(coleco_bios[a], 0xC3) << std::hex << a;
  // The hold's outer count.
  EXPECT_EQ(coleco_bios[0x1968], 0x21);  // LD HL,nn with its high byte at 196Ah
  EXPECT_EQ(coleco_bios[0x196A], 0x28);
}

TEST(BiosData, FontIsAsciiOrderAndFitsSixPixelCells) {
  auto glyph = [](int c) { return &coleco_bios[0x14A3 + 8 * c]; };
  for (int r = 0; r < 8; r++) EXPECT_EQ(glyph(' ')[r], 0) << "space row " << r;
  for (int c = 0x1D; c <= 0x7F; c++) {
    int ink = 0;
    for (int r = 0; r < 8; r++) {
      EXPECT_EQ(glyph(c)[r] & 0x83, 0) << "code " << c << " row " << r << " outside bits 6-2";
      ink += __builtin_popcount(glyph(c)[r]);
    }
    if (c != ' ') {
      EXPECT_GT(ink, 2) << "code " << c;
    }
  }
  // Every printable glyph differs from every other.
  for (int a = 0x21; a <= 0x7E; a++)
    for (int b = a + 1; b <= 0x7E; b++) EXPECT_NE(memcmp(glyph(a), glyph(b), 8), 0) << (char)a << (char)b;
}

// Renders the status-line font (codes 20h-7Fh, 6-pixel cells as the status
// line draws them) into a PNG to look at.
TEST(BiosData, StatusFontPicture) {
  const int cols = 32, rows = 3, w = cols * 6 * 2, h = rows * 10 * 2;
  std::vector<uint8_t> rgba(w * h * 4, 0);
  for (int c = 0x20; c < 0x80; c++) {
    int cx = (c - 0x20) % cols, cy = (c - 0x20) / cols;
    for (int r = 0; r < 8; r++)
      for (int b = 0; b < 6; b++) {
        bool on = coleco_bios[0x14A3 + 8 * c + r] & (0x80 >> b);
        for (int dy = 0; dy < 2; dy++)
          for (int dx = 0; dx < 2; dx++) {
            int x = (cx * 6 + b) * 2 + dx, y = (cy * 10 + 1 + r) * 2 + dy;
            uint8_t *p = &rgba[(y * w + x) * 4];
            p[0] = p[1] = p[2] = on ? 255 : 0;
            p[3] = 255;
          }
      }
  }
  for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
  EXPECT_EQ(lodepng::encode("/tmp/bios_status_font.png", rgba, w, h), 0u);
}

TEST(BiosStartup, TestCartridgeStartsAtOnce) {
  machine_load_cartridge(marker_cart(0x55, 0xAA, "X/Y/2026"));
  memory_write(0x7000, 0);
  int frames = frames_until_started(2);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(emulator_registers[REG_SP], 0x73B9);
  // No set-up at all: the random seed is not written.
  EXPECT_EQ(video_ram[0x1800 + 4 * 32 + 4], 0);
}

TEST(BiosStartup, NoCartridgeShowsTheNoticeAndWaits) {
  machine_fresh();
  machine_run_frames(40);
  save_png("/tmp/bios_no_cartridge.png");
  EXPECT_NE(name_row(9).find("TURN POWER OFF BEFORE"), std::string::npos) << name_row(9);
  EXPECT_NE(name_row(11).find("CARTRIDGE"), std::string::npos) << name_row(11);
  EXPECT_EQ(vdp_reg[1] & 0x60, 0x40);  // display on, no NMI
  int pc = emulator_registers[REG_PC];
  machine_run_frames(5);
  EXPECT_LT(emulator_registers[REG_PC], 0x2000);  // still in the BIOS
  EXPECT_EQ(emulator_registers[REG_PC], pc);
}

TEST(BiosStartup, GameCartridgeInitialisesShowsTitleAndStarts) {
  machine_load_cartridge(marker_cart(0xAA, 0x55, "SPACE GAME/ACME PRESENTS/1999"));
  memory_write(0x7000, 0);
  machine_run_frames(30);
  save_png("/tmp/bios_title.png");
  std::string upper = name_row(8), lower = name_row(10), bottom = name_row(14);
  std::string b = "ACME PRESENTS", a = "SPACE GAME";
  EXPECT_EQ(upper.substr(16 - b.size() / 2, b.size()), b) << upper;
  EXPECT_EQ(lower.substr(16 - a.size() / 2, a.size()), a) << lower;
  EXPECT_EQ(bottom.substr(10, 12), std::string("\x1D" "1999 COLECO"));
  // The logo: codes 60h-8Fh in two rows.
  EXPECT_EQ(video_ram[0x1800 + 4 * 32 + 4], 0x60);
  EXPECT_EQ(video_ram[0x1800 + 5 * 32 + 27], 0x8F);
  // Variables set before the hold.
  EXPECT_EQ(memory_read(0x73C8) | memory_read(0x73C9) << 8, 0x0033);
  EXPECT_EQ(memory_read(0x73C6), 0);
  EXPECT_EQ(memory_read(0x73C7), 0);
  EXPECT_EQ(memory_read(0x73C3), 0x00);
  EXPECT_EQ(memory_read(0x73C4), 0xC0);
  EXPECT_EQ(memory_read(0x73F6) | memory_read(0x73F7) << 8, 0x1800);
  EXPECT_EQ(memory_read(0x73FA) | memory_read(0x73FB) << 8, 0x2000);
  EXPECT_EQ(memory_read(0x7000), 0);  // still holding
  int frames = frames_until_started(400);
  EXPECT_GT(frames, 0);
  EXPECT_EQ(emulator_registers[REG_SP], 0x73B9);
}

TEST(BiosStartup, TitleLinesAreCentredForOddAndLongNames) {
  struct { std::string a, b; } names[] = {{"X", "ODD NAME"}, {"A VERY LONG GAME NAME OF 32 CHAR", "B"}};
  for (auto &n : names) {
    machine_load_cartridge(marker_cart(0xAA, 0x55, n.a + "/" + n.b + "/2001"));
    machine_run_frames(30);
    EXPECT_EQ(name_row(10).substr(16 - n.a.size() / 2, n.a.size()), n.a);
    EXPECT_EQ(name_row(8).substr(16 - n.b.size() / 2, n.b.size()), n.b);
  }
}

// A name with no "/" at all, longer than a line: each line is cut at 32
// characters and the rest of the screen is untouched.
TEST(BiosStartup, NameWithoutSeparatorsIsCutToTheLine) {
  std::string junk(70, 'Q');
  junk[5] = '\x01';
  machine_load_cartridge(marker_cart(0xAA, 0x55, junk));
  memory_write(0x7000, 0);
  machine_run_frames(30);
  save_png("/tmp/bios_title_junk.png");
  EXPECT_EQ(name_row(10).substr(6), std::string(26, 'Q'));
  EXPECT_EQ(name_row(8), std::string(32, 'Q'));
  EXPECT_EQ(name_row(9), std::string(32, '\0'));
  EXPECT_EQ(name_row(11), std::string(32, '\0'));
  EXPECT_GT(frames_until_started(400), 0);
}

// Hold length: the high byte at 196Ah scales the outer count.
TEST(BiosStartup, HoldLengthFollowsThePatchedByte) {
  machine_load_cartridge(marker_cart(0xAA, 0x55, "G/P/2000"));
  memory_write(0x7000, 0);
  int patched = frames_until_started(1000);
  machine_load_cartridge(marker_cart(0xAA, 0x55, "G/P/2000"));
  base_rom[0x196A] = coleco_bios[0x196A];
  memory_write(0x7000, 0);
  int unpatched = frames_until_started(1000);
  printf("start after %d frames patched, %d unpatched\n", patched, unpatched);
  EXPECT_GE(patched, 2 * 60);
  EXPECT_LE(patched, 3 * 60);
  EXPECT_GE(unpatched, 9 * 60);
  EXPECT_LE(unpatched, 11 * 60);
  // The hold itself is proportional to the byte: 28h against 0Ah.
  int setup = patched - (unpatched - patched) * 0x0A / (0x28 - 0x0A);
  EXPECT_LT(setup, 20);
  EXPECT_GE(setup, 0);
}

}  // namespace
