// Scanline renderer: the background of the eight mode numbers, then the
// sprites of the line with their status bits. Runs 192 times a frame, so
// it allocates nothing and writes four pixels at a time: a pattern nibble
// picks a lane mask from a 16-entry table, and a vector of colours is
// blended through it.
#include <cstring>

#include "video/vdp.h"

namespace {
// Four frame-buffer pixels. The compiler's generic vectors map onto the
// host's SIMD registers (SSE2, NEON) or plain words.
typedef uint32_t px4 __attribute__((vector_size(16)));

// nibble.m[n] has lane i all ones when bit 3 - i of n is set: the leftmost
// pixel is the nibble's high bit.
struct NibbleTable {
  alignas(16) uint32_t m[16][4];
  constexpr NibbleTable() : m() {
    for (int n = 0; n < 16; n++)
      for (int i = 0; i < 4; i++) m[n][i] = (n & (8 >> i)) ? 0xFFFFFFFFu : 0u;
  }
};
// bits.m[b] has lane i all ones when bit 7 - i of b is set: a pattern
// byte's eight lane masks in one row, so a column needs no nibble split.
struct ByteLanes {
  alignas(32) uint32_t m[256][8];
  constexpr ByteLanes() : m() {
    for (int b = 0; b < 256; b++)
      for (int i = 0; i < 8; i++) m[b][i] = (b & (0x80 >> i)) ? 0xFFFFFFFFu : 0u;
  }
};
// twice.d[b] is b with every bit doubled, for magnified sprites.
struct DoubleTable {
  uint16_t d[256];
  constexpr DoubleTable() : d() {
    for (int b = 0; b < 256; b++) {
      int v = 0;
      for (int i = 0; i < 8; i++)
        if (b & (1 << i)) v |= 3 << (2 * i);
      d[b] = (uint16_t)v;
    }
  }
};
}  // namespace

static constexpr NibbleTable nibble{};
static constexpr DoubleTable twice{};
static constexpr ByteLanes bits{};

static inline px4 splat(uint32_t c) { return px4{c, c, c, c}; }
static inline px4 lanes(int n) {
  px4 m;
  memcpy(&m, nibble.m[n & 15], sizeof m);
  return m;
}
// The frame buffer promises no more than word alignment.
static inline px4 load4(const uint32_t *p) {
  px4 v;
  memcpy(&v, p, sizeof v);
  return v;
}
static inline void store4(uint32_t *p, px4 v) { memcpy(p, &v, sizeof v); }

static inline int reg(int n) { return vdp_reg[n] & 0xFF; }

// Sprite attributes: Y, X, pattern, then early clock and colour.
enum { SPRITE_END = 0xD0, SPRITE_EARLY_CLOCK = 0x80, SPRITE_COLOUR = 0x0F, EARLY_CLOCK_SHIFT = 32 };

// Entry `offset` / 16 of a 16-entry vector table: a nibble in bits 7..4
// is its own offset, which spares the shifts.
static inline px4 entry_at(const void *table, unsigned offset) {
  px4 v;
  memcpy(&v, static_cast<const char *>(table) + offset, sizeof v);
  return v;
}

// Eight pixels of a pattern byte in the colours of colour byte c (colors:
// the 16 colours as vectors): fg (high nibble) where a bit is set, bg
// elsewhere.
static inline void put8(uint32_t *p, unsigned pattern, unsigned c, const px4 *colors) {
  const px4 fg = entry_at(colors, c & 0xF0), bg = colors[c & 15];
  const px4 d = fg ^ bg;
  store4(p, bg ^ (d & entry_at(bits.m, pattern * 32)));
  store4(p + 4, bg ^ (d & entry_at(bits.m, pattern * 32 + 16)));
}

// The 16 nibbles of pixels in fg on bg.
static inline void blend_table(px4 *out, uint32_t fg, uint32_t bg) {
  const px4 b = splat(bg), d = splat(fg ^ bg);
  for (int n = 0; n < 16; n++) out[n] = b ^ (d & lanes(n));
}

// count is a multiple of 4.
static inline void fill(uint32_t *p, int count, uint32_t c) {
  const px4 v = splat(c);
  for (int i = 0; i < count; i += 4) store4(p + i, v);
}

// Graphics II splits the screen in thirds: register 4 bit 2 gives the base
// and bits 1..0 mask the third.
static inline int third_pattern_base(int line) {
  return ((reg(4) & 7) & ((line >> 6) | 4)) * 0x800;
}

// colors: the 16 colours as vectors, colour 0 the backdrop.
static void draw_graphics1(uint32_t *row, int line, const px4 *colors) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + (reg(4) & 7) * 0x800 + (line & 7);
  const uint8_t *colour_table = video_ram + reg(3) * 64;
#pragma GCC unroll 4
  for (int col = 0; col < 32; col++) {
    const unsigned name = names[col];
    const unsigned c = colour_table[name >> 3];
    put8(row + col * 8, patterns[name * 8], c, colors);
  }
}

static void draw_graphics2(uint32_t *row, int line, const px4 *colors) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + third_pattern_base(line) + (line & 7);
  const unsigned c3 = (unsigned)reg(3) * 64;
  const unsigned colour_mask = c3 | 0x3F;
  const unsigned colour_part = (((unsigned)line & 0xC0) << 5) | (c3 & 0x2000) | ((unsigned)line & 7);
#pragma GCC unroll 4
  for (int col = 0; col < 32; col++) {
    const unsigned name = names[col];
    const unsigned c = video_ram[(colour_part | (name * 8)) & colour_mask];
    put8(row + col * 8, patterns[name * 8], c, colors);
  }
}

static void draw_multicolour(uint32_t *row, int line, int pattern_base, const px4 *colors) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + pattern_base + ((line >> 2) & 7);
  for (int col = 0; col < 32; col++) {
    const unsigned c = patterns[names[col] * 8u];
    store4(row + col * 8, entry_at(colors, c & 0xF0));
    store4(row + col * 8 + 4, colors[c & 15]);
  }
}

// Forty 6-pixel columns, taken in pairs: two columns' twelve bits are three
// nibbles.
static void draw_text(uint32_t *row, int line, int pattern_base) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 40;
  const uint8_t *patterns = video_ram + pattern_base + (line & 7);
  const uint32_t fg = vdp_colors[reg(7) >> 4], bg = vdp_colors[reg(7) & 15];
  px4 nibbles[16];
  blend_table(nibbles, fg, bg);
  fill(row, 8, bg);
  for (int col = 0; col < 40; col += 2) {
    const unsigned bits = ((patterns[names[col] * 8u] & 0xFCu) << 4) | (patterns[names[col + 1] * 8u] >> 2);
    uint32_t *p = row + 8 + col * 6;
    store4(p, nibbles[bits >> 8]);
    store4(p + 4, nibbles[(bits >> 4) & 15]);
    store4(p + 8, nibbles[bits & 15]);
  }
  fill(row + 248, 8, bg);
}

static void draw_bars(uint32_t *row) {
  const uint32_t fg = vdp_colors[reg(7) >> 4], bg = vdp_colors[reg(7) & 15];
  // Two columns of four lit and two dark pixels: 1111 0011 1100.
  const px4 b = splat(bg), d = splat(fg ^ bg);
  const px4 q0 = b ^ (d & lanes(0xF)), q1 = b ^ (d & lanes(0x3)), q2 = b ^ (d & lanes(0xC));
  fill(row, 8, bg);
  for (int col = 0; col < 40; col += 2) {
    uint32_t *p = row + 8 + col * 6;
    store4(p, q0);
    store4(p + 4, q1);
    store4(p + 8, q2);
  }
  fill(row + 248, 8, bg);
}

// The row of a sprite as bits from bit 31 (leftmost pixel) down.
static uint32_t sprite_bits(const uint8_t *attr, int size, int r, int base) {
  int name = attr[2];
  switch (size) {
    case 0: return (uint32_t)video_ram[base + name * 8 + r] << 24;
    case 1: return (uint32_t)twice.d[video_ram[base + name * 8 + (r >> 1)]] << 16;
    case 2: {
      int a = base + (name & 0xFC) * 8 + r;
      return ((uint32_t)video_ram[a] << 24) | ((uint32_t)video_ram[a + 16] << 16);
    }
    default: {
      int a = base + (name & 0xFC) * 8 + (r >> 1);
      return ((uint32_t)twice.d[video_ram[a]] << 16) | twice.d[video_ram[a + 16]];
    }
  }
}

// The coincidence map: one bit per position from 32 left of the picture to
// 32 right of it, most significant bit leftmost within each word.
enum { MAP_WORDS = 6 };

// ORs a sprite row (bit 31 leftmost) in at position pos; true when it met
// bits already there.
static inline bool place(uint64_t *map, int pos, uint32_t bits) {
  const int w = pos >> 6, s = pos & 63;
  const uint64_t row = (uint64_t)bits << 32;
  const uint64_t left = row >> s, right = s != 0 ? row << (64 - s) : 0;
  const uint64_t hit = (map[w] & left) | (map[w + 1] & right);
  map[w] |= left;
  map[w + 1] |= right;
  return hit != 0;
}

// Byte 0 of an attribute entry read as a 32-bit word.
constexpr int Y_SHIFT = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 24 : 0;
typedef int32_t int4 __attribute__((vector_size(16)));

// The entries of the table that cover picture line `line`, as bits (bit e
// for entry e), and in *end the entries from the first end marker on. All
// 32 at once, four a vector: a Y of 224 and more is above the picture
// (Y - 256), and for a picture line one of 191 to 223 never covers it, so
// one modular distance tells both.
static uint32_t sprites_on_line(const uint8_t *attributes, int line, int height, uint32_t *end) {
  const px4 top = splat((uint32_t)(line - 1)), bytes = splat(0xFF);
  const int4 limit = {height, height, height, height};
  const px4 end_mark = splat(SPRITE_END), bit = {1, 2, 4, 8};
  px4 on = splat(0), ends = splat(0);
#pragma GCC unroll 8
  for (int k = 7; k >= 0; k--) {
    const px4 y = (load4(reinterpret_cast<const uint32_t *>(attributes) + 4 * k) >> Y_SHIFT) & bytes;
    // Distances are 0..255: a signed compare is as good and cheaper.
    const px4 hit = (px4)((int4)((top - y) & bytes) < limit);
    const px4 stop = (px4)(y == end_mark);
    // Lane i of group k stands for entry 4k + i: bit i of its nibble.
    on = (on << 4) | (hit & bit);
    ends = (ends << 4) | (stop & bit);
  }
  *end = ends[0] | ends[1] | ends[2] | ends[3];
  return on[0] | on[1] | on[2] | on[3];
}

// Draws the set bits of a sprite row (bit 31 leftmost) at row[0..width).
static inline void draw_sprite_row(uint32_t *row, uint32_t bits, int width, px4 colour) {
  for (int i = 0; i < width; i += 4) {
    const int n = (int)(bits >> (28 - i)) & 15;
    if (n == 0) continue;
    const px4 m = lanes(n);
    store4(row + i, (load4(row + i) & ~m) | (colour & m));
  }
}

static void draw_sprites(uint32_t *row, int line, const px4 *colors) {
  const uint8_t *attributes = video_ram + (reg(5) & 0x7F) * 0x80;
  const int pattern_base = (reg(6) & 7) * 0x800;
  const int size = reg(1) & (VDP_R1_SIZE16 | VDP_R1_MAGNIFY);
  const int height = size == 0 ? 8 : size == 3 ? 32 : 16;
  uint32_t end;
  uint32_t on = sprites_on_line(attributes, line, height, &end);
  if (end != 0) on &= (end & -end) - 1;  // entries before the first end marker

  uint64_t map[MAP_WORDS];
  int listed[5];
  uint32_t bits[5];
  int count = 0;
  bool check = (vdp_status & VDP_STATUS_COINCIDENCE) == 0;
  if (check && on != 0) memset(map, 0, sizeof map);

  for (; on != 0 && count < 5; on &= on - 1) {
    const int e = __builtin_ctz(on);
    const uint8_t *attr = attributes + e * 4;
    int y = attr[0];
    if (y >= 224) y -= 256;
    bits[count] = sprite_bits(attr, size, line - y - 1, pattern_base);
    if (check && (attr[3] & SPRITE_COLOUR) != 0) {
      // The map starts 32 positions left of the picture.
      int pos = attr[1] + ((attr[3] & SPRITE_EARLY_CLOCK) ? 0 : EARLY_CLOCK_SHIFT);
      if (place(map, pos, bits[count])) {
        vdp_status |= VDP_STATUS_COINCIDENCE;
        check = false;
      }
    }
    listed[count++] = e;
  }

  int drawn = count;
  if (count == 5) {
    drawn = 4;
    if ((vdp_status & (VDP_STATUS_FRAME | VDP_STATUS_FIFTH)) == 0)
      vdp_status = listed[4] | (vdp_status & VDP_STATUS_COINCIDENCE) | VDP_STATUS_FIFTH;
  } else if ((vdp_status & VDP_STATUS_FIFTH) == 0) {
    vdp_status = (vdp_status & ~VDP_STATUS_SPRITE) | (count ? listed[count - 1] : 0);
  }

  // Last to first, so the lowest-numbered sprite ends on top.
  for (int i = drawn - 1; i >= 0; i--) {
    const uint8_t *attr = attributes + listed[i] * 4;
    int colour = attr[3] & SPRITE_COLOUR;
    if (colour == 0) continue;
    int x = attr[1] - ((attr[3] & SPRITE_EARLY_CLOCK) ? EARLY_CLOCK_SHIFT : 0);
    if (x <= -height) continue;
    uint32_t b = bits[i];
    if (x >= 0 && x + height <= 256) {
      draw_sprite_row(row + x, b, height, colors[colour]);
    } else {
      const uint32_t c = colors[colour][0];
      while (b) {
        int k = __builtin_clz(b);
        int px = x + k;
        if (px >= 0 && px < 256) row[px] = c;
        b &= ~(0x80000000u >> k);
      }
    }
  }
}

void vdp_draw_line(uint32_t *row, int line) {
  const int r1 = reg(1);
  const int backdrop = reg(7) & 15;
  if ((r1 & VDP_R1_DISPLAY) == 0) {
    fill(row, 256, vdp_colors[backdrop]);
    return;
  }
  const int mode = ((r1 & VDP_R1_M2) ? 1 : 0) | ((r1 & VDP_R1_M1) ? 2 : 0) | ((reg(0) & VDP_R0_M3) ? 4 : 0);
  switch (mode) {
    case 2: draw_text(row, line, (reg(4) & 7) * 0x800); return;
    case 5: draw_text(row, line, third_pattern_base(line)); return;
    case 3: case 7: draw_bars(row); return;
    default: break;
  }
  // The coloured modes, with sprites. Colour 0 is transparent and shows
  // the backdrop.
  // The palette as vectors is kept between lines; it only changes with the
  // palette itself.
  static uint32_t palette[16];
  static px4 colors[16];
  if (memcmp(palette, vdp_colors, sizeof palette) != 0) {
    memcpy(palette, vdp_colors, sizeof palette);
    for (int c = 1; c < 16; c++) colors[c] = splat(palette[c]);
  }
  colors[0] = splat(vdp_colors[backdrop]);
  switch (mode) {
    case 0: draw_graphics1(row, line, colors); break;
    case 1: draw_multicolour(row, line, (reg(4) & 7) * 0x800, colors); break;
    case 4: draw_graphics2(row, line, colors); break;
    default: draw_multicolour(row, line, third_pattern_base(line), colors); break;  // 6
  }
  draw_sprites(row, line, colors);
}
