// The scanline renderer against a per-pixel model of the chip written
// here from the hardware's addressing rules, and the sprite rules one by one.
#include <gtest/gtest.h>

#include <cstring>

#include "video/present.h"
#include "video/vdp.h"

namespace {

// Pixel values of the 16 NTSC colours; colour 1 is the distinct black 1.
const uint32_t rgb[16] = {0x000000, 0x000001, 0x25C545, 0x62DA7A, 0x5557E8, 0x7D77F8,
                          0xD0534E, 0x47EAF2, 0xF85756, 0xFF7B7A, 0xD3C058, 0xE5CD83,
                          0x25AD3D, 0xC75DB8, 0xCCCCCC, 0xFFFFFF};

uint32_t frame[192][256];

void reset_chip(void) {
  vdp_pal = 0;
  vdp_init();
  for (int i = 0; i < 8; i++) vdp_reg[i] = 0;
}

// Tests write video memory directly, so each drawing says it may have changed.
void render_frame(void) {
  vdp_memory_changed();
  for (int line = 0; line < 192; line++) vdp_draw_line(frame[line], line);
}

// ---- the model: one pixel at a time -------------------------------------

int R(int n) { return vdp_reg[n] & 0xFF; }
int mode_number(void) { return ((R(1) >> 3) & 1) | ((R(1) >> 3) & 2) | ((R(0) << 1) & 4); }
bool has_sprites(int m) { return m == 0 || m == 1 || m == 4 || m == 6; }

// Graphics II pattern address: the screen third and the name form a
// 10-bit index, masked by register 4 bits 1..0.
int split_pattern(int line, int name, int row) {
  int base = (R(4) & 4) ? 0x2000 : 0;
  int index = ((line / 64) * 256 + name) & (((R(4) & 3) << 8) | 0xFF);
  return base + index * 8 + row;
}

int background_colour(int x, int line, bool *coloured) {
  int m = mode_number();
  int fg = R(7) >> 4, bg = R(7) & 15;
  int N = (R(2) & 15) * 1024, P = (R(4) & 7) * 2048;
  *coloured = has_sprites(m);
  switch (m) {
    case 0: {
      int name = video_ram[N + (line / 8) * 32 + x / 8];
      int pat = video_ram[P + name * 8 + line % 8];
      int c = video_ram[R(3) * 64 + name / 8];
      return (pat >> (7 - x % 8)) & 1 ? c >> 4 : c & 15;
    }
    case 4: {
      int name = video_ram[N + (line / 8) * 32 + x / 8];
      int pat = video_ram[split_pattern(line, name, line % 8)];
      int cbase = (R(3) & 0x80) ? 0x2000 : 0;
      int index = (((line / 64) * 256 + name) * 8 + line % 8) & (((R(3) & 0x7F) << 6) | 0x3F);
      int c = video_ram[cbase + index];
      return (pat >> (7 - x % 8)) & 1 ? c >> 4 : c & 15;
    }
    case 1:
    case 6: {
      int name = video_ram[N + (line / 8) * 32 + x / 8];
      int addr = m == 1 ? P + name * 8 + (line / 4) % 8 : split_pattern(line, name, (line / 4) % 8);
      int c = video_ram[addr];
      return x % 8 < 4 ? c >> 4 : c & 15;
    }
    case 2:
    case 5: {
      if (x < 8 || x >= 248) return bg;
      int name = video_ram[N + (line / 8) * 40 + (x - 8) / 6];
      int addr = m == 2 ? P + name * 8 + line % 8 : split_pattern(line, name, line % 8);
      return (video_ram[addr] >> (7 - (x - 8) % 6)) & 1 ? fg : bg;
    }
    default:
      if (x < 8 || x >= 248) return bg;
      return (x - 8) % 6 < 4 ? fg : bg;
  }
}

struct Sprite {
  int number, x, y, colour;
  const uint8_t *attr;
};

// The sprites the chip looks at on a line, at most five, in table order.
int sprites_on_line(int line, Sprite *out) {
  int size = R(1) & 3, height = size == 0 ? 8 : size == 3 ? 32 : 16;
  int n = 0;
  for (int e = 0; e < 32 && n < 5; e++) {
    const uint8_t *a = video_ram + (R(5) & 0x7F) * 128 + e * 4;
    if (a[0] == 0xD0) break;
    int y = a[0];
    if (y >= 191 && y <= 223) continue;
    if (y >= 224) y -= 256;
    if (line <= y || line > y + height) continue;
    out[n++] = {e, a[1] - ((a[3] & 0x80) ? 32 : 0), y, a[3] & 15, a};
  }
  return n;
}

// Whether the sprite has a pixel at horizontal position px on the line.
bool sprite_pixel(const Sprite &s, int px, int line) {
  int size = R(1) & 3;
  int mag = size & 1 ? 2 : 1, big = size & 2 ? 2 : 1;
  int dx = px - s.x;
  if (dx < 0 || dx >= 8 * big * mag) return false;
  int col = dx / mag, row = (line - s.y - 1) / mag;
  int addr = (R(6) & 7) * 2048 + (big == 2 ? (s.attr[2] & 0xFC) : s.attr[2]) * 8 + row +
             (col >= 8 ? 16 : 0);
  return (video_ram[addr] >> (7 - col % 8)) & 1;
}

uint32_t model_pixel(int x, int line) {
  if (!(R(1) & 0x40)) return rgb[R(7) & 15];
  bool coloured;
  int c = background_colour(x, line, &coloured);
  if (coloured && c == 0) c = R(7) & 15;
  if (coloured) {
    Sprite s[5];
    int n = sprites_on_line(line, s);
    if (n > 4) n = 4;
    for (int i = 0; i < n; i++)
      if (s[i].colour != 0 && sprite_pixel(s[i], x, line)) return rgb[s[i].colour];
  }
  return rgb[c];
}

// Whether two sprites meet anywhere on the line, edges included.
bool model_coincidence(int line) {
  Sprite s[5];
  int n = sprites_on_line(line, s);
  for (int px = -32; px < 288; px++) {
    int hits = 0;
    for (int i = 0; i < n; i++)
      if (s[i].colour != 0 && sprite_pixel(s[i], px, line)) hits++;
    if (hits > 1) return true;
  }
  return false;
}

// ---- helpers --------------------------------------------------------------

uint32_t seed;
int next_random(void) {
  seed = seed * 1103515245u + 12345u;
  return (seed >> 16) & 0xFF;
}

void random_memory(void) {
  for (auto &b : video_ram) b = (uint8_t)next_random();
  vdp_memory_changed();
}

::testing::AssertionResult frame_matches_model(void) {
  render_frame();
  for (int line = 0; line < 192; line++)
    for (int x = 0; x < 256; x++)
      if (frame[line][x] != model_pixel(x, line))
        return ::testing::AssertionFailure()
               << "line " << line << " x " << x << ": got " << std::hex << frame[line][x]
               << " want " << model_pixel(x, line);
  return ::testing::AssertionSuccess();
}

void set_mode(int m, int extra_r1) {
  vdp_reg[0] = (m & 4) ? 2 : 0;
  vdp_reg[1] = 0x40 | ((m & 1) ? 0x08 : 0) | ((m & 2) ? 0x10 : 0) | extra_r1;
}

void sprite(int n, int y, int x, int pattern, int colour) {
  uint8_t *a = video_ram + (R(5) & 0x7F) * 128 + n * 4;
  a[0] = (uint8_t)y;
  a[1] = (uint8_t)x;
  a[2] = (uint8_t)pattern;
  a[3] = (uint8_t)colour;
  vdp_memory_changed();
}

// Graphics I with an empty screen in backdrop 4 and sprite tables set up:
// attributes at 0x1B00, patterns at 0x3800 (pattern 0 solid, 4..7 solid).
void sprite_scene(int size) {
  reset_chip();
  set_mode(0, size);
  vdp_reg[2] = 6;     // names 0x1800
  vdp_reg[3] = 0x80;  // colours 0x2000
  vdp_reg[4] = 0;     // patterns 0x0000
  vdp_reg[5] = 0x36;  // attributes 0x1B00
  vdp_reg[6] = 7;     // sprite patterns 0x3800
  vdp_reg[7] = 4;
  memset(video_ram + 0x3800, 0xFF, 64);
  video_ram[0x1B00] = 0xD0;
  vdp_memory_changed();
}

uint32_t backdrop(void) { return rgb[4]; }

// ---- tests ----------------------------------------------------------------

TEST(Render, EveryModeMatchesTheModelOnRandomMemory) {
  for (int m = 0; m < 8; m++) {
    for (int trial = 0; trial < 4; trial++) {
      seed = 977u * (unsigned)(m + 1) + 31u * (unsigned)trial;
      reset_chip();
      random_memory();
      for (int r = 2; r < 8; r++) vdp_reg[r] = next_random();
      set_mode(m, next_random() & 3);
      // Keep some sprites on screen: spread the Y values over the picture.
      for (int e = 0; e < 32; e++) {
        uint8_t &y = video_ram[(R(5) & 0x7F) * 128 + e * 4];
        if (y == 0xD0 || (y >= 191 && y < 224)) y = (uint8_t)(e * 6);
      }
      SCOPED_TRACE(testing::Message() << "mode " << m << " trial " << trial);
      EXPECT_TRUE(frame_matches_model());
      EXPECT_EQ(vdp_colors[0], 0u) << "colour 0 restored after the line";
    }
  }
}

TEST(Render, GraphicsTwoMasksAndSplitTables) {
  seed = 4242;
  const int reg3[] = {0xFF, 0x80, 0x9F, 0x00, 0x7F};
  const int reg4[] = {0x07, 0x04, 0x05, 0x00, 0x03};
  for (int i = 0; i < 5; i++) {
    reset_chip();
    random_memory();
    set_mode(4, 0);
    vdp_reg[2] = 0x0E;
    vdp_reg[3] = reg3[i];
    vdp_reg[4] = reg4[i];
    vdp_reg[5] = 0x76;
    video_ram[0x3B00] = 0xD0;
    vdp_reg[7] = 0x1C;
    SCOPED_TRACE(testing::Message() << "r3 " << reg3[i] << " r4 " << reg4[i]);
    EXPECT_TRUE(frame_matches_model());
  }
  // With register 4 bits 1..0 clear, the bottom third reuses the top
  // third's patterns: same names and colours give the same line.
  reset_chip();
  set_mode(4, 0);
  vdp_reg[2] = 6;
  vdp_reg[3] = 0x80;  // colour mask 0x3F: every third shares colours too
  vdp_reg[4] = 0x04;
  vdp_reg[5] = 0x36;
  for (int i = 0; i < 0x4000; i++) video_ram[i] = (uint8_t)(i * 7 + (i >> 8));
  for (int i = 0; i < 0x300; i++) video_ram[0x1800 + i] = (uint8_t)i;
  video_ram[0x1B00] = 0xD0;
  render_frame();
  EXPECT_EQ(0, memcmp(frame[130], frame[2], sizeof frame[0]));
}

TEST(Render, ModeFiveIsTextAndModeSixIsMulticolour) {
  reset_chip();
  vdp_reg[2] = 0;
  vdp_reg[4] = 4;  // pattern base 0x2000 in split addressing
  vdp_reg[7] = 0xF4;
  for (int i = 0; i < 960; i++) video_ram[i] = 1;
  for (int i = 0; i < 8; i++) video_ram[0x2008 + i] = 0xA8;  // bits 7, 5, 3
  set_mode(5, 0);
  vdp_draw_line(frame[0], 0);
  for (int x = 0; x < 8; x++) EXPECT_EQ(frame[0][x], rgb[4]);
  EXPECT_EQ(frame[0][8], rgb[15]);
  EXPECT_EQ(frame[0][9], rgb[4]);
  EXPECT_EQ(frame[0][10], rgb[15]);
  EXPECT_EQ(frame[0][14], rgb[15]) << "second 6-pixel character";

  set_mode(6, 0);
  video_ram[0x2008] = 0x9C;
  vdp_reg[5] = 0x20;
  video_ram[0x1000] = 0xD0;
  vdp_draw_line(frame[0], 0);
  for (int x = 0; x < 4; x++) EXPECT_EQ(frame[0][x], rgb[9]);
  for (int x = 4; x < 8; x++) EXPECT_EQ(frame[0][x], rgb[12]);
}

TEST(Render, BackdropAndBlankLines) {
  reset_chip();
  set_mode(0, 0);
  vdp_reg[5] = 0x36;
  video_ram[0x1B00] = 0xD0;
  vdp_reg[7] = 0x04;
  video_ram[0] = 0xF0;  // pattern 0 row 0: left half set
  video_ram[0x0000 + 0] = 0xF0;
  vdp_reg[3] = 0x10;    // colours at 0x400
  video_ram[0x400] = 0x00;  // fg 0 and bg 0: both show the backdrop
  vdp_reg[2] = 2;
  vdp_draw_line(frame[0], 0);
  EXPECT_EQ(frame[0][0], rgb[4]);
  EXPECT_EQ(frame[0][7], rgb[4]);

  set_mode(2, 0);
  vdp_reg[7] = 0xF0;
  vdp_draw_line(frame[0], 0);
  EXPECT_EQ(frame[0][0], 0u) << "text mode background 0 is black";

  set_mode(3, 0);
  memset(video_ram, 0x55, sizeof video_ram);
  vdp_reg[7] = 0x2C;
  vdp_draw_line(frame[0], 0);
  for (int col = 0; col < 40; col++) {
    EXPECT_EQ(frame[0][8 + col * 6], rgb[2]);
    EXPECT_EQ(frame[0][11 + col * 6], rgb[2]);
    EXPECT_EQ(frame[0][12 + col * 6], rgb[12]);
  }

  // Display off: one colour, and the sprite status is left alone even
  // with colliding sprites on the line.
  sprite_scene(0);
  sprite(0, 9, 10, 0, 15);
  sprite(1, 9, 12, 0, 15);
  sprite(2, 0xD0, 0, 0, 0);
  vdp_reg[1] &= ~0x40;
  vdp_reg[7] = 0x0B;
  vdp_status = 0x80;
  vdp_draw_line(frame[12], 12);
  for (int x = 0; x < 256; x++) ASSERT_EQ(frame[12][x], rgb[11]);
  EXPECT_EQ(vdp_status, 0x80);
}

TEST(Render, SpriteVerticalPositions) {
  sprite_scene(0);
  sprite(0, 0, 100, 0, 15);
  sprite(1, 0xD0, 0, 0, 0);
  render_frame();
  EXPECT_EQ(frame[0][100], backdrop()) << "Y = 0 starts on line 1";
  EXPECT_EQ(frame[1][100], rgb[15]);
  EXPECT_EQ(frame[8][100], rgb[15]);
  EXPECT_EQ(frame[9][100], backdrop());

  sprite(0, 255, 100, 0, 15);
  render_frame();
  EXPECT_EQ(frame[0][100], rgb[15]) << "Y = 255 puts row 0 on line 0";
  EXPECT_EQ(frame[7][100], rgb[15]);
  EXPECT_EQ(frame[8][100], backdrop());

  // Y = 224 is -32: only a 32-line sprite reaches line 0, with its last row.
  sprite(0, 224, 100, 4, 15);
  render_frame();
  EXPECT_EQ(frame[0][100], backdrop());
  sprite_scene(3);
  memset(video_ram + 0x3820, 0, 32);
  video_ram[0x3820 + 15] = 0x80;  // last row of the left half: pixel 0
  sprite(0, 224, 100, 4, 15);
  sprite(1, 0xD0, 0, 0, 0);
  render_frame();
  EXPECT_EQ(frame[0][100], rgb[15]);
  EXPECT_EQ(frame[0][101], rgb[15]) << "magnified: two pixels";
  EXPECT_EQ(frame[0][102], backdrop());
  EXPECT_EQ(frame[1][100], backdrop());

  // A terminator hides its entry and the rest; 0xC8 hides only its own.
  sprite_scene(0);
  sprite(0, 0xC8, 10, 0, 15);
  sprite(1, 50, 20, 0, 15);
  sprite(2, 0xD0, 30, 0, 15);
  sprite(3, 50, 40, 0, 15);
  render_frame();
  EXPECT_EQ(frame[51][10], backdrop());
  EXPECT_EQ(frame[51][20], rgb[15]);
  EXPECT_EQ(frame[51][40], backdrop());
}

TEST(Render, SpritesClipAtBothEdges) {
  sprite_scene(0);
  sprite(0, 49, 250, 0, 13);
  sprite(1, 0xD0, 0, 0, 0);
  for (auto &p : frame[51]) p = 0xABCDEF;
  vdp_draw_line(frame[50], 50);
  EXPECT_EQ(frame[50][249], backdrop());
  for (int x = 250; x < 256; x++) EXPECT_EQ(frame[50][x], rgb[13]);
  for (int x = 0; x < 256; x++) ASSERT_EQ(frame[51][x], 0xABCDEFu) << "nothing past the row";

  sprite_scene(2);
  sprite(0, 49, 20, 4, 0x80 | 13);  // early clock: left edge at -12
  sprite(1, 0xD0, 0, 0, 0);
  vdp_draw_line(frame[50], 50);
  for (int x = 0; x < 4; x++) EXPECT_EQ(frame[50][x], rgb[13]);
  EXPECT_EQ(frame[50][4], backdrop());

  // And the whole scene against the model, with sprites of every size
  // straddling the edges.
  for (int size = 0; size < 4; size++) {
    sprite_scene(size);
    seed = 99u + (unsigned)size;
    for (int i = 0; i < 0x800; i++) video_ram[0x3800 + i] = (uint8_t)next_random();
    const int xs[] = {0, 1, 240, 250, 255, 5, 20, 31};
    for (int e = 0; e < 8; e++) sprite(e, e * 20, xs[e], e * 4, (e & 1 ? 0x80 : 0) | (e + 3));
    sprite(8, 0xD0, 0, 0, 0);
    SCOPED_TRACE(testing::Message() << "size " << size);
    EXPECT_TRUE(frame_matches_model());
  }
}

TEST(Render, FifthSpriteAndLimit) {
  sprite_scene(0);
  for (int e = 0; e < 6; e++) sprite(e, 99, e * 20, 0, 2 + e);
  sprite(6, 0xD0, 0, 0, 0);
  vdp_draw_line(frame[100], 100);
  for (int e = 0; e < 4; e++) EXPECT_EQ(frame[100][e * 20], rgb[2 + e]);
  EXPECT_EQ(frame[100][80], backdrop()) << "the fifth is not drawn";
  EXPECT_EQ(vdp_status, 0x40 | 4);

  // The sixth is never examined: overlapping it with the fifth sets no
  // coincidence, while the fifth itself does take part.
  sprite_scene(0);
  for (int e = 0; e < 5; e++) sprite(e, 99, e * 20, 0, 2);
  sprite(5, 99, 80, 0, 2);
  sprite(6, 0xD0, 0, 0, 0);
  vdp_draw_line(frame[100], 100);
  EXPECT_EQ(vdp_status & 0x20, 0);
  sprite(4, 99, 64, 0, 2);  // fifth now overlaps the fourth
  vdp_status = 0;
  vdp_draw_line(frame[100], 100);
  EXPECT_EQ(vdp_status, 0x60 | 4);

  // A set fifth-sprite flag or frame flag freezes the number.
  vdp_status = 0x80;
  vdp_draw_line(frame[100], 100);
  EXPECT_EQ(vdp_status & 0x5F, 0x00);

  // Fewer than five: bits 4..0 take the last listed entry.
  sprite_scene(0);
  sprite(0, 99, 0, 0, 2);
  sprite(1, 10, 0, 0, 2);
  sprite(2, 99, 40, 0, 2);
  sprite(3, 0xD0, 0, 0, 0);
  vdp_status = 0x80;
  vdp_draw_line(frame[100], 100);
  EXPECT_EQ(vdp_status, 0x82);
  vdp_draw_line(frame[150], 150);
  EXPECT_EQ(vdp_status, 0x80) << "empty list gives 0";
}

TEST(Render, TransparentSpritesCountForTheLimitButNotCoincidence) {
  sprite_scene(0);
  sprite(0, 99, 10, 0, 0);
  sprite(1, 99, 12, 0, 0);
  sprite(2, 99, 14, 0, 0);
  sprite(3, 99, 16, 0, 0);
  sprite(4, 99, 18, 0, 7);
  sprite(5, 0xD0, 0, 0, 0);
  vdp_draw_line(frame[100], 100);
  EXPECT_EQ(vdp_status, 0x40 | 4);
  EXPECT_EQ(frame[100][18], backdrop());
}

TEST(Render, CoincidenceBeyondTheEdges) {
  // Overlap only right of 255.
  sprite_scene(2);
  sprite(0, 99, 250, 4, 5);
  sprite(1, 99, 252, 4, 6);
  sprite(2, 0xD0, 0, 0, 0);
  memset(video_ram + 0x3820, 0, 32);
  video_ram[0x3820 + 16 + 1] = 0xFF;  // right half only, row 1
  vdp_draw_line(frame[101], 101);
  EXPECT_EQ(vdp_status & 0x20, 0x20);
  for (int x = 240; x < 256; x++) EXPECT_EQ(frame[101][x], backdrop());

  // Overlap only left of 0, through the early clock.
  sprite_scene(0);
  sprite(0, 99, 2, 0, 0x80 | 5);
  sprite(1, 99, 4, 0, 0x80 | 6);
  sprite(2, 0xD0, 0, 0, 0);
  video_ram[0x3800 + 1] = 0xF0;
  vdp_draw_line(frame[101], 101);
  EXPECT_EQ(vdp_status & 0x20, 0x20);

  // Touching but not overlapping.
  sprite_scene(0);
  sprite(0, 99, 100, 0, 5);
  sprite(1, 99, 108, 0, 6);
  sprite(2, 0xD0, 0, 0, 0);
  vdp_draw_line(frame[101], 101);
  EXPECT_EQ(vdp_status & 0x20, 0);

  // Random scenes agree with the model's coincidence.
  for (int trial = 0; trial < 200; trial++) {
    sprite_scene(trial & 3);
    seed = 7000u + (unsigned)trial;
    for (int i = 0; i < 0x800; i++) video_ram[0x3800 + i] = (uint8_t)(next_random() & next_random());
    for (int e = 0; e < 6; e++)
      sprite(e, 80 + (next_random() & 15), next_random(), next_random(),
             next_random() & 0x8F);
    sprite(6, 0xD0, 0, 0, 0);
    vdp_status = 0;
    vdp_draw_line(frame[100], 100);
    ASSERT_EQ((vdp_status & 0x20) != 0, model_coincidence(100)) << "trial " << trial;
  }
}

TEST(Render, DrawingOrderPutsLowNumbersOnTop) {
  sprite_scene(0);
  sprite(0, 99, 100, 0, 8);
  sprite(1, 99, 104, 0, 9);
  sprite(2, 0xD0, 0, 0, 0);
  vdp_draw_line(frame[100], 100);
  EXPECT_EQ(frame[100][103], rgb[8]);
  EXPECT_EQ(frame[100][104], rgb[8]);
  EXPECT_EQ(frame[100][108], rgb[9]);
}

// Kept lines against drawing each line afresh, over random scenes changed
// between lines by writes through the ports (video memory in and out of the
// tables, registers, the 4K/16K switch), direct writes with the wholesale
// call, and palette changes.
TEST(Render, KeptLinesMatchFreshDrawing) {
  static const int modes[] = {0, 1, 4, 6, 0, 4, 2, 3, 5};
  uint32_t fresh[256], elsewhere[256];
  for (int trial = 0; trial < 48; trial++) {
    seed = 4099u * (unsigned)trial + 7u;
    vdp_pal = trial & 1;
    reset_chip();
    random_memory();
    for (int r = 2; r < 8; r++) vdp_reg[r] = next_random();
    set_mode(modes[trial % 9], next_random() & 3);
    vdp_reg[1] |= next_random() & VDP_R1_16K;
    for (int e = 0; e < 32; e++) sprite(e, next_random() % 200, next_random(), next_random(), next_random() & 0x8F);
    // Writes are rare enough that most lines are drawn from what was kept:
    // none in half the frames.
    for (int f = 0; f < 12; f++) {
      vdp_status = next_random() & 0x20;
      // Kept copies recoloured, sprites and all; or the text colour alone.
      if (next_random() % 3 == 0) vdp_reg[7] = next_random() % 2 ? next_random() : (R(7) & 15) | (next_random() & 0xF0);
      if (next_random() % 4 == 0) vdp_reg[1] ^= VDP_R1_M1;  // into or out of text (or bars, or mode 6)
      const int rate = next_random() % 2 ? 1000 : 24 * (1 + trial % 4);
      for (int line = 0; line < 192; line++) {
        for (int pass = 0; next_random() % rate == 0 && pass < 4; pass++) {
          const int names = (R(2) & 15) * 0x400, colours = R(3) * 64, patterns = (R(4) & 7) * 0x800;
          // Names (the text modes' 960 too), colours, patterns, sprite
          // attributes, anywhere.
          static const int kinds[16] = {0, 0, 0, 1, 1, 2, 2, 3, 3, 3, 4, 4, 5, 5, 6, 7};
          const int r16 = next_random() << 8 | next_random();
          // Colours where a line reads them: Graphics I's 32 bytes, or an
          // address that Graphics II's register 3 mask lets through.
          const int gii = ((R(3) & 0x80) << 6) | (r16 & 0x1FFF & (R(3) << 6 | 0x3F));
          const int at[] = {names + r16 % 960, r16 & 0x100 ? gii : colours + r16 % 32, patterns + r16 % 0x800,
                            (R(5) & 0x7F) * 128 + r16 % 128, r16};
          const int kind = kinds[next_random() % 16];
          if (kind < 5) {  // a run of data through the port
            const int a = at[kind] & 0x3FFF;
            vdp_write_port(1, a & 0xFF);
            vdp_write_port(1, (a >> 8) | 0x40);
            // Sprite entries now and then end the table, or stop ending it.
            for (int n = 1 + next_random() % 6; n > 0; n--)
              vdp_write_port(0, kind == 3 && next_random() % 4 == 0 ? 0xD0 : next_random());
          } else if (kind == 5) {  // a register, the interrupt left off
            static const int regs[16] = {7, 7, 7, 7, 1, 1, 1, 0, 2, 3, 3, 4, 4, 5, 6, 6};
            const int r = regs[next_random() % 16];
            int v = next_random();
            if (r == 1) v = (v & ~VDP_R1_INTERRUPT) | (next_random() % 8 ? VDP_R1_DISPLAY : 0);
            if (r == 1 && next_random() % 4) v = (R(1) & ~3) | (v & 3);  // sprite size alone
            if (r == 4 && next_random() % 2) v = R(4) ^ 4;                 // the pattern half alone
            if (r == 0) v &= VDP_R0_M3;
            vdp_write_port(1, v);
            vdp_write_port(1, 0x80 | r);
          } else if (kind == 6) {
            video_ram[at[next_random() % 5] & 0x3FFF] = (uint8_t)next_random();
            vdp_memory_changed();
          } else {
            vdp_colors[next_random() % 16] = next_random();
          }
        }
        const int status = vdp_status;
        vdp_keep_lines = 0;
        vdp_draw_line(fresh, line);
        const int fresh_status = vdp_status;
        vdp_status = status;
        vdp_keep_lines = 1;
        // The frame buffer's own row, which a line shown whole again is left
        // as; in some frames another.
        uint32_t *const kept = f % 5 == 4 ? elsewhere : image + line * 256;
        vdp_draw_line(kept, line);
        ASSERT_EQ(vdp_status, fresh_status) << "trial " << trial << " frame " << f << " line " << line;
        ASSERT_EQ(0, memcmp(kept, fresh, sizeof fresh)) << "trial " << trial << " frame " << f << " line " << line;
      }
    }
  }
  vdp_pal = 0;
}

}  // namespace

// A sprite moved while the text modes show (which have none) is where it
// now is once a coloured mode is back, though nothing was looked at then.
TEST(Render, SpriteMovedDuringTextShowsMovedAfter) {
  sprite_scene(0);
  sprite(0, 20, 50, 0, 15);
  video_ram[0x1B04] = 0xD0;
  vdp_memory_changed();
  auto frame_then = [](void) {
    for (int line = 0; line < 192; line++) vdp_draw_line(image + line * 256, line);
  };
  for (int f = 0; f < 4; f++) frame_then();
  vdp_reg[1] ^= VDP_R1_M1;
  frame_then();
  vdp_write_port(1, 0x01);  // sprite 0's X, at 0x1B01
  vdp_write_port(1, 0x5B);
  vdp_write_port(0, 120);
  frame_then();
  vdp_reg[1] ^= VDP_R1_M1;
  frame_then();
  EXPECT_EQ(image[24 * 256 + 50], backdrop());
  EXPECT_EQ(image[24 * 256 + 120], rgb[15]);
}
