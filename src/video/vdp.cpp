#include "video/vdp.h"

int32_t vdp_reg[8], vdp_status, vdp_address, vdp_byte, vdp_line, vdp_pal;
int32_t vdp_access, vdp_cycle, vdp_error;
uint8_t video_ram[0x4000];
uint32_t vdp_colors[16];
uint32_t *image;
int32_t video_frame, get_screenshot;

void vdp_init(void) {}
int vdp_read_port(int) { return 0xFF; }
int vdp_write_port(int, int) { return 0; }
void vdp_process(void) {}
