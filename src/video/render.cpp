// Scanline renderer: the background of the eight mode numbers, then the
// sprites of the line with their status bits. Runs 192 times a frame, so
// it allocates nothing and writes eight pixels per pattern byte through a
// mask table instead of testing bits one by one.
#include <cstring>

#include "video/vdp.h"

namespace {
// expand.m[b][i] is all ones when pixel i (bit 7 - i) of byte b is set.
struct ExpandTable {
  uint32_t m[256][8];
  constexpr ExpandTable() : m() {
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

static constexpr ExpandTable expand{};
static constexpr DoubleTable twice{};

static inline int reg(int n) { return vdp_reg[n] & 0xFF; }

// Sprite attributes: Y, X, pattern, then early clock and colour.
enum { SPRITE_END = 0xD0, SPRITE_EARLY_CLOCK = 0x80, SPRITE_COLOUR = 0x0F, EARLY_CLOCK_SHIFT = 32 };

static inline void put8(uint32_t *p, int pattern, uint32_t fg, uint32_t bg) {
  const uint32_t *m = expand.m[pattern];
  const uint32_t d = fg ^ bg;
  for (int i = 0; i < 8; i++) p[i] = bg ^ (d & m[i]);
}

static inline void put6(uint32_t *p, int pattern, uint32_t fg, uint32_t bg) {
  const uint32_t *m = expand.m[pattern];
  const uint32_t d = fg ^ bg;
  for (int i = 0; i < 6; i++) p[i] = bg ^ (d & m[i]);
}

static inline void fill(uint32_t *p, int count, uint32_t c) {
  for (int i = 0; i < count; i++) p[i] = c;
}

// Graphics II splits the screen in thirds: register 4 bit 2 gives the base
// and bits 1..0 mask the third.
static inline int third_pattern_base(int line) {
  return ((reg(4) & 7) & ((line >> 6) | 4)) * 0x800;
}

static void draw_graphics1(uint32_t *row, int line) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + (reg(4) & 7) * 0x800 + (line & 7);
  const int colour_base = reg(3) * 64;
  for (int col = 0; col < 32; col++) {
    int name = names[col];
    int c = video_ram[colour_base | (name >> 3)];
    put8(row + col * 8, patterns[name * 8], vdp_colors[c >> 4], vdp_colors[c & 15]);
  }
}

static void draw_graphics2(uint32_t *row, int line) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + third_pattern_base(line) + (line & 7);
  const int c3 = reg(3) * 64;
  const int colour_mask = c3 | 0x3F;
  const int colour_part = ((line & 0xC0) << 5) | (c3 & 0x2000) | (line & 7);
  for (int col = 0; col < 32; col++) {
    int name = names[col];
    int c = video_ram[(colour_part | (name * 8)) & colour_mask];
    put8(row + col * 8, patterns[name * 8], vdp_colors[c >> 4], vdp_colors[c & 15]);
  }
}

static void draw_multicolour(uint32_t *row, int line, int pattern_base) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 32;
  const uint8_t *patterns = video_ram + pattern_base + ((line >> 2) & 7);
  for (int col = 0; col < 32; col++) {
    int c = patterns[names[col] * 8];
    fill(row + col * 8, 4, vdp_colors[c >> 4]);
    fill(row + col * 8 + 4, 4, vdp_colors[c & 15]);
  }
}

static void draw_text(uint32_t *row, int line, int pattern_base) {
  const uint8_t *names = video_ram + (reg(2) & 15) * 0x400 + (line >> 3) * 40;
  const uint8_t *patterns = video_ram + pattern_base + (line & 7);
  const uint32_t fg = vdp_colors[reg(7) >> 4], bg = vdp_colors[reg(7) & 15];
  fill(row, 8, bg);
  for (int col = 0; col < 40; col++) put6(row + 8 + col * 6, patterns[names[col] * 8], fg, bg);
  fill(row + 248, 8, bg);
}

static void draw_bars(uint32_t *row) {
  const uint32_t fg = vdp_colors[reg(7) >> 4], bg = vdp_colors[reg(7) & 15];
  fill(row, 8, bg);
  for (int col = 0; col < 40; col++) {
    fill(row + 8 + col * 6, 4, fg);
    fill(row + 12 + col * 6, 2, bg);
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

// ORs a sprite row into the coincidence map (bit i = position i - 32,
// bit 7 of a byte leftmost); true when it met bits already there.
static bool place(uint8_t *map, int pos, uint32_t bits, int width) {
  uint64_t v = ((uint64_t)bits << 32) >> (pos & 7);
  uint8_t *m = map + (pos >> 3);
  int bytes = (width + 7 + (pos & 7)) >> 3;
  int hit = 0;
  for (int k = 0; k < bytes; k++) {
    uint8_t b = (uint8_t)(v >> (56 - 8 * k));
    hit |= m[k] & b;
    m[k] |= b;
  }
  return hit != 0;
}

static void draw_sprites(uint32_t *row, int line) {
  const int attr_base = (reg(5) & 0x7F) * 0x80;
  const int pattern_base = (reg(6) & 7) * 0x800;
  const int size = reg(1) & (VDP_R1_SIZE16 | VDP_R1_MAGNIFY);
  const int height = size == 0 ? 8 : size == 3 ? 32 : 16;
  uint8_t map[40];
  int listed[5];
  uint32_t bits[5];
  int count = 0;
  bool check = (vdp_status & VDP_STATUS_COINCIDENCE) == 0;
  if (check) memset(map, 0, sizeof map);

  for (int e = 0; e < 32; e++) {
    const uint8_t *attr = video_ram + attr_base + e * 4;
    int y = attr[0];
    if (y == SPRITE_END) break;
    if (y >= 191 && y <= 223) continue;
    if (y >= 224) y -= 256;
    int r = line - y - 1;
    if (r < 0 || r >= height) continue;
    bits[count] = sprite_bits(attr, size, r, pattern_base);
    if (check && (attr[3] & SPRITE_COLOUR) != 0) {
      // The map starts 32 positions left of the picture.
      int pos = attr[1] + ((attr[3] & SPRITE_EARLY_CLOCK) ? 0 : EARLY_CLOCK_SHIFT);
      if (place(map, pos, bits[count], height)) {
        vdp_status |= VDP_STATUS_COINCIDENCE;
        check = false;
      }
    }
    listed[count++] = e;
    if (count == 5) break;
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
    const uint8_t *attr = video_ram + attr_base + listed[i] * 4;
    int colour = attr[3] & SPRITE_COLOUR;
    if (colour == 0) continue;
    int x = attr[1] - ((attr[3] & SPRITE_EARLY_CLOCK) ? EARLY_CLOCK_SHIFT : 0);
    if (x <= -height) continue;
    const uint32_t c = vdp_colors[colour];
    uint32_t b = bits[i];
    if (x >= 0 && x + height <= 256) {
      uint32_t *p = row + x;
      while (b) {
        int k = __builtin_clz(b);
        p[k] = c;
        b &= ~(0x80000000u >> k);
      }
    } else {
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
  const bool coloured = mode == 0 || mode == 1 || mode == 4 || mode == 6;
  // Colour 0 is transparent and shows the backdrop in the coloured modes.
  if (coloured) vdp_colors[0] = vdp_colors[backdrop];
  switch (mode) {
    case 0: draw_graphics1(row, line); break;
    case 1: draw_multicolour(row, line, (reg(4) & 7) * 0x800); break;
    case 2: draw_text(row, line, (reg(4) & 7) * 0x800); break;
    case 4: draw_graphics2(row, line); break;
    case 5: draw_text(row, line, third_pattern_base(line)); break;
    case 6: draw_multicolour(row, line, third_pattern_base(line)); break;
    default: draw_bars(row); break;  // 3 and 7
  }
  if (coloured) {
    vdp_colors[0] = 0;
    draw_sprites(row, line);
  }
}
