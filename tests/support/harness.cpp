#include "support/harness.h"

#include <cstring>

#include "core/machine.h"
#include "core/timing.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

void machine_fresh(void) {
  sound_pacing = 0;
  sgm_active = 1;
  vdp_pal = 0;
  nmi_use = MODE_CONSOLE;
  megacart = 0;
  megacart_mapper = 0;
  rom_size = 0;
  memset(rom, 0xFF, sizeof rom);
  memcpy(base_rom, coleco_bios, sizeof base_rom);
  base_rom[BIOS_HOLD_HIGH] = 0x0A;
  init_peripheral(0);
}

void machine_load_cartridge(const std::vector<uint8_t> &image) {
  machine_fresh();
  memset(rom, 0xFF, sizeof rom);
  size_t n = image.size() < sizeof rom ? image.size() : sizeof rom;
  memcpy(rom, image.data(), n);
  rom_size = (int32_t)n;
  nmi_use = (n >= 2 && ((rom[0] == 0xAA && rom[1] == 0x55) || (rom[0] == 0x55 && rom[1] == 0xAA)))
                ? MODE_CONSOLE
                : MODE_HEADERLESS;
  init_peripheral(0);
}

void machine_run_scanlines(int count) {
  if (count > 0) start_z80(map1, map2, count);
}

void machine_run_frames(int count) { machine_run_scanlines(count * lines_per_frame(vdp_pal)); }
