// The machine as a whole: start-up, reset, the scanline loop, the frame
// driver and the program's run loop. Everything a scanline hands over
// goes through here, in the order of docs/architecture.md.
#include "core/machine.h"

#include <cstring>

#include "adam/adamnet.h"
#include "capture/capture.h"
#include "core/bus.h"
#include "core/timing.h"
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
int32_t platform = PLATFORM_DESKTOP;

void machine_power_on(void) {
  sgm_active = 1;
  vdp_pal = 0;
  nmi_use = MODE_CONSOLE;
  memcpy(base_rom, coleco_bios, sizeof base_rom);
  memory_power_on();
  base_rom[BIOS_HOLD_HIGH] = 0x0A;  // shortens the title-screen hold
}

void init_peripheral(int soft) {
  load_mapping();
  // Console mode keeps its layout, RAM, the video chip and nmi_gate on the
  // reset hotkey.
  const bool keep = soft != 0 && nmi_use == MODE_CONSOLE;
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

// ---- the scanline loop

// The audio wait's poll: host events keep working while the machine waits
// for the device; a quit ends the wait.
static void wait_poll(void) { do_something(); }

// The end of a sound period: the block goes to the recorders, then to the
// audio ring, which is where the machine waits for real time.
static void sound_period_end(void) {
  psg_sync();
  if (sound_file != nullptr) wav_append(psg_buffer, SAMPLES_PER_PERIOD);
  if (video_file != nullptr) avi_record_audio(psg_buffer, SAMPLES_PER_PERIOD);
  audio_push_block(psg_buffer, wait_poll, &quit);
}

// Runs scanlines from scanline start `start` (cycles) and sound line
// `line` until the run state asks to stop or `lines` (when > 0) are done.
static void run_scanlines(uint8_t **rt, uint8_t **wt, int64_t start, int32_t line, long lines) {
  // Counts are rebased by this many cycles (whole scanlines) long before
  // they could overflow, which they would after about ten minutes.
  const int64_t rebase = 0x40000000 - 0x40000000 % CYCLES_PER_LINE;
  bool kept = false;  // the first run of a call trusts nothing before it
  for (;;) {
    const int32_t events_before = events_taken;
    int64_t left = start - (int64_t)z80_cycles + (CYCLES_PER_LINE - 1);
    // Counters restored from outside (a snapshot) may disagree; a line
    // never gets more than its cycles nor owes more than a few lines.
    if (left > CYCLES_PER_LINE - 1) left = CYCLES_PER_LINE - 1;
    if (left < -4 * CYCLES_PER_LINE) left = -4 * CYCLES_PER_LINE;
    z80_idle_kept = kept;
    int budget = z80_execute(rt, wt, (int)left);
    start += CYCLES_PER_LINE;
    budget += CYCLES_PER_LINE;
    if (start >= rebase) start -= rebase;
    else if (start < 0) start = 0;
    z80_cycles = (int32_t)(start + (CYCLES_PER_LINE - 1) - budget);
    z80_cycles_1 = (int32_t)start;
    z80_cycles_2 = line;
    psg_advance(line);
    if (line == LINES_PER_SOUND_PERIOD - 1) sound_period_end();
    vdp_process();
    // The caller sees the sound state and psg_buffer up to date.
    if (emulator_event != 0 || (lines > 0 && --lines == 0)) {
      psg_sync();
      return;
    }
    // Host events (a reset, a load, a snapshot) and the Adam's devices
    // write memory behind the CPU's back; nothing else between runs does.
    kept = events_taken == events_before && !(nmi_use == MODE_ADAM && vdp_line == FRAME_FLAG_LINE);
    // Picked up from the globals: the frame driver's callees may have
    // restored a snapshot.
    line = z80_cycles_2 + 1;
    if (line < 0 || line >= LINES_PER_SOUND_PERIOD) line = 0;
    start = z80_cycles_1;
  }
}

void start_z80(uint8_t **read_table, uint8_t **write_table, long lines) {
  emulator_event = 0;
  z80_cycles = 0;
  run_scanlines(read_table, write_table, 0, 0, lines);
}

void machine_run_lines(long lines) {
  if (lines <= 0) return;
  emulator_event = 0;
  int32_t line = z80_cycles_2 + 1;
  if (line < 0 || line >= LINES_PER_SOUND_PERIOD) line = 0;
  run_scanlines(map1, map2, z80_cycles_1, line, lines);
}

// ---- the frame driver

static void frame_end(void) {
  if (video_file != nullptr) avi_record_video(image, 0);
  if (do_pause) {
    do_pause = 0;
    emulator_event = 1;
    audio_close();
    message("Paused");
  }
  if (get_screenshot) {
    get_screenshot = 0;
    save_screenshot();
  }
  update_screen();
  vdp_line = 0;
  eeprom_flush();
}

void vdp_process(void) {
  // A restored snapshot may carry any line number: only picture lines are drawn.
  if (vdp_line >= 0 && vdp_line < ACTIVE_LINES) vdp_draw_line(image + vdp_line * SCREEN_PIXELS_X, vdp_line);
  vdp_line++;
  // ">=" so that a line number beyond the frame (snapshot) still ends it.
  if (vdp_line >= lines_per_frame(vdp_pal)) frame_end();
  do_something();
  if (nmi_use != MODE_HEADERLESS && !roller_idle()) roller_update();
  if (vdp_line == FRAME_FLAG_LINE) {
    video_frame++;
    vdp_status |= VDP_STATUS_FRAME;
    if (record_psg) psg_log_frame();
    if (nmi_use == MODE_ADAM) adam_service();
  }
  // A line low now and at the last check can raise nothing.
  if (vdp_interrupt_line() || nmi_gate != 0) z80_cycles += check_for_interrupt();
}

// ---- the program

int tervox_main(const char *image_path) {
  machine_power_on();
  int status = host_start();
  if (status >= 0) return status;

  quit = 0;
  // An image that does not load is reported, and the console starts empty.
  if (image_path != nullptr && image_path[0] != '\0' && open_rom_file(image_path) != 0)
    report_load_error(image_path);
  init_peripheral(0);
  emulator_event = 2;

  while (!quit) {
    if (emulator_event == 2) {
      start_z80(map1, map2);
    } else {
      host_delay(16);
      // The Pi's picture stays on its display element while stopped.
      if (platform != PLATFORM_PI) update_screen();
      do_something();
    }
  }
  // A recording must never be left without its sizes or index.
  end_sound_recording();
  avi_end_video();
  host_shutdown();
  return 0;
}
