// The 64 KB address space in 1 KB pages: backing buffers, page tables,
// the layouts of the three machine modes and the ports that switch them.
#include "memory/memory.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "adam/adamnet.h"

uint8_t base_rom[0x2000];
uint8_t internal_ram[0x20000];
uint8_t rom[0x80000];
uint8_t null[0x800];
uint8_t *map1[64];
uint8_t *map2[64];
int32_t nmi_use, sgm_active, map_adam, megacart, megacart_mapper, rom_size;
int32_t memory_seed = -1;

enum { SINK = 0, FF_PAGE = 1024 };

void map_page(uint8_t **table, int page, const uint8_t *buffer, int window_start) {
  table[page] = const_cast<uint8_t *>(buffer) + window_start - page * 1024;
}

// Pages [first, last] read buffer from window start + 1 KB per page.
static void map_read_run(int first, int last, const uint8_t *buffer, int start) {
  for (int p = first; p <= last; p++) map_page(map1, p, buffer, start + (p - first) * 1024);
}

// Pages [first, last] read and write buffer (RAM) from the window start.
static void map_ram_run(int first, int last, int start) {
  for (int p = first; p <= last; p++) {
    map_page(map1, p, internal_ram, start + (p - first) * 1024);
    map_page(map2, p, internal_ram, start + (p - first) * 1024);
  }
}

static void map_sink_writes(int first, int last) {
  for (int p = first; p <= last; p++) map_page(map2, p, null, SINK);
}

static void map_unmapped(int first, int last) {
  for (int p = first; p <= last; p++) {
    map_page(map1, p, null, FF_PAGE);
    map_page(map2, p, null, SINK);
  }
}

// Start of the last 16 KB bank, kept inside the cartridge buffer whatever
// the bank mask says.
static int megacart_last_bank(void) {
  long last = (long)megacart + 1 - 0x4000;
  if (last < 0) last = 0;
  if (last > (long)sizeof rom - 0x4000) last = (long)sizeof rom - 0x4000;
  return (int)(last & ~0x3FFL);
}

// Cartridge reads of 0x8000-0xFFFF; writes there go to the sink.
static void map_cartridge(void) {
  if (megacart != 0 && megacart_mapper != 1) {
    map_read_run(32, 47, rom, megacart_last_bank());
    map_read_run(48, 63, rom, 0);
  } else {
    map_read_run(32, 63, rom, 0);
  }
  map_sink_writes(32, 63);
}

static void console_layout(void) {
  map_read_run(0, 7, base_rom, 0);
  map_sink_writes(0, 7);
  map_unmapped(8, 23);
  for (int p = 24; p < 32; p++) map_ram_run(p, p, 0);  // 1 KB mirrored
  map_cartridge();
  if (rom_size == 0x6000) {
    // 2 KB of RAM, in two separate 1 KB halves, mirrored at 0xE000-0xFFFF.
    for (int p = 56; p < 64; p += 2) {
      map_ram_run(p, p, 0x400);
      map_ram_run(p + 1, p + 1, 0xC00);
    }
  }
}

static void headerless_layout(void) {
  map_read_run(0, 47, rom, 0);
  map_sink_writes(0, 47);
  for (int p = 48; p < 64; p++) map_ram_run(p, p, (p * 1024) & 0x1FFF);
}

static void adam_lower(void) {
  switch (map_adam & 3) {
    case 0:
      map_read_run(0, 31, wp_rom, 0);
      if (map_adam & 0x10) map_read_run(24, 31, eos_rom, 0);
      map_sink_writes(0, 31);
      break;
    case 1: map_ram_run(0, 31, 0); break;
    case 2: map_ram_run(0, 31, 0x10000); break;
    default:
      map_read_run(0, 7, base_rom, 0);
      map_sink_writes(0, 7);
      map_ram_run(8, 31, 0x2000);
      break;
  }
}

static void adam_upper(void) {
  switch ((map_adam >> 2) & 3) {
    case 0: map_ram_run(32, 63, 0x8000); break;
    case 1: map_unmapped(32, 63); break;
    case 2: map_ram_run(32, 63, 0x18000); break;
    default: map_cartridge(); break;
  }
}

static void adam_apply_map(void) {
  adam_lower();
  adam_upper();
}

void sgm_upper_ram(int value) {
  if (sgm_active == 0 || nmi_use == MODE_HEADERLESS || value != 1) return;
  map_ram_run(8, 31, 0x2000);
}

void sgm_bios_switch(int value) {
  if (sgm_active == 0 || nmi_use != MODE_CONSOLE) return;
  if (value & 0x02) {
    map_read_run(0, 7, base_rom, 0);
    map_sink_writes(0, 7);
  } else {
    map_ram_run(0, 7, 0);
  }
}

void adam_rom_enable(int value) {
  if (nmi_use != MODE_ADAM) return;
  int enable = (value & 0x02) << 3;
  if (enable == (map_adam & 0x10)) return;
  map_adam = (map_adam & ~0x10) | enable;
  // The configuration is applied again as it stands, so the ROM window
  // moves at once when the lower selection shows it.
  adam_apply_map();
}

void adam_memory_config(int value) {
  if (nmi_use != MODE_ADAM) return;
  if ((value & 0x0F) == (map_adam & 0x0F)) return;
  map_adam = (map_adam & ~0x0F) | (value & 0x0F);
  adam_apply_map();
}


// The first number rand() gives after srand(seed) in the GNU C library,
// worked out here so that a seeded run (headless --seed) puts the same
// byte into RAM, and so writes the same files, on every host and C
// runtime, and the same as runs recorded on Linux before.
static uint32_t first_random(uint32_t seed) {
  int32_t r[344];
  r[0] = seed == 0 ? 1 : (int32_t)seed;
  for (int i = 1; i < 31; i++) {
    // 16807 * r mod (2^31 - 1), without overflow (Schrage's method)
    const int32_t hi = r[i - 1] / 127773, lo = r[i - 1] % 127773;
    int32_t word = 16807 * lo - 2836 * hi;
    if (word < 0) word += 2147483647;
    r[i] = word;
  }
  for (int i = 31; i < 34; i++) r[i] = r[i - 31];
  for (int i = 34; i < 344; i++) r[i] = (int32_t)((uint32_t)r[i - 31] + (uint32_t)r[i - 3]);
  return ((uint32_t)r[344 - 31] + (uint32_t)r[344 - 3]) >> 1;
}
void memory_reset(int soft) {
  if (nmi_use == MODE_ADAM) {
    map_adam = 0;
    pcb_adam = 0xFEC0;
    adam_apply_map();
  } else if (nmi_use == MODE_CONSOLE) {
    if (soft == 0) console_layout();
  } else {
    headerless_layout();
  }
  memset(null + 1024, 0xFF, 1024);
  if (soft == 0 || nmi_use != MODE_CONSOLE) {
    if (nmi_use == MODE_ADAM) {
      memset(internal_ram, 0, sizeof internal_ram);
      internal_ram[0x66] = 0xED;  // RETN at the NMI entry
      internal_ram[0x67] = 0x45;
    } else {
      memset(internal_ram, 0, 0x400);
      const uint32_t seed = memory_seed >= 0 ? (uint32_t)memory_seed : (uint32_t)time(nullptr);
      internal_ram[0x3C8] = (uint8_t)((first_random(seed) & 0xFF) | 0x80);
    }
  }
}

void memory_power_on(void) {
  // A fixed pattern keeps runs repeatable; programs that wait for a byte
  // nobody wrote to change from zero then go on, as they do on hardware.
  for (int i = 0; i < (int)sizeof internal_ram; i++) internal_ram[i] = 0xFF;
}
