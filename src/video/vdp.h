// The video display processor: ports, renderer, frame driver.
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
