// The 64 KB address space in 1 KB pages: backing buffers, every layout of
// the three machine modes and the ports that switch between them. The page
// tables and the access rule the CPU uses are in core/bus.h.
#pragma once
#include <cstdint>

#include "core/bus.h"

extern const uint8_t coleco_bios[0x2000];   // built-in firmware images
extern const uint8_t wp_rom[0x8000];
extern const uint8_t eos_rom[0x2000];

// Places in the BIOS the emulator reads or patches.
enum {
  BIOS_FRAME_RATE = 0x0069,  // frames a second: 60, or 50 written for PAL
  BIOS_FONT = 0x14A3,        // 8 bytes a glyph from here, by character code
  BIOS_HOLD_HIGH = 0x196A,   // high byte of the title screen's hold count
};

extern uint8_t base_rom[0x2000];     // working copy of the BIOS the CPU sees
extern uint8_t internal_ram[0x20000];
extern uint8_t rom[0x80000];         // cartridge image
extern uint8_t null[0x800];          // write sink, then a page of 0xFF

extern int32_t sgm_active;           // Super Game Module: 0 absent, 1 present, 2 its AY written
extern int32_t map_adam;
extern int32_t megacart;             // MegaCart bank mask, 0 for none
extern int32_t rom_size;
// Seed of the random byte RAM gets at a reset; -1 (the default) takes the
// current time, other values make runs repeatable (headless --seed).
extern int32_t memory_seed;

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

// Points page p of a table at buffer + window start.
void map_page(uint8_t **table, int page, const uint8_t *buffer, int window_start);
