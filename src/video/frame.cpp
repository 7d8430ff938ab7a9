// Frame driver: called after every scanline of CPU time. Draws the line,
// advances the line counter, finishes the frame, raises the frame flag at
// line 192 and lets the CPU take the video interrupt.
#include "adam/adamnet.h"
#include "capture/capture.h"
#include "core/machine.h"
#include "core/z80.h"
#include "host/host.h"
#include "input/events.h"
#include "input/ports.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/present.h"
#include "video/vdp.h"

uint32_t *image;
int32_t video_frame, get_screenshot;

// Stands in for the frame buffer when no host surface exists, so a machine
// driven without a host still runs.
static uint32_t spare_frame[256 * 192];

static int pitch_words = 256;

static void lock_frame(void) {
  if (surface == nullptr) {
    image = spare_frame;
    pitch_words = 256;
    return;
  }
  if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
  image = (uint32_t *)surface->pixels;
  pitch_words = surface->pitch / 4;
}

static void unlock_frame(void) {
  if (surface != nullptr && SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
}

void vdp_process(void) {
  lock_frame();
  // A restored snapshot may carry any line number: only 0..191 are drawn.
  if (vdp_line >= 0 && vdp_line < 192) vdp_draw_line(image + vdp_line * pitch_words, vdp_line);
  unlock_frame();

  vdp_line++;
  // ">=" so that a line number beyond the frame (snapshot) still ends it.
  if (vdp_line >= (vdp_pal == 1 ? 313 : 262)) {
    if (video_file != nullptr) {
      lock_frame();
      avi_record_video(image, 0);
      unlock_frame();
    }
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

  do_something();
  if (nmi_use != 0) roller_update();
  if (vdp_line == 192) {
    video_frame++;
    vdp_status |= 0x80;
    if (record_psg) psg_log_frame();
    if (nmi_use == 2) adam_service();
  }
  z80_cycles += check_for_interrupt();
}
