// Video chip state, its two ports and its reset.
#include "video/vdp.h"

#include <cstring>

#include "core/bus.h"
#include "core/z80.h"
#include "memory/memory.h"

int32_t vdp_reg[8], vdp_status, vdp_address, vdp_byte, vdp_line, vdp_pal;
int32_t vdp_access, vdp_cycle, vdp_error;
uint8_t video_ram[0x4000];
uint32_t vdp_colors[16];
int32_t nmi_gate, video_frame, get_screenshot;
int32_t pixel_order = PIXELS_XRGB;
uint64_t vdp_dirty[VDP_DIRTY_WORDS];
uint8_t vdp_dirty_any;

// Luminance and the two colour differences (47 = no difference) of the
// chip's 16 colours, NTSC then PAL.
static const int ntsc_table[16][3] = {
    {0, 47, 47},   {0, 47, 47},  {53, 7, 20},  {67, 17, 27}, {40, 40, 100}, {53, 43, 93},
    {47, 83, 30},  {73, 0, 70},  {53, 93, 27}, {67, 93, 27}, {73, 57, 7},   {80, 57, 17},
    {47, 13, 23},  {53, 73, 67}, {80, 47, 47}, {100, 47, 47}};
static const int pal_table[16][3] = {
    {0, 47, 47},   {0, 47, 47},  {60, 7, 20},  {73, 17, 27}, {47, 40, 100}, {60, 43, 93},
    {53, 90, 37},  {73, 0, 70},  {60, 90, 37}, {73, 90, 37}, {77, 57, 3},   {83, 57, 3},
    {53, 13, 23},  {60, 73, 67}, {80, 47, 47}, {100, 47, 47}};

static uint8_t scratch[0x4000];  // re-arrangement copy

// Bit 7 of a control pair's second byte: the pair writes a register.
enum { CONTROL_REGISTER_WRITE = 0x80 };

uint32_t vdp_pixel(int red, int green, int blue) {
  // R, G, B, 0 in memory is a little-endian word with red lowest: an RGBA
  // texture upload takes it as it is.
  if (pixel_order == PIXELS_RGBX) return ((uint32_t)blue << 16) | ((uint32_t)green << 8) | (uint32_t)red;
  return ((uint32_t)red << 16) | ((uint32_t)green << 8) | (uint32_t)blue;
}

void vdp_pixel_rgb(uint32_t pixel, uint8_t rgb[3]) {
  const uint8_t high = (uint8_t)(pixel >> 16), low = (uint8_t)pixel;
  rgb[0] = pixel_order == PIXELS_RGBX ? low : high;
  rgb[1] = (uint8_t)(pixel >> 8);
  rgb[2] = pixel_order == PIXELS_RGBX ? high : low;
}

static int clamp_channel(double value) {
  int c = (int)value;  // truncation toward zero
  if (c < 0) return 0;
  if (c > 255) return 255;
  return c;
}

static void build_palette(const int table[16][3]) {
  for (int i = 0; i < 16; i++) {
    int y = (table[i][0] * 255 + 49) / 100;
    int u = table[i][1] - 47;
    int v = table[i][2] - 47;
    int red = clamp_channel(u * 2.45 + y + 0.5);
    int green = clamp_channel(y - v * 0.4567796610169492 - u * 1.2457627118644068 + 0.5);
    int blue = clamp_channel(v * 2.45 + y + 0.5);
    vdp_colors[i] = vdp_pixel(red, green, blue);
  }
  // Colour 1 is black too, but must stay distinguishable from colour 0.
  vdp_colors[1] = 1;
}

void vdp_memory_changed(void) {
  memset(vdp_dirty, 0xFF, sizeof vdp_dirty);
  vdp_dirty_any = 1;
}

void vdp_init(void) {
  build_palette(vdp_pal == 1 ? pal_table : ntsc_table);
  vdp_status = 0;
  vdp_line = 0;
  vdp_byte = 0;
  vdp_address = 0;
  vdp_reg[0] = 0;
  vdp_reg[1] = 0;
  vdp_cycle = 0;
  vdp_error = 0;
  vdp_access = 0;
  memset(video_ram, 0, sizeof video_ram);
  vdp_memory_changed();
  base_rom[BIOS_FRAME_RATE] = vdp_pal == 1 ? 50 : 60;
}

// Switching from 16K to 4K addressing moves every 64-byte block: within each
// 8 KB half the 7-bit block number rotates right by one bit. Switching back
// rotates it left, so the contents come back as they were.
static void rearrange_memory(bool to_4k) {
  memcpy(scratch, video_ram, sizeof scratch);
  for (int a = 0; a < 0x4000; a += 64) {
    const int to = to_4k ? (a & 0x2000) | ((a & 0x1F80) >> 1) | ((a & 0x0040) << 6)
                         : (a & 0x2000) | ((a & 0x0FC0) << 1) | ((a & 0x1000) >> 6);
    memcpy(video_ram + to, scratch + a, 64);
  }
  vdp_memory_changed();
}

int vdp_read_port(int port) {
  if (port & 1) {
    int value = vdp_status & 0xFF;
    vdp_status &= VDP_STATUS_SPRITE;
    nmi_gate = 0;
    vdp_byte = 0;
    return value;
  }
  int value = video_ram[vdp_address & 0x3FFF];
  vdp_address = (vdp_address + 1) & 0x3FFF;
  vdp_byte = 0;
  return value;
}

// Out of line, so that the ports' common path needs no stack frame.
__attribute__((noinline)) static int register1_write(int value) {
  const int old = vdp_reg[1];
  vdp_reg[1] = value;
  if ((old ^ value) & VDP_R1_16K) rearrange_memory((value & VDP_R1_16K) == 0);
  // Enabling the interrupt while the frame flag is up raises it at once.
  if (nmi_use != MODE_HEADERLESS) return check_for_interrupt();
  return 0;
}

int vdp_write_port(int port, int value) {
  value &= 0xFF;
  if ((port & 1) == 0) {
    const int a = vdp_address & 0x3FFF;
    // Games often send a whole table from a copy in RAM each frame, most
    // of it unchanged: only a byte that changes marks its block.
    if (video_ram[a] != (uint8_t)value) {
      video_ram[a] = (uint8_t)value;
      vdp_dirty[(unsigned)a >> (VDP_BLOCK_SHIFT + 6)] |= (uint64_t)1 << (((unsigned)a >> VDP_BLOCK_SHIFT) & 63);
      vdp_dirty_any = 1;
    }
    vdp_address = (vdp_address + 1) & 0x3FFF;
    vdp_byte = 0;
    return 0;
  }
  if (vdp_byte == 0) {
    // The first byte waits in the address register's low half.
    vdp_address = (vdp_address & 0x3F00) | value;
    vdp_byte = 1;
    return 0;
  }
  int first = vdp_address & 0xFF;
  vdp_address = first | ((value & 0x3F) << 8);
  vdp_byte = 0;
  if ((value & CONTROL_REGISTER_WRITE) == 0) return 0;
  const int reg = value & 7;
  if (reg == 1) return register1_write(first);
  vdp_reg[reg] = first;
  return 0;
}

int check_for_interrupt(void) {
  const int line = vdp_interrupt_line();
  const int edge = nmi_gate == 0 && line;
  nmi_gate = line;
  if (nmi_use != MODE_HEADERLESS) return edge ? z80_interrupt(1) : 0;
  // Headerless mode wires the line to the maskable input.
  if (!line || interrupt_mask != 1) return 0;
  return z80_interrupt(0);
}
