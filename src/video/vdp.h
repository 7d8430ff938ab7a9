// The video display processor: ports, renderer, frame driver.
//
// Port decoding is the port map's job (input/ports.cpp); it passes the low
// 8 bits of the port address here, and this chip only looks at bit 0:
//   console and Adam modes (nmi_use 1, 2): 0xA0..0xBF, even = data,
//     odd = status (reads) or control (writes).
//   headerless mode (nmi_use 0): ports whose bits 7..6 are 10 (0x80..0xBF),
//     even = data, odd = status / control. Reads of 0xC0..0xFF are the
//     controllers, other reads give 0xFF; writes with bits 7..6 = 01 go to
//     the sound chip, other writes are ignored.
#pragma once
#include <cstdint>

extern int32_t vdp_reg[8];
extern int32_t vdp_status;
extern int32_t vdp_address;
extern int32_t vdp_byte;
extern int32_t vdp_line;
extern int32_t vdp_pal;
extern int32_t vdp_access, vdp_cycle, vdp_error;
extern uint8_t video_ram[0x4000];
extern uint32_t vdp_colors[16];
extern uint32_t *image;           // first pixel of the frame buffer
extern int32_t video_frame;
extern int32_t get_screenshot;

void vdp_init(void);
int vdp_read_port(int port);              // even: data, odd: status
int vdp_write_port(int port, int value);  // returns extra CPU cycles
void vdp_process(void);                   // one scanline of the frame driver

// Pixel value of a colour in the frame buffer's 0x00RRGGBB format.
uint32_t vdp_pixel(int red, int green, int blue);
// Draws picture line `line` (0..191) into the 256 pixels at `row` from the
// current registers and video memory, updating the sprite bits of
// vdp_status. The frame driver calls it; tests and benchmarks may too.
void vdp_draw_line(uint32_t *row, int line);
