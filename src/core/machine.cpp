#include "core/machine.h"

#include <cstring>

#include "adam/adamnet.h"
#include "capture/capture.h"
#include "core/z80.h"
#include "host/host.h"
#include "input/events.h"
#include "input/ports.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/present.h"
#include "video/vdp.h"

int32_t emulator_event, quit, do_pause;

void init_peripheral(int soft) {
  load_mapping();
  // Console mode keeps its layout, RAM and nmi_gate on the reset hotkey.
  const bool keep = soft != 0 && nmi_use == 1;
  memory_reset(soft);  // layout, the 0xFF page, RAM when not kept
  interrupt_mode = 0;
  if (!keep) nmi_gate = 0;
  roller_reset();
  emulator_registers[REG_PC] = 0x0000;
  emulator_registers[REG_AF] = 0xFFFF;
  emulator_registers[REG_SP] = 0xFFFF;
  emulator_registers[REG_AF2] = 0x00FF;
  emulator_registers[REG_BC2] = 0xFFFF;
  emulator_registers[REG_DE2] = 0xFFFF;
  emulator_registers[REG_HL2] = 0xFFFF;
  disable_interrupts();
  if (!keep) vdp_init();
  if (soft == 0) {
    psg_init();
    psg2_init();
  }
}

void machine_run_lines(int count) {
  static bool started;
  if (count <= 0) return;
  z80_scanline_limit = count;
  z80_continue = started ? 1 : 0;
  start_z80(map1, map2);
  z80_continue = 0;
  z80_scanline_limit = 0;
  started = true;
}

int tervox_main(const char *image_path) {
  sgm_active = 1;
  vdp_pal = 0;
  nmi_use = 1;
  memcpy(base_rom, coleco_bios, sizeof base_rom);
  memory_power_on();
  base_rom[0x196A] = 0x0A;  // shortens the title-screen hold

  int status = host_start();
  if (status >= 0) return status;

  quit = 0;
  if (image_path != nullptr && image_path[0] != '\0') open_rom_file(image_path);
  init_peripheral(0);
  emulator_event = 2;

  while (!quit) {
    if (emulator_event == 2) {
      start_z80(map1, map2);
    } else {
      SDL_Delay(16);
#ifndef TERVOX_PI  // the Pi's picture stays on its display element
      update_screen();
#endif
      do_something();
    }
  }
  // A recording must never be left without its sizes or index.
  end_sound_recording();
  avi_end_video();
  host_shutdown();
  return 0;
}
