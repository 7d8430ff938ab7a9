// Scanline renderer: the background of the eight mode numbers, then the
// sprites of the line with their status bits. Runs 192 times a frame, so
// it allocates nothing and writes eight pixels (one pattern byte) at a
// time: the byte picks a row of lane masks from a 256-entry table, and two
// colour vectors are blended through it.
#include <cstring>

#include "video/vdp.h"

// On x86-64 ELF builds the renderer is compiled twice, for AVX2 (one
// 32-byte store per pattern byte) and for the baseline, and the loader
// picks one once at start-up. Elsewhere (Windows has no ifunc, ARM) the
// baseline alone. Everything it calls is inlined into it, so both copies
// are whole.
#if defined(__x86_64__) && defined(__ELF__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define RENDER_VARIANTS __attribute__((target_clones("avx2", "default"), flatten))
#endif
#endif
#ifndef RENDER_VARIANTS
#define RENDER_VARIANTS __attribute__((flatten))
#endif

// The 32-byte vectors below never cross a call: every helper is inlined, so
// the baseline's note that such arguments have no fixed ABI does not apply.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace {
// Eight frame-buffer pixels. The compiler's generic vectors map onto the
// host's SIMD registers (one AVX2 register, two SSE2 or NEON ones).
typedef uint32_t px8 __attribute__((vector_size(32)));
typedef uint8_t bytes32 __attribute__((vector_size(32)));
typedef uint32_t px4 __attribute__((vector_size(16)));

// bits.m[b] has lane i all ones when bit 7 - i of b is set: a pattern
// byte's eight lane masks in one row.
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

static constexpr DoubleTable twice{};
static constexpr ByteLanes bits{};

static inline px8 splat(uint32_t c) {
  const px4 one = {c, 0, 0, 0};
  return __builtin_shufflevector(one, one, 0, 0, 0, 0, 0, 0, 0, 0);
}
// The frame buffer promises no more than word alignment.
static inline px8 load8(const uint32_t *p) {
  px8 v;
  memcpy(&v, p, sizeof v);
  return v;
}
static inline void store8(uint32_t *p, const px8 &v) { memcpy(p, &v, sizeof v); }
static inline px8 lanes(unsigned pattern) { return load8(bits.m[pattern & 0xFF]); }
// The pixels of mask m in fg, the others in bg.
static inline px8 blend(const px8 &m, const px8 &fg, const px8 &bg) { return bg ^ ((fg ^ bg) & m); }

// All eight lanes ORed together.
static inline uint32_t or_lanes(const px8 &v) {
  const px4 h = __builtin_shufflevector(v, v, 0, 1, 2, 3) | __builtin_shufflevector(v, v, 4, 5, 6, 7);
  const px4 q = h | __builtin_shufflevector(h, h, 2, 3, 0, 1);
  return q[0] | q[1];
}

static inline int reg(int n) { return vdp_reg[n] & 0xFF; }

// Sprite attributes: Y, X, pattern, then early clock and colour.
enum { SPRITE_END = 0xD0, SPRITE_EARLY_CLOCK = 0x80, SPRITE_COLOUR = 0x0F, EARLY_CLOCK_SHIFT = 32 };

// count is a multiple of 8.
static inline void fill(uint32_t *p, int count, uint32_t c) {
  const px8 v = splat(c);
#pragma GCC unroll 8
  for (int i = 0; i < count; i += 8) store8(p + i, v);
}

// Graphics II splits the screen in thirds: register 4 bit 2 gives the base
// and bits 1..0 mask the third.
static inline int third_pattern_base(int line) {
  return ((reg(4) & 7) & ((line >> 6) | 4)) * 0x800;
}

// A colour byte's two colours as vectors: the background (low nibble) and
// its difference to the foreground (high nibble), so a column is one AND
// and one XOR. Colour 0 is the backdrop. One entry per colour byte, kept
// between lines: rebuilt when the palette changes, in part when the
// backdrop does.
namespace {
struct ColourPair {
  px8 bg, d;
};
}  // namespace
static ColourPair pairs[256];

static inline px8 column(const ColourPair &pair, unsigned pattern) { return pair.bg ^ (pair.d & lanes(pattern)); }

static inline void draw_graphics1(uint32_t *row, int line) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + (reg(4) & 7) * 0x800 + (line & 7);
  const uint8_t *colour_table = video_ram + reg(3) * 64;
#pragma GCC unroll 4
  for (int col = 0; col < 32; col++) {
    const unsigned name = names[col];
    store8(row + col * 8, column(pairs[colour_table[name >> 3]], patterns[name * 8]));
  }
}

static inline void draw_graphics2(uint32_t *row, int line) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + third_pattern_base(line) + (line & 7);
  const unsigned c3 = (unsigned)reg(3) * 64;
  const unsigned colour_mask = c3 | 0x3F;
  const unsigned colour_part = (((unsigned)line & 0xC0) << 5) | (c3 & 0x2000) | ((unsigned)line & 7);
#pragma GCC unroll 4
  for (int col = 0; col < 32; col++) {
    const unsigned name = names[col];
    store8(row + col * 8, column(pairs[video_ram[(colour_part | (name * 8)) & colour_mask]], patterns[name * 8]));
  }
}

static inline void draw_multicolour(uint32_t *row, int line, int pattern_base) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + pattern_base + ((line >> 2) & 7);
  // Four pixels of the high nibble's colour, four of the low one's.
  const px8 left = lanes(0xF0);
#pragma GCC unroll 4
  for (int col = 0; col < 32; col++) {
    const ColourPair &pair = pairs[patterns[names[col] * 8u]];
    store8(row + col * 8, pair.bg ^ (pair.d & left));
  }
}

// Forty 6-pixel columns, taken four at a time: their 24 bits are three
// bytes.
static inline void draw_text(uint32_t *row, int line, int pattern_base) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 40;
  const uint8_t *patterns = video_ram + pattern_base + (line & 7);
  const uint32_t fg = vdp_colors[reg(7) >> 4], bg = vdp_colors[reg(7) & 15];
  const px8 f = splat(fg), b = splat(bg);
  fill(row, 8, bg);
#pragma GCC unroll 2
  for (int col = 0; col < 40; col += 4) {
    const unsigned bits24 = ((patterns[names[col] * 8u] & 0xFCu) << 16) |
                            ((patterns[names[col + 1] * 8u] & 0xFCu) << 10) |
                            ((patterns[names[col + 2] * 8u] & 0xFCu) << 4) | (patterns[names[col + 3] * 8u] >> 2);
    uint32_t *p = row + 8 + col * 6;
    store8(p, blend(lanes(bits24 >> 16), f, b));
    store8(p + 8, blend(lanes(bits24 >> 8), f, b));
    store8(p + 16, blend(lanes(bits24), f, b));
  }
  fill(row + 248, 8, bg);
}

static inline void draw_bars(uint32_t *row) {
  const uint32_t fg = vdp_colors[reg(7) >> 4], bg = vdp_colors[reg(7) & 15];
  // Columns of four lit and two dark pixels: 11110011 11001111 00111100.
  const px8 f = splat(fg), b = splat(bg);
  const px8 q0 = blend(lanes(0xF3), f, b), q1 = blend(lanes(0xCF), f, b), q2 = blend(lanes(0x3C), f, b);
  fill(row, 8, bg);
#pragma GCC unroll 10
  for (int col = 0; col < 40; col += 4) {
    uint32_t *p = row + 8 + col * 6;
    store8(p, q0);
    store8(p + 8, q1);
    store8(p + 16, q2);
  }
  fill(row + 248, 8, bg);
}

// The row of a sprite as bits from bit 31 (leftmost pixel) down.
static inline uint32_t sprite_bits(const uint8_t *attr, int size, int r, int base) {
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

// The coloured sprite pixels of a line so far: one bit per position from
// 32 left of the picture to 32 right of it, most significant bit leftmost
// within each word. It hides what later sprites would draw over them and
// tells when two meet.
enum { MAP_WORDS = 6 };

// Byte 0 of an attribute entry read as a 32-bit word.
constexpr int Y_SHIFT = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 24 : 0;

// The entries of the table that cover picture line `line`, as bits (bit e
// for entry e), and in *end the entries from the first end marker on. All
// 32 Ys in one vector of bytes: a Y of 224 and more is above the picture
// (Y - 256), and for a picture line one of 191 to 223 never covers it, so
// one modular distance tells both; height is a power of two.
static inline uint32_t sprites_on_line(const uint8_t *attributes, int line, int height, uint32_t *end) {
  const uint32_t *words = reinterpret_cast<const uint32_t *>(attributes);
  // Byte k of lane i: the Y of entry 8k + i.
  const px8 low = splat(0xFF);
  const px8 y = ((load8(words) >> Y_SHIFT) & low) | (((load8(words + 8) >> Y_SHIFT) & low) << 8) |
                (((load8(words + 16) >> Y_SHIFT) & low) << 16) | ((load8(words + 24) >> Y_SHIFT) << 24);
  const bytes32 distance = (bytes32)splat(0x01010101u * (uint8_t)(line - 1)) - (bytes32)y;
  const bytes32 hit = (bytes32)((distance & (bytes32)splat(0x01010101u * (uint8_t)-height)) == (bytes32)splat(0));
  const bytes32 stop = (bytes32)((bytes32)y == (bytes32)splat(0x01010101u * SPRITE_END));
  // Bit i of each byte of lane i.
  const bytes32 weight = (bytes32)px8{0x01010101, 0x02020202, 0x04040404, 0x08080808,
                                      0x10101010, 0x20202020, 0x40404040, 0x80808080};
  *end = or_lanes((px8)(stop & weight));
  return or_lanes((px8)(hit & weight));
}

// Draws the set bits of `wide` (bit 63: the first pixel of 8-pixel column
// `col`) in colour. Each piece goes through the background's own columns,
// read and written whole: an unaligned access over two of them would wait
// for both stores to land. Columns off the picture are skipped; a fixed
// count keeps the branches predictable.
static inline void draw_sprite_row(uint32_t *row, int col, uint64_t wide, int columns, const px8 &colour) {
#pragma GCC unroll 5
  for (int k = 0; k < columns; k++, col++, wide <<= 8) {
    if ((unsigned)col >= 32) continue;
    uint32_t *p = row + col * 8;
    store8(p, blend(lanes((unsigned)(wide >> 56)), colour, load8(p)));
  }
}

// size: register 1's size and magnification bits, a constant in each copy.
template <int size>
static inline void draw_sprites(uint32_t *row, int line, const px8 *colors) {
  const uint8_t *attributes = video_ram + (reg(5) & 0x7F) * 0x80;
  const int pattern_base = (reg(6) & 7) * 0x800;
  constexpr int height = size == 0 ? 8 : size == 3 ? 32 : 16;
  uint32_t end;
  uint32_t on = sprites_on_line(attributes, line, height, &end);
  if (end != 0) on &= (end & -end) - 1;  // entries before the first end marker
  if (on == 0) {
    if ((vdp_status & VDP_STATUS_FIFTH) == 0) vdp_status &= ~VDP_STATUS_SPRITE;
    return;
  }

  // Five sprites at most are looked at, first to last: four drawn, the
  // fifth only counted. A sprite only draws where none before it did, so
  // the lowest-numbered one is on top. Transparent ones (colour 0) count
  // but neither draw nor meet others.
  uint64_t map[MAP_WORDS] = {};
  bool check = (vdp_status & VDP_STATUS_COINCIDENCE) == 0;
  constexpr int columns = height / 8 + 1;
  int count = 0, last = 0;
  for (; on != 0 && count < 5; on &= on - 1, count++) {
    last = __builtin_ctz(on);
    const uint8_t *attr = attributes + last * 4;
    const int colour = attr[3] & SPRITE_COLOUR;
    if (colour == 0) continue;
    const uint32_t bits = sprite_bits(attr, size, (line - 1 - attr[0]) & 0xFF, pattern_base);
    // Map position: the map starts 32 positions left of the picture.
    const int pos = attr[1] + ((attr[3] & SPRITE_EARLY_CLOCK) ? 0 : EARLY_CLOCK_SHIFT);
    // The row from its 8-pixel column on, and the map over the same 64
    // positions (s is a multiple of 8; the double shifts stay in range
    // when it is 0).
    const uint64_t wide = ((uint64_t)bits << 32) >> (pos & 7);
    const int w = pos >> 6, s = pos & 0x38;
    const uint64_t before = (map[w] << s) | ((map[w + 1] >> 1) >> (63 - s));
    if (check && (wide & before) != 0) {
      vdp_status |= VDP_STATUS_COINCIDENCE;
      check = false;
    }
    if (count == 4) continue;
    map[w] |= wide >> s;
    map[w + 1] |= (wide << 1) << (63 - s);
    draw_sprite_row(row, (pos >> 3) - 4, wide & ~before, columns, colors[colour]);
  }

  if (count == 5) {
    if ((vdp_status & (VDP_STATUS_FRAME | VDP_STATUS_FIFTH)) == 0)
      vdp_status = last | (vdp_status & VDP_STATUS_COINCIDENCE) | VDP_STATUS_FIFTH;
  } else if ((vdp_status & VDP_STATUS_FIFTH) == 0) {
    vdp_status = (vdp_status & ~VDP_STATUS_SPRITE) | last;
  }
}

RENDER_VARIANTS void vdp_draw_line(uint32_t *row, int line) {
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
  static uint32_t palette[16], shown_backdrop;
  static px8 colors[16];  // the palette as vectors
  const uint32_t backdrop_pixel = vdp_colors[backdrop];
  if (or_lanes((load8(palette) ^ load8(vdp_colors)) | (load8(palette + 8) ^ load8(vdp_colors + 8))) != 0) {
    memcpy(palette, vdp_colors, sizeof palette);
    for (int c = 0; c < 16; c++) colors[c] = splat(palette[c]);
    colors[0] = splat(backdrop_pixel);
    for (int c = 0; c < 256; c++) pairs[c] = {colors[c & 15], colors[c >> 4] ^ colors[c & 15]};
    shown_backdrop = backdrop_pixel;
  } else if (backdrop_pixel != shown_backdrop) {
    // Only the colour bytes with a nibble 0 change.
    const px8 b = colors[0] = splat(backdrop_pixel);
    shown_backdrop = backdrop_pixel;
    for (int n = 0; n < 16; n++) {
      pairs[n * 16] = {b, colors[n] ^ b};
      pairs[n].d = b ^ colors[n];
    }
  }
  switch (mode) {
    case 0: draw_graphics1(row, line); break;
    case 1: draw_multicolour(row, line, (reg(4) & 7) * 0x800); break;
    case 4: draw_graphics2(row, line); break;
    default: draw_multicolour(row, line, third_pattern_base(line)); break;  // 6
  }
  switch (r1 & (VDP_R1_SIZE16 | VDP_R1_MAGNIFY)) {
    case 0: draw_sprites<0>(row, line, colors); break;
    case 1: draw_sprites<1>(row, line, colors); break;
    case 2: draw_sprites<2>(row, line, colors); break;
    default: draw_sprites<3>(row, line, colors); break;
  }
}
