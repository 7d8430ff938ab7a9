// Scanline renderer: the background of the eight mode numbers, then the
// sprites of the line with their status bits. Runs 192 times a frame, so
// it allocates nothing and writes eight pixels (one pattern byte) at a
// time: the byte picks a row of lane masks from a 256-entry table, and two
// colour vectors are blended through it.
#include <cstring>
#include <type_traits>
// The AVX2 copy is built for x86-64 ELF hosts (GCC or clang).
#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__)
#define WIDE_COPY 1
#include <immintrin.h>
#else
#define WIDE_COPY 0
#endif

#include "video/present.h"
#include "video/vdp.h"

// The 32-byte vectors below never cross a call: every helper is inlined, so
// the baseline's note that such arguments have no fixed ABI does not apply.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wunknown-warning-option"
#endif
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {
// Eight frame-buffer pixels, the unit of all drawing: one vector where the
// host has 32-byte ones (AVX2), two 16-byte halves elsewhere (SSE2, NEON).
// The renderer is written once over either and built for each.
typedef uint32_t px8 __attribute__((vector_size(32)));
typedef uint32_t px4 __attribute__((vector_size(16)));
struct Halves {
  px4 lo, hi;
};
inline Halves operator^(const Halves &a, const Halves &b) { return {a.lo ^ b.lo, a.hi ^ b.hi}; }
inline Halves operator&(const Halves &a, const Halves &b) { return {a.lo & b.lo, a.hi & b.hi}; }
inline Halves operator|(const Halves &a, const Halves &b) { return {a.lo | b.lo, a.hi | b.hi}; }

// bits.m[b] has lane i all ones when bit 7 - i of b is set: a pattern
// byte's eight lane masks in one row.
struct ByteLanes {
  alignas(32) uint32_t m[256][8];
  constexpr ByteLanes() : m() {
    for (int b = 0; b < 256; b++)
      for (int i = 0; i < 8; i++) m[b][i] = (b & (0x80 >> i)) ? 0xFFFFFFFFu : 0u;
  }
};
// picks.p[b] has byte i 1 when bit 7 - i of b is set: which of a colour
// pair's two entries each of a pattern byte's eight pixels takes.
struct BytePicks {
  alignas(8) uint8_t p[256][8];
  constexpr BytePicks() : p() {
    for (int b = 0; b < 256; b++)
      for (int i = 0; i < 8; i++) p[b][i] = (b & (0x80 >> i)) ? 1 : 0;
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
static constexpr BytePicks picks{};

// The frame buffer promises no more than word alignment. The halves go
// one by one, or the compiler takes them through the stack.
template <class V>
static inline V load8(const uint32_t *p) {
  V v;
  if constexpr (std::is_same_v<V, px8>) {
    memcpy(&v, p, sizeof v);
  } else {
    memcpy(&v.lo, p, sizeof v.lo);
    memcpy(&v.hi, p + 4, sizeof v.hi);
  }
  return v;
}
template <class V>
static inline void store8(uint32_t *p, const V &v) {
  if constexpr (std::is_same_v<V, px8>) {
    memcpy(p, &v, sizeof v);
  } else {
    memcpy(p, &v.lo, sizeof v.lo);
    memcpy(p + 4, &v.hi, sizeof v.hi);
  }
}
template <class V>
static inline V splat(uint32_t c) {
  if constexpr (std::is_same_v<V, px8>) {
    const px4 one = {c, 0, 0, 0};
    return __builtin_shufflevector(one, one, 0, 0, 0, 0, 0, 0, 0, 0);
  } else {
    const px4 four = {c, c, c, c};
    return {four, four};
  }
}
// Eight pixels of one colour (or of a difference of two): the halves are
// alike, so one is read for both.
template <class V>
static inline V load_colour(const uint32_t *p) {
  if constexpr (std::is_same_v<V, px8>) {
    return load8<V>(p);
  } else {
    px4 half;
    memcpy(&half, p, sizeof half);
    return {half, half};
  }
}
template <class V>
static inline V lanes(unsigned pattern) {
  return load8<V>(bits.m[pattern & 0xFF]);
}
// The pixels of mask m in fg, the others in bg.
template <class V>
static inline V blend(const V &m, const V &fg, const V &bg) {
  return bg ^ ((fg ^ bg) & m);
}

// All lanes ORed together.
static inline uint32_t or_lanes(const px4 &v) {
  const px4 h = v | __builtin_shufflevector(v, v, 2, 3, 0, 1);
  return h[0] | h[1];
}
static inline uint32_t or_lanes(const px8 &v) {
  return or_lanes(__builtin_shufflevector(v, v, 0, 1, 2, 3) | __builtin_shufflevector(v, v, 4, 5, 6, 7));
}
static inline uint32_t or_lanes(const Halves &v) { return or_lanes(v.lo | v.hi); }

static inline int reg(int n) { return vdp_reg[n] & 0xFF; }

// Sprite attributes: Y, X, pattern, then early clock and colour.
enum { SPRITE_END = 0xD0, SPRITE_EARLY_CLOCK = 0x80, SPRITE_COLOUR = 0x0F, EARLY_CLOCK_SHIFT = 32 };
// Lines a sprite covers, by register 1's size and magnification bits.
static constexpr int sprite_height(int size) { return size == 0 ? 8 : size == 3 ? 32 : 16; }

// count is a multiple of 8.
template <class V>
static inline void fill(uint32_t *p, int count, uint32_t c) {
  const V v = splat<V>(c);
#pragma GCC unroll 8
  for (int i = 0; i < count; i += 8) store8(p + i, v);
}

// Graphics II splits the screen in thirds: register 4 bit 2 gives the base
// and bits 1..0 mask the third.
static inline int third_pattern_base(int line) {
  return ((reg(4) & 7) & ((line >> 6) | 4)) * 0x800;
}
// The mode numbers of forty 6-pixel characters a row (bit 1: M1), the
// second with a pattern table per third.
static inline bool text_mode(int mode) { return mode == 2 || mode == 5; }

// A colour byte's two colours, kept between lines: rebuilt when the
// palette changes, in part when the backdrop does. Colour 0 is the
// backdrop. The AVX2 copy permutes each pixel out of the pair itself:
// duo[2c] the background (low nibble), duo[2c + 1] the foreground, read as
// a whole vector whose six other lanes (the next entries, the padding) go
// unused. The halves have no such permute; they keep the background and
// its difference to the foreground as vectors, so a column is one AND and
// one XOR.
namespace {
struct ColourPair {
  alignas(32) uint32_t bg[8];
  uint32_t d[8];
};
}  // namespace
alignas(64) static uint32_t duo[2 * 256 + 6];
static ColourPair pairs[256];
// The 16 colours, each as eight pixels, colour 0 the backdrop (which the
// AVX2 copy reads, and so updates, only when the palette changes); and the
// palette and backdrop pixel they were made from.
alignas(32) static uint32_t colours[16][8];
static uint32_t palette[16], shown_backdrop;

// Lane i of `data` picked by the lane of bit 7 - i of the pattern byte: 1
// when it is set, 0 if not. One widening load of the picks (which the
// compilers do not make of a generic conversion) and one permute. Only the
// AVX2 copy uses it (the result goes through memory in name only: a vector
// returned across the target change would change the ABI); elsewhere it is
// a plain stand-in.
#if WIDE_COPY
__attribute__((target("avx2"))) static inline void pick(px8 *out, const px8 &data, size_t pattern) {
  const __m256i lanes = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(picks.p[pattern & 0xFF])));
  *out = (px8)_mm256_permutevar8x32_epi32((__m256i)data, lanes);
}
#else
static inline void pick(px8 *out, const px8 &data, size_t pattern) {
  for (int i = 0; i < 8; i++) (*out)[i] = data[picks.p[pattern & 0xFF][i]];
}
#endif

// The eight pixels of a pattern byte in the colours of colour byte
// `colour`.
template <class V>
static inline V column(size_t colour, size_t pattern) {
  if constexpr (std::is_same_v<V, px8>) {
    px8 v;
    pick(&v, load8<px8>(duo + 2 * colour), pattern);
    return v;
  } else {
    const ColourPair &pair = pairs[colour];
    return load_colour<V>(pair.bg) ^ (load_colour<V>(pair.d) & lanes<V>(pattern));
  }
}
template <class V>
static inline void set_pair(int c) {
  if constexpr (std::is_same_v<V, px8>) {
    duo[2 * c] = colours[c & 15][0];
    duo[2 * c + 1] = colours[c >> 4][0];
  } else {
    const V bg = load_colour<V>(colours[c & 15]);
    store8(pairs[c].bg, bg);
    store8(pairs[c].d, load_colour<V>(colours[c >> 4]) ^ bg);
  }
}

// Two colours made ready to paint pattern bytes with (the text modes').
template <class V>
struct Ink;
template <>
struct Ink<px8> {
  px8 two;  // the background in lane 0, the foreground in lane 1
  Ink(uint32_t fg, uint32_t bg) : two(px8{bg, fg}) {}
  px8 paint(size_t pattern) const {
    px8 v;
    pick(&v, two, pattern);
    return v;
  }
};
template <>
struct Ink<Halves> {
  Halves f, b;
  Ink(uint32_t fg, uint32_t bg) : f(splat<Halves>(fg)), b(splat<Halves>(bg)) {}
  Halves paint(size_t pattern) const { return blend(lanes<Halves>(pattern), f, b); }
};

// A table's address as one register, so that a byte of it is one load
// with the name scaled in the address (the compilers otherwise keep the
// base of video memory and the offset apart, and add them per column).
static inline const uint8_t *in_register(const uint8_t *p) {
  __asm__("" : "+r"(p));
  return p;
}

// Drawing a line to keep notes which 64-byte blocks of its pattern table
// it read (bit b: names 8b to 8b + 7), so that a pattern written forgets
// only the lines showing one of them.
template <class V, bool note>
static inline void draw_graphics1(uint32_t *row, int line, uint32_t *blocks) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = in_register(video_ram + (reg(4) & 7) * 0x800 + (line & 7));
  const uint8_t *colour_table = in_register(video_ram + reg(3) * 64);
#pragma GCC unroll 4
  for (int col = 0; col < 32; col++) {
    const size_t name = names[col];  // wide, so the address scale does the * 8
    const size_t colour = colour_table[name >> 3], pattern = patterns[name * 8];
    store8(row + col * 8, column<V>(colour, pattern));
    if constexpr (note) *blocks |= 1u << (name >> 3);
  }
}

template <class V, bool note>
static inline void draw_graphics2(uint32_t *row, int line, uint32_t *blocks) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = in_register(video_ram + third_pattern_base(line) + (line & 7));
  const size_t c3 = (size_t)reg(3) * 64;
  const size_t colour_mask = c3 | 0x3F;
  // The name lands in bits 10..3, clear in the rest, so adding is ORing.
  const size_t colour_part = (((size_t)line & 0xC0) << 5) | (c3 & 0x2000) | ((size_t)line & 7);
#pragma GCC unroll 4
  for (int col = 0; col < 32; col++) {
    const size_t name = names[col];
    const size_t colour = video_ram[(colour_part + name * 8) & colour_mask], pattern = patterns[name * 8];
    store8(row + col * 8, column<V>(colour, pattern));
    if constexpr (note) *blocks |= 1u << (name >> 3);
  }
}

template <class V, bool note>
static inline void draw_multicolour(uint32_t *row, int line, int pattern_base, uint32_t *blocks) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = in_register(video_ram + pattern_base + ((line >> 2) & 7));
  // Four pixels of the high nibble's colour, four of the low one's.
#pragma GCC unroll 4
  for (int col = 0; col < 32; col++) {
    const size_t name = names[col], colour = patterns[name * 8];
    store8(row + col * 8, column<V>(colour, 0xF0));
    if constexpr (note) *blocks |= 1u << (name >> 3);
  }
}

// The text modes' characters: the six pixels of each of the 64 patterns
// (bits 7..2 of a pattern byte) in the last colours asked for, as eight
// pixels the last two of which are background; at first all colour 0
// (pixel value 0), as the table starts. A character is then one load and
// one store, whose last two pixels the next character's store covers.
// One flat array: a glyph is reached from its pattern bits by the address
// scale alone.
alignas(32) static uint32_t glyphs[64 * 8];
static uint32_t glyph_fg, glyph_bg;

// Forty 6-pixel columns between borders of eight; the pattern blocks read
// are noted as the coloured modes note them.
template <class V, bool note>
static inline void draw_text(uint32_t *row, int line, int pattern_base, uint32_t *blocks) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 40;
  const uint8_t *patterns = in_register(video_ram + pattern_base + (line & 7));
  const uint32_t fg = vdp_colors[reg(7) >> 4], bg = vdp_colors[reg(7) & 15];
  if (fg != glyph_fg || bg != glyph_bg) {
    const Ink<V> ink(fg, bg);
#pragma GCC unroll 8
    for (int g = 0; g < 64; g++) store8(glyphs + g * 8, ink.paint((size_t)g << 2));
    glyph_fg = fg;
    glyph_bg = bg;
  }
  fill<V>(row, 8, bg);
  uint32_t *p = row + 8;
  // Bits 7..2 of a pattern are four times its glyph's number: the address
  // scale makes the glyph's offset of them.
  if constexpr (std::is_same_v<V, px8>) {
#pragma GCC unroll 8
    for (int col = 0; col < 40; col++, p += 6) {
      const size_t name = names[col];
      const size_t four_times = patterns[name * 8] & 0xFC;
      store8(p, load8<V>(glyphs + four_times * 2));
      if constexpr (note) *blocks |= 1u << (name >> 3);
    }
  } else {
    // Two characters are three 16-byte stores, the middle one made of the
    // first's last two pixels and the second's first two: fewer stores
    // than a character's eight pixels at a time.
    typedef uint64_t two_pixels __attribute__((vector_size(16)));
#pragma GCC unroll 4
    for (int col = 0; col < 40; col += 2, p += 12) {
      const size_t name_a = names[col], name_b = names[col + 1];
      const uint32_t *a = glyphs + (patterns[name_a * 8] & 0xFC) * (size_t)2;
      const uint32_t *b = glyphs + (patterns[name_b * 8] & 0xFC) * (size_t)2;
      if constexpr (note) *blocks |= 1u << (name_a >> 3) | 1u << (name_b >> 3);
      uint64_t a45, b01;
      memcpy(&a45, a + 4, sizeof a45);
      memcpy(&b01, b, sizeof b01);
      const two_pixels middle = {a45, b01};
      memcpy(p, a, 16);
      memcpy(p + 4, &middle, sizeof middle);
      memcpy(p + 8, b + 2, 16);
    }
  }
  fill<V>(row + 248, 8, bg);  // after the last character, which may run into it
}

template <class V>
static inline void draw_bars(uint32_t *row) {
  const uint32_t fg = vdp_colors[reg(7) >> 4], bg = vdp_colors[reg(7) & 15];
  // Columns of four lit and two dark pixels: 11110011 11001111 00111100.
  const V f = splat<V>(fg), b = splat<V>(bg);
  const V q0 = blend(lanes<V>(0xF3), f, b), q1 = blend(lanes<V>(0xCF), f, b), q2 = blend(lanes<V>(0x3C), f, b);
  fill<V>(row, 8, bg);
#pragma GCC unroll 10
  for (int col = 0; col < 40; col += 4) {
    uint32_t *p = row + 8 + col * 6;
    store8(p, q0);
    store8(p + 8, q1);
    store8(p + 16, q2);
  }
  fill<V>(row + 248, 8, bg);
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
// 32 at once: a Y of 224 and more is above the picture (Y - 256), and for a
// picture line one of 191 to 223 never covers it, so one modular distance
// tells both; height is a power of two.
#if WIDE_COPY
// The AVX2 copy: the 32 Ys as the bytes of one vector in entry order, their
// dwords masked to the low byte and packed twice (a pack works within each
// 16-byte half, which leaves the groups of four entries out of order, put
// back by one permute); a compare's byte signs are then the entry bits.
__attribute__((target("avx2"))) static inline uint32_t sprites_on_line_wide(const uint8_t *attributes, int line,
                                                                            int height, uint32_t *end) {
  const __m256i *entries = reinterpret_cast<const __m256i *>(attributes);
  const __m256i low = _mm256_set1_epi32(0xFF);
  const __m256i words0 = _mm256_packus_epi32(_mm256_and_si256(_mm256_loadu_si256(entries), low),
                                             _mm256_and_si256(_mm256_loadu_si256(entries + 1), low));
  const __m256i words1 = _mm256_packus_epi32(_mm256_and_si256(_mm256_loadu_si256(entries + 2), low),
                                             _mm256_and_si256(_mm256_loadu_si256(entries + 3), low));
  const __m256i y = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words0, words1),
                                                _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
  const __m256i distance = _mm256_sub_epi8(_mm256_set1_epi8((char)(line - 1)), y);
  const __m256i hit =
      _mm256_cmpeq_epi8(_mm256_and_si256(distance, _mm256_set1_epi8((char)-height)), _mm256_setzero_si256());
  *end = (uint32_t)_mm256_movemask_epi8(_mm256_cmpeq_epi8(y, _mm256_set1_epi8((char)SPRITE_END)));
  return (uint32_t)_mm256_movemask_epi8(hit);
}
#endif

template <class V>
static inline uint32_t sprites_on_line(const uint8_t *attributes, int line, int height, uint32_t *end) {
  if constexpr (std::is_same_v<V, px8>) {
#if WIDE_COPY
    return sprites_on_line_wide(attributes, line, height, end);
#endif
  } else {
    const uint32_t *words = reinterpret_cast<const uint32_t *>(attributes);
    // Four entries a vector of 32-bit lanes, which every SIMD unit has.
    const px4 top = {(uint32_t)line - 1, (uint32_t)line - 1, (uint32_t)line - 1, (uint32_t)line - 1};
    const px4 low = {0xFF, 0xFF, 0xFF, 0xFF}, far = {(uint32_t)-height, (uint32_t)-height, (uint32_t)-height,
                                                     (uint32_t)-height};
    const px4 end_mark = {SPRITE_END, SPRITE_END, SPRITE_END, SPRITE_END}, bit = {1, 2, 4, 8};
    px4 on = {}, ends = {};
#pragma GCC unroll 8
    for (int k = 7; k >= 0; k--) {
      px4 y;
      memcpy(&y, words + 4 * k, sizeof y);
      y = (y >> Y_SHIFT) & low;
      const px4 hit = (px4)((((top - y) & low) & far) == 0);
      const px4 stop = (px4)(y == end_mark);
      // Lane i of group k stands for entry 4k + i: bit i of its nibble.
      on = (on << 4) | (hit & bit);
      ends = (ends << 4) | (stop & bit);
    }
    *end = or_lanes(ends);
    return or_lanes(on);
  }
}

// Draws the set bits of `wide` (bit 63: the first pixel of 8-pixel column
// `col`) in colour. Each piece goes through the background's own columns,
// read and written whole: an unaligned access over two of them would wait
// for both stores to land. Columns off the picture are skipped; a fixed
// count keeps the branches predictable.
template <class V>
static inline void draw_sprite_row(uint32_t *row, int col, uint64_t wide, int columns, const V &colour) {
#pragma GCC unroll 5
  for (int k = 0; k < columns; k++, col++, wide <<= 8) {
    if ((unsigned)col >= 32) continue;
    uint32_t *p = row + col * 8;
    store8(p, blend(lanes<V>((unsigned)(wide >> 56)), colour, load8<V>(p)));
  }
}

// ---- kept lines
// The background of the coloured modes changes far less often than it is
// drawn, so each picture line's decoded background is kept and copied back
// while nothing it was made from has changed: the registers that pick the
// mode, tables and backdrop, the palette, and the video memory it reads
// (data-port writes mark 64-byte blocks in vdp_dirty; a pattern or
// Graphics II colour block written forgets only the lines showing one of
// its eight names). The same goes for
// the line's sprites, kept as a plan: the columns they draw and the status
// bits they give, made from the attribute and sprite pattern tables. A line
// whose kept copy was made but never used before it changed waits longer
// and longer before being kept again, so a picture rewritten every frame
// pays almost nothing for the copies.
int32_t vdp_keep_lines = 1;
enum { LINES = 192, LINE_WORDS = LINES / 64, MAX_WAIT = 31, MAX_REST = 127 };

namespace {
// Per line: made since it was last changed but not yet used, lines still to
// wait before keeping it again, and the wait after the next waste.
struct Keeping {
  uint8_t unused, skip, wait;
};
// A line's sprites: the `count` rows drawn, each as draw_sprite_row takes
// it, and the status they give: the coincidence and fifth-sprite bits and
// the last sprite looked at.
struct SpritePlan {
  uint64_t shown[4];
  int8_t col[4];
  uint8_t colour[4];
  uint8_t count, status;
};
}  // namespace

alignas(32) static uint32_t kept[LINES][256];
// Per block of a pattern table, the kept lines that read it (bits as in
// kept_valid). A line's bits there are renewed when it is kept, so a set
// bit may only be stale for a line no longer kept, which at worst forgets
// a line early.
static uint64_t block_readers[32][LINE_WORDS];
static uint64_t kept_valid[LINE_WORDS], plan_valid[LINE_WORDS];
static uint64_t kept_key = ~(uint64_t)0;
static uint32_t plan_key = ~0u;
static Keeping kept_keeping[LINES], plan_keeping[LINES];
static SpritePlan plans[LINES];
// A line whose background and plan are both reused frame after frame keeps
// its sprites drawn into its copy (bits as in kept_valid), after its plan
// has been reused with it COMPOSE_AFTER times (`plan_uses`): sprites that
// move every few frames would otherwise cost a fresh background each time.
// Such a copy goes with its plan.
enum { COMPOSE_AFTER = 2 };
static uint64_t composed[LINE_WORDS];
// Lines whose row in the frame buffer shows exactly their kept copy, as
// the last drawing left it: reused whole, such a line is not copied again.
// Only the frame buffer's own row for a line counts; nothing but the
// renderer writes there (hosts and captures only read it), and anything
// else that does must call vdp_memory_changed.
static uint64_t row_holds[LINE_WORDS];
static uint8_t plan_uses[LINES];

// The sprite attribute table as the valid plans were made from it: a write
// there forgets only the plans of the lines the changed entries covered or
// cover.
static uint8_t planned_attributes[128];
static inline const uint8_t *attribute_table(void) { return video_ram + (reg(5) & 0x7F) * 0x80; }
// Forgets the plans of the lines in `lines` (bits as in plan_valid), and
// their copies that have those plans' sprites drawn in.
static inline void forget_plans_of(const uint64_t *lines) {
  for (int w = 0; w < LINE_WORDS; w++) {
    plan_valid[w] &= ~lines[w];
    kept_valid[w] &= ~(composed[w] & lines[w]);
    composed[w] &= ~lines[w];
  }
}
static inline void forget_plans(void) {
  static const uint64_t all[LINE_WORDS] = {~(uint64_t)0, ~(uint64_t)0, ~(uint64_t)0};
  forget_plans_of(all);
  memcpy(planned_attributes, attribute_table(), sizeof planned_attributes);
}
// Picture lines from .. to - 1 (to at most 256), as bits.
static inline void add_line_run(uint64_t *lines, int from, int to) {
  for (int w = 0; w < LINE_WORDS; w++) {
    const int lo = from > 64 * w ? from : 64 * w, hi = to < 64 * w + 64 ? to : 64 * w + 64;
    if (lo < hi) lines[w] |= (hi - lo == 64 ? ~(uint64_t)0 : ((uint64_t)1 << (hi - lo)) - 1) << (lo - 64 * w);
  }
}
// The picture lines a sprite at Y byte y covers: those whose row in it,
// (line - 1 - y) & 0xFF, is below its height (lines y + 1 on, round 256).
static inline void add_sprite_lines(uint64_t *lines, int y, int height) {
  const int from = (y + 1) & 0xFF, to = from + height;
  add_line_run(lines, from, to < 256 ? to : 256);
  if (to > 256) add_line_run(lines, 0, to - 256);
}
// After writes to the attribute table: the plans of the lines where a
// changed entry was or is. An end marker come or gone moves every entry
// after it in or out of sight, so all plans go.
static void forget_moved_sprites(void) {
  const uint8_t *now = attribute_table();
  const int size = reg(1) & (VDP_R1_SIZE16 | VDP_R1_MAGNIFY);
  const int height = sprite_height(size);
  uint64_t lines[LINE_WORDS] = {};
  for (int e = 0; e < 128; e += 4) {
    const uint8_t *was = planned_attributes + e;
    if (memcmp(was, now + e, 4) == 0) continue;
    if (was[0] == SPRITE_END || now[e] == SPRITE_END) {
      forget_plans();
      return;
    }
    add_sprite_lines(lines, was[0], height);
    add_sprite_lines(lines, now[e], height);
  }
  forget_plans_of(lines);
  memcpy(planned_attributes, now, sizeof planned_attributes);
}
static uint32_t palette_serial;  // palette changes seen by the renderer
// The registers and palette serial at the last look, to skip the keys when
// neither has moved.
alignas(32) static uint32_t seen_regs[8] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
static uint32_t seen_serial = ~0u;
// Whether lines are kept at all: a picture that changes whole every frame
// turns it off for a rest that doubles (up to MAX_REST frames) each time
// keeping finds nothing to reuse. Lines kept in the last two frames' draws
// and the frames left to rest.
static bool keeping = true;
static uint32_t reused_now, reused_before;
static uint8_t rest_left, rest_wait;

// Whether what was just made for a line not kept is to be kept.
static inline bool worth_keeping(Keeping &k) {
  if (k.skip != 0) {
    k.skip--;
    return false;
  }
  if (k.unused) {
    // The last copy changed before it was used: wait before the next.
    k.unused = 0;
    k.wait = (uint8_t)(k.wait * 2 + 1 > MAX_WAIT ? MAX_WAIT : k.wait * 2 + 1);
    k.skip = k.wait;
    return false;
  }
  k.unused = 1;
  return true;
}
static inline void kept_used(Keeping &k) {
  k.unused = 0;
  k.wait = 0;
}

static inline void forget_all(void) { memset(kept_valid, 0, sizeof kept_valid); }
// Forgets the kept lines of words first .. last - 1 that read a block in
// `blocks` of their pattern table.
static inline void forget_blocks(uint64_t blocks, int first, int last) {
  for (; blocks != 0; blocks &= blocks - 1) {
    const int b = __builtin_ctzll(blocks);
    for (int w = first; w < last; w++) kept_valid[w] &= ~block_readers[b][w];
  }
}
static inline void note_readers(int line, uint32_t blocks) {
  const int w = line >> 6;
  const uint64_t bit = (uint64_t)1 << (line & 63);
  for (int b = 0; b < 32; b++)
    block_readers[b][w] = (block_readers[b][w] & ~bit) | (bit & (0 - (uint64_t)((blocks >> b) & 1)));
}
// The marks of the `size` bytes at `base` (both multiples of 64, within
// one 4 KB word of marks).
static inline uint64_t marks(int base, int size) {
  const uint64_t all = size >= 0x1000 ? ~(uint64_t)0 : ((uint64_t)1 << (size >> VDP_BLOCK_SHIFT)) - 1;
  return (vdp_dirty[base >> (VDP_BLOCK_SHIFT + 6)] >> ((base >> VDP_BLOCK_SHIFT) & 63)) & all;
}
// Whether a block of the 2 KB table at `base` (a multiple of 2 KB) was written.
static inline bool written(int base) { return marks(base, 0x800) != 0; }

// Graphics II colours: a line of third t reads, for name n, the block
// ((t << 5) | (n >> 3)) & m of the 8 KB half that register 3's bit 7
// picks, m being its bits 6..0 (address bits 12..6). A written block there
// is read by the names whose bits 7..3 agree with it where m keeps them.
static inline void forget_colour_blocks(int c3) {
  const unsigned m = (unsigned)reg(3) & 0x7F, free = ~m & 31;
  const int half = c3 & 0x2000;
  const uint64_t words[2] = {marks(half, 0x1000), marks(half + 0x1000, 0x1000)};
  for (int h = 0; h < 2; h++) {
    for (uint64_t left = words[h]; left != 0; left &= left - 1) {
      const unsigned b = (unsigned)(h * 64 + __builtin_ctzll(left));
      if ((b & ~m) != 0) continue;  // no address reaches it
      uint64_t names = 0;           // bit k: names 8k .. 8k + 7
      for (unsigned s = free;; s = (s - 1) & free) {
        names |= (uint64_t)1 << ((b & 31) | s);
        if (s == 0) break;
      }
      for (int t = 0; t < 3; t++)
        if ((((unsigned)t << 5) & m) == (b & 0x60)) forget_blocks(names, t, t + 1);
    }
  }
}

// Forgets the kept lines and plans that read a block written since the last
// look, under the current registers (a change of those forgets everything
// anyway). Whole 2 KB tables are looked at, a little more than some masked
// tables read. Inlined into each copy: a call from the AVX2 copy into code
// built without AVX would switch the vector state at each call, which some
// hosts make wait (this call once cost a sixth of a busy run).
static inline void forget_written(int mode) {
  // The text modes have no sprites; their plans went on entering them.
  if (!text_mode(mode)) {
    if (written((reg(6) & 7) * 0x800))
      forget_plans();
    else if (marks((reg(5) & 0x7F) * 0x80, 0x80) != 0)
      forget_moved_sprites();
  }
  if ((kept_valid[0] | kept_valid[1] | kept_valid[2]) != 0) {
    const int name_base = (reg(2) & 15) * 0x400;
    if (text_mode(mode)) {
      // 40 names a row: block b holds names 64b to 64b + 63, in two or three rows.
      uint64_t lines[LINE_WORDS] = {};
      for (uint64_t named = marks(name_base, 15 << VDP_BLOCK_SHIFT); named != 0; named &= named - 1) {
        const int b = __builtin_ctzll(named);
        add_line_run(lines, 64 * b / 40 * 8, (64 * b + 63) / 40 * 8 + 8);
      }
      for (int w = 0; w < LINE_WORDS; w++) kept_valid[w] &= ~lines[w];
    } else {
      // 32 names a row, eight lines a row: a block holds the two rows of 16
      // lines from 16 * b, which lie in one word of kept_valid.
      for (uint64_t named = marks(name_base, 12 << VDP_BLOCK_SHIFT); named != 0; named &= named - 1) {
        const int b = __builtin_ctzll(named);
        kept_valid[b >> 2] &= ~((uint64_t)0xFFFF << ((b & 3) * 16));
      }
    }
    const int c3 = reg(3) * 64;
    switch (mode) {
      case 0:  // the 32 colour bytes are one block, read by nearly every line
        if (marks(c3 & ~63, 64) != 0) forget_all();
        forget_blocks(marks((reg(4) & 7) * 0x800, 0x800), 0, LINE_WORDS);
        break;
      case 1: case 2:
        forget_blocks(marks((reg(4) & 7) * 0x800, 0x800), 0, LINE_WORDS);
        break;
      default:  // 4, 5 and 6: each third has its own tables, one word of lines
        for (int t = 0; t < 3; t++) forget_blocks(marks(third_pattern_base(t * 64), 0x800), t, t + 1);
        if (mode == 4) forget_colour_blocks(c3);
        break;
    }
  }
  memset(vdp_dirty, 0, sizeof vdp_dirty);
  vdp_dirty_any = 0;
}

// Decides at the first line of each frame whether to keep lines in it;
// starting again forgets all, since nothing was tracked while resting.
static bool keeping_lines(int line) {
  if (line != 0) return keeping;
  if (keeping) {
    if (reused_now == 0 && reused_before == 0) {
      keeping = false;
      rest_wait = (uint8_t)(rest_wait * 2 + 1 > MAX_REST ? MAX_REST : rest_wait * 2 + 1);
      rest_left = rest_wait;
    } else if (reused_now != 0) {
      rest_wait /= 2;
    }
  } else if (--rest_left == 0) {
    keeping = true;
    forget_plans();
    forget_all();
    memset(vdp_dirty, 0, sizeof vdp_dirty);
    vdp_dirty_any = 0;
    memset(kept_keeping, 0, sizeof kept_keeping);
    memset(plan_keeping, 0, sizeof plan_keeping);
    reused_now = 1;  // the first frame back only makes
  }
  reused_before = reused_now;
  reused_now = 0;
  return keeping;
}

template <class V>
static inline void copy_line(uint32_t *to, const uint32_t *from) {
#pragma GCC unroll 8
  for (int i = 0; i < 256; i += 8) store8(to + i, load8<V>(from + i));
}

template <class V, bool note>
static inline void draw_background(uint32_t *row, int line, int mode, uint32_t *blocks) {
  switch (mode) {
    case 0: draw_graphics1<V, note>(row, line, blocks); break;
    case 1: draw_multicolour<V, note>(row, line, (reg(4) & 7) * 0x800, blocks); break;
    case 4: draw_graphics2<V, note>(row, line, blocks); break;
    default: draw_multicolour<V, note>(row, line, third_pattern_base(line), blocks); break;  // 6
  }
}

// A line's sprites as a plan, whatever the status before it. size:
// register 1's size and magnification bits, a constant in each copy.
// Five sprites at most are looked at, first to last: four drawn, the fifth
// only counted. A sprite only draws where none before it did, so the
// lowest-numbered one is on top. Transparent ones (colour 0) count but
// neither draw nor meet others.
template <class V, int size>
static inline void plan_sprites(SpritePlan &plan, int line) {
  const uint8_t *attributes = attribute_table();
  const int pattern_base = (reg(6) & 7) * 0x800;
  constexpr int height = sprite_height(size);
  uint32_t end;
  uint32_t on = sprites_on_line<V>(attributes, line, height, &end);
  if (end != 0) on &= (end & -end) - 1;  // entries before the first end marker
  uint64_t map[MAP_WORDS] = {};
  bool meet = false;
  int count = 0, last = 0, pieces = 0;
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
    meet = meet || (wide & before) != 0;
    if (count == 4) continue;
    map[w] |= wide >> s;
    map[w + 1] |= (wide << 1) << (63 - s);
    plan.shown[pieces] = wide & ~before;
    plan.col[pieces] = (int8_t)((pos >> 3) - 4);
    plan.colour[pieces] = (uint8_t)colour;
    pieces++;
  }
  plan.count = (uint8_t)pieces;
  plan.status = (uint8_t)((count == 5 ? VDP_STATUS_FIFTH : 0) | (meet ? VDP_STATUS_COINCIDENCE : 0) | last);
}

static inline void plan_status(const SpritePlan &plan) {
  const int s = plan.status;
  if (s & VDP_STATUS_COINCIDENCE) vdp_status |= VDP_STATUS_COINCIDENCE;
  if (s & VDP_STATUS_FIFTH) {
    if ((vdp_status & (VDP_STATUS_FRAME | VDP_STATUS_FIFTH)) == 0)
      vdp_status = (s & VDP_STATUS_SPRITE) | (vdp_status & VDP_STATUS_COINCIDENCE) | VDP_STATUS_FIFTH;
  } else if ((vdp_status & VDP_STATUS_FIFTH) == 0) {
    vdp_status = (vdp_status & ~VDP_STATUS_SPRITE) | (s & VDP_STATUS_SPRITE);
  }
}

template <class V, int size>
static inline void apply_plan(uint32_t *row, const SpritePlan &plan) {
  constexpr int columns = sprite_height(size) / 8 + 1;
  for (int i = 0; i < plan.count; i++)
    draw_sprite_row(row, plan.col[i], plan.shown[i], columns, load_colour<V>(colours[plan.colour[i]]));
  plan_status(plan);
}

// How a line's background and sprites are had: drawn afresh, reused, or
// drawn (planned) and kept.
enum { AFRESH, REUSED, KEPT };

// The frame buffer's row of a line (`own`) was written: it no longer shows
// the line's kept copy, unless `holds`.
static inline void row_written(int line, bool own, bool holds) {
  if (!own) return;
  const uint64_t b = (uint64_t)1 << (line & 63);
  frame_rows_written[line >> 6] |= b;
  row_holds[line >> 6] = holds ? row_holds[line >> 6] | b : row_holds[line >> 6] & ~b;
}

// A line reused whole shows its copy: copied in unless its own row still
// holds it.
template <class V>
static inline void show_kept(uint32_t *row, int line, uint64_t bit, bool own) {
  if (own && (row_holds[line >> 6] & bit) != 0) return;
  copy_line<V>(row, kept[line]);
  row_written(line, own, true);
}
// A background just drawn into `row` from pattern blocks `blocks` becomes
// the line's copy; the row holds it if nothing is drawn over it (`holds`).
template <class V>
static inline void keep_drawn(const uint32_t *row, int line, uint64_t bit, bool own, bool holds, uint32_t blocks) {
  copy_line<V>(kept[line], row);
  row_holds[line >> 6] &= ~bit;  // whichever row it went to
  row_written(line, own, holds);
  note_readers(line, blocks);
  kept_valid[line >> 6] |= bit;
  composed[line >> 6] &= ~bit;
}

// The rest of a coloured line once it is known how its background and
// sprites are had; `own`: the row is the frame buffer's own for the line.
template <class V, int size>
static inline void finish_line(uint32_t *row, int line, int mode, int background, int sprites, uint64_t bit,
                               bool own) {
  // The sprites are planned first: a line without any is its background.
  SpritePlan fresh;
  SpritePlan &plan = sprites == AFRESH ? fresh : plans[line];
  if (sprites != REUSED) plan_sprites<V, size>(plan, line);
  if (sprites == KEPT) {
    plan_valid[line >> 6] |= bit;
    plan_uses[line] = 0;
  }
  if (background == REUSED) {
    // With its sprites drawn into the copy, or none, the line is the copy:
    // only the plan's status is left, and the copy itself where the row no
    // longer shows it.
    const bool whole = (composed[line >> 6] & bit) != 0 || plan.count == 0;
    if (whole) {
      show_kept<V>(row, line, bit, own);
      plan_status(plan);
      return;
    }
    copy_line<V>(row, kept[line]);
    row_written(line, own, false);
  } else if (background == KEPT) {
    uint32_t blocks = 0;
    draw_background<V, true>(row, line, mode, &blocks);
    keep_drawn<V>(row, line, bit, own, plan.count == 0, blocks);
  } else {
    draw_background<V, false>(row, line, mode, nullptr);
    row_written(line, own, false);
  }
  apply_plan<V, size>(row, plan);
  if (background == REUSED && sprites == REUSED && plans[line].count != 0 && ++plan_uses[line] >= COMPOSE_AFTER) {
    copy_line<V>(kept[line], row);
    composed[line >> 6] |= bit;
    row_holds[line >> 6] &= ~bit;
    row_written(line, own, true);
  }
}

// A text line once it is known how it is had: it has no sprites, so a
// line drawn to keep is its copy.
template <class V>
static inline void finish_text_line(uint32_t *row, int line, int pattern_base, int background, uint64_t bit,
                                    bool own) {
  if (background == REUSED) {
    show_kept<V>(row, line, bit, own);
  } else if (background == KEPT) {
    uint32_t blocks = 0;
    draw_text<V, true>(row, line, pattern_base, &blocks);
    keep_drawn<V>(row, line, bit, own, true, blocks);
  } else {
    draw_text<V, false>(row, line, pattern_base, nullptr);
    row_written(line, own, false);
  }
}

template <class V>
static inline void draw_line(uint32_t *row, int line) {
  const int r1 = reg(1);
  const int backdrop = reg(7) & 15;
  // Whether the row is the frame buffer's own for the line, whose marks
  // (rows written, rows showing their kept copy) each drawing keeps.
  const bool own = (unsigned)line < LINES && row == frame_buffer + line * SCREEN_PIXELS_X;
  if ((r1 & VDP_R1_DISPLAY) == 0) {
    fill<V>(row, 256, vdp_colors[backdrop]);
    row_written(line, own, false);
    return;
  }
  const int mode = ((r1 & VDP_R1_M2) ? 1 : 0) | ((r1 & VDP_R1_M1) ? 2 : 0) | ((reg(0) & VDP_R0_M3) ? 4 : 0);
  if (mode == 3 || mode == 7) {
    draw_bars<V>(row);
    row_written(line, own, false);
    return;
  }
  const bool text = text_mode(mode);
  // The text modes and the coloured ones, these with sprites. Colour 0 is
  // transparent and shows the backdrop. The colours as vectors are kept
  // between lines: rebuilt when the palette changes (which the kept lines
  // of every mode go by), the backdrop's when it does.
  const uint32_t backdrop_pixel = vdp_colors[backdrop];
  const V changed = (load8<V>(palette) ^ load8<V>(vdp_colors)) | (load8<V>(palette + 8) ^ load8<V>(vdp_colors + 8));
  if (or_lanes(changed) != 0) {
    memcpy(palette, vdp_colors, sizeof palette);
    for (int c = 1; c < 16; c++) store8(colours[c], splat<V>(palette[c]));
    store8(colours[0], splat<V>(backdrop_pixel));
    for (int c = 0; c < 256; c++) set_pair<V>(c);
    shown_backdrop = backdrop_pixel;
    palette_serial++;
  } else if (backdrop_pixel != shown_backdrop) {
    // Only the colour bytes with a nibble 0 change: n0 has the backdrop
    // behind colour n, 0n colour n on it; both differ by colour n ^ backdrop.
    shown_backdrop = backdrop_pixel;
    if constexpr (std::is_same_v<V, px8>) {
#pragma GCC unroll 16
      for (int n = 0; n < 16; n++) {
        duo[2 * (n * 16)] = backdrop_pixel;
        duo[2 * n + 1] = backdrop_pixel;
      }
    } else {
      const V b = splat<V>(backdrop_pixel);
      store8(colours[0], b);
#pragma GCC unroll 16
      for (int n = 0; n < 16; n++) {
        const V d = load_colour<V>(colours[n]) ^ b;
        store8(pairs[n * 16].bg, b);
        store8(pairs[n * 16].d, d);
        store8(pairs[n].d, d);
      }
    }
  }
  const int size = r1 & (VDP_R1_SIZE16 | VDP_R1_MAGNIFY);
  int background = AFRESH, sprites = AFRESH;
  uint64_t bit = 0;
  if (vdp_keep_lines != 0 && (unsigned)line < LINES && keeping_lines(line)) {
    const V regs = load8<V>(reinterpret_cast<const uint32_t *>(vdp_reg));
    if (or_lanes(regs ^ load8<V>(seen_regs)) != 0 || palette_serial != seen_serial) {
      store8(seen_regs, regs);
      seen_serial = palette_serial;
      // Everything the background reads but video memory, and the same for
      // the sprites (their colours are looked up when drawn).
      // The text colour counts in the text modes alone.
      const uint64_t key = (uint64_t)(reg(0) & VDP_R0_M3) | (uint64_t)(r1 & (VDP_R1_M1 | VDP_R1_M2)) |
                           (uint64_t)(reg(2) & 15) << 8 | (uint64_t)(text ? reg(7) >> 4 : 0) << 12 |
                           (uint64_t)reg(3) << 16 | (uint64_t)(reg(4) & 7) << 24 | (uint64_t)backdrop << 28 |
                           (uint64_t)palette_serial << 32;
      // Plans are neither used nor followed in the text modes, so going in
      // or out of them forgets them all.
      const uint32_t sprite_key =
          (uint32_t)size | (uint32_t)(reg(5) & 0x7F) << 2 | (uint32_t)(reg(6) & 7) << 9 | (uint32_t)text << 12;
      if (key != kept_key) {
        kept_key = key;
        forget_all();
      }
      if (sprite_key != plan_key) {
        plan_key = sprite_key;
        forget_plans();
      }
    }
    if (vdp_dirty_any) forget_written(mode);
    bit = (uint64_t)1 << (line & 63);
    if (kept_valid[line >> 6] & bit) {
      background = REUSED;
      kept_used(kept_keeping[line]);
      reused_now++;
    } else if (worth_keeping(kept_keeping[line])) {
      background = KEPT;
    }
    if (!text && (plan_valid[line >> 6] & bit) != 0) {
      sprites = REUSED;
      kept_used(plan_keeping[line]);
      reused_now += plans[line].count;  // a line without sprites saves little
    } else if (!text && worth_keeping(plan_keeping[line])) {
      sprites = KEPT;
    }
  }
  if (text) {
    finish_text_line<V>(row, line, mode == 2 ? (reg(4) & 7) * 0x800 : third_pattern_base(line), background, bit, own);
    return;
  }
  switch (size) {
    case 0: finish_line<V, 0>(row, line, mode, background, sprites, bit, own); break;
    case 1: finish_line<V, 1>(row, line, mode, background, sprites, bit, own); break;
    case 2: finish_line<V, 2>(row, line, mode, background, sprites, bit, own); break;
    default: finish_line<V, 3>(row, line, mode, background, sprites, bit, own); break;
  }
}

// Each copy has everything it calls inlined into it. The AVX2 one is built
// for x86-64 ELF hosts (GCC or clang) and picked at the first line drawn
// when the host has AVX2; elsewhere (Windows, whose compiler cannot keep
// 32-byte spills aligned on its stack, and ARM) the halves alone.
__attribute__((flatten)) static void draw_line_halves(uint32_t *row, int line) { draw_line<Halves>(row, line); }
#if WIDE_COPY
__attribute__((target("avx2"), flatten)) static void draw_line_wide(uint32_t *row, int line) {
  draw_line<px8>(row, line);
}
static void pick_draw_line(uint32_t *row, int line);
static void (*draw_line_picked)(uint32_t *, int) = pick_draw_line;
static void pick_draw_line(uint32_t *row, int line) {
  draw_line_picked = __builtin_cpu_supports("avx2") ? draw_line_wide : draw_line_halves;
  draw_line_picked(row, line);
}
void vdp_draw_line(uint32_t *row, int line) { draw_line_picked(row, line); }
#else
void vdp_draw_line(uint32_t *row, int line) { draw_line_halves(row, line); }
#endif
