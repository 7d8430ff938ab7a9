// The video display processor: its state, its two ports, its interrupt
// output, and the scanline renderer.
//
// Port decoding is the port map's job (input/ports.cpp); it passes the low
// 8 bits of the port address here, and this chip only looks at bit 0:
//   console and Adam modes: 0xA0..0xBF, even = data, odd = status (reads)
//     or control (writes).
//   headerless mode: ports whose bits 7..6 are 10 (0x80..0xBF), the same.
#pragma once
#include <cstdint>

// Register bits.
enum : int {
  VDP_R0_M3 = 0x02,          // Graphics II addressing; mode number bit 2
  VDP_R1_16K = 0x80,         // 4K/16K memory selection
  VDP_R1_DISPLAY = 0x40,     // 0 blanks every line to the backdrop
  VDP_R1_INTERRUPT = 0x20,   // interrupt enable
  VDP_R1_M1 = 0x10,          // mode number bit 1
  VDP_R1_M2 = 0x08,          // mode number bit 0
  VDP_R1_SIZE16 = 0x02,      // 16x16 sprites
  VDP_R1_MAGNIFY = 0x01,     // sprite pixels drawn 2x2
};
// Status bits.
enum : int {
  VDP_STATUS_FRAME = 0x80,        // frame flag: raised as line 192 begins
  VDP_STATUS_FIFTH = 0x40,        // a fifth sprite on a line
  VDP_STATUS_COINCIDENCE = 0x20,  // two sprites' pixels met
  VDP_STATUS_SPRITE = 0x1F,       // the fifth sprite's number
};

extern int32_t vdp_reg[8];
extern int32_t vdp_status;
extern int32_t vdp_address;
extern int32_t vdp_byte;
extern int32_t vdp_line;
extern int32_t vdp_pal;
extern int32_t vdp_access, vdp_cycle, vdp_error;
extern uint8_t video_ram[0x4000];
extern uint32_t vdp_colors[16];
extern int32_t nmi_gate;          // the interrupt line's level at the last NMI check
extern int32_t video_frame;       // frames counted at line 192
extern int32_t get_screenshot;    // a screenshot is due at the frame end

// Byte order of the frame buffer's pixels: 0x00RRGGBB words (desktops), or
// bytes R, G, B, 0 (the Raspberry Pi's texture). Set by the host before the
// first reset.
enum { PIXELS_XRGB, PIXELS_RGBX };
extern int32_t pixel_order;
// Pixel value of a colour in the frame buffer's order.
uint32_t vdp_pixel(int red, int green, int blue);
// Red, green and blue bytes of a frame-buffer pixel.
void vdp_pixel_rgb(uint32_t pixel, uint8_t rgb[3]);

void vdp_init(void);
// Video memory blocks changed through the data port (a byte written with the
// value it held changes nothing) since the renderer last looked: bit b % 64
// of word b / 64 is set for the 64 bytes at b * 64, and
// vdp_dirty_any with any of them. The renderer keeps decoded lines and
// redraws only those that read a written block. Bits, so that a table's
// 32 blocks are looked at in one word.
enum { VDP_BLOCK_SHIFT = 6, VDP_BLOCKS = 0x4000 >> VDP_BLOCK_SHIFT, VDP_DIRTY_WORDS = VDP_BLOCKS / 64 };
extern uint64_t vdp_dirty[VDP_DIRTY_WORDS];
extern uint8_t vdp_dirty_any;
// Video memory changed wholesale, or outside the data port (a reset, a
// snapshot, a direct write), or the frame buffer's picture written by
// anything but the renderer: every kept line is redrawn.
void vdp_memory_changed(void);
// 0 draws every line from video memory, keeping nothing (for comparison in
// tests); 1, the default, keeps decoded lines.
extern int32_t vdp_keep_lines;
int vdp_read_port(int port);              // even: data, odd: status
int vdp_write_port(int port, int value);  // returns extra CPU cycles

// The video interrupt line: high while the frame flag and the interrupt
// enable are both set.
inline int vdp_interrupt_line(void) {
  return (vdp_status & VDP_STATUS_FRAME) && (vdp_reg[1] & VDP_R1_INTERRUPT);
}
// Samples the line and lets the CPU take the video interrupt if due: the
// NMI on a rising edge in console and Adam modes, the maskable interrupt
// while the line is high in headerless mode. Returns the cycles it cost.
int check_for_interrupt(void);

// Draws picture line `line` (0..191) into the 256 pixels at `row` from the
// current registers and video memory, updating the sprite bits of
// vdp_status. The frame driver calls it; tests and benchmarks may too.
// A line's own row of the frame buffer that already shows what it would
// draw is left as it is.
void vdp_draw_line(uint32_t *row, int line);
