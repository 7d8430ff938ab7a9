// The 64 KB address space in 1 KB pages, every layout, the access rule.
#pragma once
#include <cstdint>

extern const uint8_t coleco_bios[0x2000];   // built-in firmware images
extern const uint8_t wp_rom[0x8000];
extern const uint8_t eos_rom[0x2000];

extern uint8_t base_rom[0x2000];     // working copy of the BIOS the CPU sees
extern uint8_t internal_ram[0x20000];
extern uint8_t rom[0x80000];         // cartridge image
extern uint8_t null[0x800];          // write sink, then a page of 0xFF

extern uint8_t *map1[64];            // read pages, biased: map1[a >> 10][a]
extern uint8_t *map2[64];            // write pages

extern int32_t nmi_use;              // 0 headerless, 1 console, 2 Adam
extern int32_t sgm_active;
extern int32_t map_adam;
extern int32_t megacart;             // MegaCart bank mask, 0 for none
extern int32_t megacart_mapper;      // 1 for an Activision cartridge
extern int32_t rom_size;
// Seed of the random byte RAM gets at a reset; -1 (the default) takes the
// current time, other values make runs repeatable (headless --seed).
extern int32_t memory_seed;

int megarom(int a);                  // memory/cartridge mappers
int megarom_activision(int a);

// RAM as the machine powers up: not all zero (real RAM comes up with
// leftover charge), once at program start.
void memory_power_on(void);
// Memory part of the machine reset.
void memory_reset(int soft);
// Layout ports: Super Game Module 0x53 and 0x7F, Adam 0x20-0x3F and 0x60-0x7F.
void sgm_upper_ram(int value);
void sgm_bios_switch(int value);
void adam_rom_enable(int value);
void adam_memory_config(int value);
// Rebuilds the Adam layout from map_adam (also after a snapshot restore).
void adam_apply_map(void);

// Points page p of a table at buffer + window start.
void map_page(uint8_t **table, int page, const uint8_t *buffer, int window_start);

// The CPU access rule.
inline int memory_read(int a) {
  if (megacart_mapper != 1 && a >= 0xFFC0 && nmi_use != 0) return megarom(a);
  return map1[a >> 10][a];
}
inline void memory_write(int a, int v) {
  if (megacart_mapper == 1) {
    if (a >= 0xFF80) { megarom_activision(a); return; }
  } else if (a == 0xBFFF && nmi_use == 0) {
    megarom(v);
    return;
  }
  map2[a >> 10][a] = (uint8_t)v;
}
