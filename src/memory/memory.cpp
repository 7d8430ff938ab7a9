#include "memory/memory.h"

uint8_t base_rom[0x2000];
uint8_t internal_ram[0x20000];
uint8_t rom[0x80000];
uint8_t null[0x800];
uint8_t *map1[64];
uint8_t *map2[64];
int32_t nmi_use, sgm_active, map_adam, megacart, megacart_mapper, rom_size;

void map_page(uint8_t **table, int page, const uint8_t *buffer, int window_start) {
  table[page] = const_cast<uint8_t *>(buffer) + window_start - page * 1024;
}
void memory_reset(int) {
  for (int p = 0; p < 64; p++) { map_page(map1, p, null, 1024); map_page(map2, p, null, 0); }
}
void sgm_upper_ram(int) {}
void sgm_bios_switch(int) {}
void adam_rom_enable(int) {}
void adam_memory_config(int) {}
void adam_apply_map(void) {}
