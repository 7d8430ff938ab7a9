// SDL set-up and shutdown, the audio device, the mouse and the events:
// everything the SDL hosts share. Host events become the machine's
// event_* calls here.
#include "host/sdl.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "host/host.h"
#include "input/events.h"
#include "sound/psg.h"
#include "video/present.h"
#include "video/vdp.h"

SDL_Window *window;
SDL_Surface *screenSurface, *surface, *status_surface;
SDL_AudioDeviceID audio;
// The open device plays (it is asked to once), and keeps real time.
static bool audio_playing, audio_keeps_time;
static SDL_Joystick *gGameController1, *gGameController2;

// Set by the library whenever an event joins its queue, from any thread;
// while it is clear and nothing was pumped, the queue (behind a lock) is
// not looked at. Only while the window's SDL session is up.
static std::atomic<bool> events_queued{true};
static bool events_watched;
// A host_delay since the last look at the clock: the next poll reads it.
static bool slept = true;

static int SDLCALL note_event(void *, SDL_Event *) {
  events_queued.store(true, std::memory_order_release);
  return 1;
}

static bool video_driver_asked(void) {
  const char *asked = SDL_getenv("SDL_VIDEODRIVER");
  return asked != nullptr && asked[0] != '\0';
}

static void say_no_display(void) {
  fprintf(stderr, "No display found: start the program on a desktop, or choose a video "
                  "driver with SDL_VIDEODRIVER.\n");
}

int host_open_window(void) {
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO | SDL_INIT_JOYSTICK) < 0) {
    fprintf(stderr, "SDL could not initialize! SDL_Error: %s\n", SDL_GetError());
#ifndef _WIN32
    if (!video_driver_asked() && SDL_getenv("DISPLAY") == nullptr &&
        SDL_getenv("WAYLAND_DISPLAY") == nullptr)
      say_no_display();
#endif
    return 1;
  }
  // With no display SDL falls back to a driver that shows nothing, and the
  // program would run unseen; such a driver is used only when asked for.
  const char *driver = SDL_GetCurrentVideoDriver();
  if (!video_driver_asked() &&
      (driver == nullptr || strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0)) {
    say_no_display();
    SDL_Quit();
    return 1;
  }
  SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  events_queued.store(true, std::memory_order_relaxed);
  SDL_AddEventWatch(note_event, nullptr);
  events_watched = true;
  if (SDL_NumJoysticks() > 0) gGameController1 = SDL_JoystickOpen(0);
  if (SDL_NumJoysticks() > 1) gGameController2 = SDL_JoystickOpen(1);
  // Joysticks are opened only here: with none open, looking for new ones
  // on every pump is two system calls a frame for nothing.
  if (gGameController1 == nullptr) SDL_SetHint(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0");
  window = SDL_CreateWindow("Tervox", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                            SCREEN_WIDTH, SCREEN_HEIGHT, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
  if (window == nullptr) {
    fprintf(stderr, "Window could not be created! SDL_Error: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  SDL_ShowCursor(0);
  return -1;
}

int host_create_surfaces(void) {
  // Masks 0: SDL's default 32-bit format, 0x00RRGGBB.
  surface = SDL_CreateRGBSurfaceFrom(frame_buffer, SCREEN_PIXELS_X, SCREEN_PIXELS_Y, 32,
                                     SCREEN_PIXELS_X * 4, 0, 0, 0, 0);
  if (surface != nullptr)
    status_surface = SDL_CreateRGBSurfaceFrom(status_line, SCREEN_PIXELS_X, STATUS_LINE_ROWS, 32,
                                              SCREEN_PIXELS_X * 4, 0, 0, 0, 0);
  if (surface == nullptr || status_surface == nullptr) {
    fprintf(stderr, "CreateRGBSurface failed: %s\n", SDL_GetError());
    return 1;
  }
  return -1;
}

void host_close_window(void) {
  host_audio_close();
  SDL_FreeSurface(status_surface);
  SDL_FreeSurface(surface);
  status_surface = surface = nullptr;
  if (gGameController1) SDL_JoystickClose(gGameController1);
  if (gGameController2) SDL_JoystickClose(gGameController2);
  SDL_DestroyWindow(window);
  window = nullptr;
  SDL_DelEventWatch(note_event, nullptr);
  events_watched = false;
  SDL_Quit();
}

// ---- presentation on a window surface

enum { PRESENT_MAX_SIZE = 8192 };  // larger pictures go to the library's scaler
bool window_exposed, status_redrawn;

static void fill_rect(SDL_Surface *target, Uint32 colour, int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return;
  SDL_Rect r = {x, y, w, h};
  SDL_FillRect(target, &r, colour);
}

// Nearest-neighbour scaling of source rows [first, last] into r on a 32-bit
// target of the picture's own format, with the library's own rounding (a
// 16.16 step, starting half a step in): its general scaler costs several
// times as much. Rows that repeat a source row are copied. Marks the output
// rows written in `written` (indexed from r.y).
static void scale_rows(SDL_Surface *source, SDL_Surface *target, SDL_Rect r, const uint8_t *dirty,
                       uint8_t *written) {
  enum { MAX_SOURCE = 256, MAX_RUN = 4 };
  static uint16_t columns[PRESENT_MAX_SIZE];
  // Enlarging, each source pixel covers a run of 1 to 4 output pixels from
  // starts[sx]: four pixels are written at each start (the next run writes
  // over the excess), the first `wide` source pixels so, the output pixels
  // from wide_end one by one. No store waits for the one before it.
  static uint16_t starts[MAX_SOURCE];
  static int columns_for = -1, columns_source = -1, wide, wide_end;
  const uint32_t step_x = ((uint32_t)source->w << 16) / (uint32_t)r.w;
  const uint32_t step_y = ((uint32_t)source->h << 16) / (uint32_t)r.h;
  if (columns_for != r.w || columns_source != source->w) {
    for (int x = 0; x < r.w; x++) columns[x] = (uint16_t)((step_x / 2 + (uint32_t)x * step_x) >> 16);
    columns_for = r.w;
    columns_source = source->w;
    uint8_t runs[MAX_SOURCE] = {};
    bool usable = source->w <= MAX_SOURCE;
    for (int x = 0; x < r.w && usable; x++) runs[columns[x]]++;
    for (int sx = 0; sx < source->w && usable; sx++) usable = runs[sx] >= 1 && runs[sx] <= MAX_RUN;
    wide = wide_end = 0;
    for (int x = 0; usable && wide < source->w && x + MAX_RUN <= r.w; x += runs[wide++]) starts[wide] = (uint16_t)x;
    if (wide > 0) wide_end = starts[wide - 1] + runs[wide - 1];
  }
  int last = -1;
  uint8_t *previous = nullptr;
  for (int y = 0; y < r.h; y++) {
    const int sy = (int)((step_y / 2 + (uint32_t)y * step_y) >> 16);
    written[y] = dirty[sy];
    if (!dirty[sy]) continue;
    uint8_t *out = (uint8_t *)target->pixels + (size_t)(r.y + y) * target->pitch + (size_t)r.x * 4;
    if (sy == last) {
      memcpy(out, previous, (size_t)r.w * 4);
    } else {
      const uint32_t *in = (const uint32_t *)((const uint8_t *)source->pixels + (size_t)sy * source->pitch);
      uint32_t *o = (uint32_t *)out;
      for (int sx = 0; sx < wide; sx++) {
        uint32_t *run = o + starts[sx];
        const uint32_t v = in[sx];
        run[0] = run[1] = run[2] = run[3] = v;
      }
      for (int x = wide_end; x < r.w; x++) o[x] = in[columns[x]];
      last = sy;
    }
    previous = out;
  }
}

// The picture as last scaled onto the target, row by row: a frame redraws
// (and the window receives) only the rows that differ from it, and most
// frames change few rows or none.
static uint32_t shown[SCREEN_PIXELS_Y * SCREEN_PIXELS_X];
static struct {
  bool valid;
  SDL_Surface *target;
  void *pixels;
  int w, h, pitch;
  SDL_Rect r;
} shown_on;

// Scales the picture into r and lists the bands of output rows it wrote in
// `changed` (at most PRESENT_MAX_RECTS; the last band stretches to take in
// any further ones). Returns the number of bands.
static int scale_picture(SDL_Surface *source, SDL_Surface *target, SDL_Rect r, SDL_Rect *changed) {
  const bool direct = target->format->format == source->format->format && target->format->BytesPerPixel == 4 &&
                      !SDL_MUSTLOCK(target) && !SDL_MUSTLOCK(source) && r.x >= 0 && r.y >= 0 &&
                      r.w <= PRESENT_MAX_SIZE && r.h <= PRESENT_MAX_SIZE && r.x + r.w <= target->w &&
                      r.y + r.h <= target->h && source->w == SCREEN_PIXELS_X && source->h == SCREEN_PIXELS_Y;
  if (!direct) {
    shown_on.valid = false;
    SDL_BlitScaled(source, nullptr, target, &r);
    changed[0] = r;
    return 1;
  }
  // Another target, size or place, or a repainted window: everything anew.
  if (!shown_on.valid || present_border_dirty || shown_on.target != target || shown_on.pixels != target->pixels ||
      shown_on.w != target->w || shown_on.h != target->h || shown_on.pitch != target->pitch ||
      !SDL_RectEquals(&shown_on.r, &r)) {
    shown_on.valid = false;
    shown_on.target = target;
    shown_on.pixels = target->pixels;
    shown_on.w = target->w;
    shown_on.h = target->h;
    shown_on.pitch = target->pitch;
    shown_on.r = r;
  }
  static uint8_t dirty[SCREEN_PIXELS_Y], written[PRESENT_MAX_SIZE];
  bool any = false;
  // Rows the renderer has not written since they were last compared are
  // as shown.
  const bool marked = source->pixels == frame_buffer;
  for (int sy = 0; sy < SCREEN_PIXELS_Y; sy++) {
    const void *row = (const uint8_t *)source->pixels + (size_t)sy * source->pitch;
    uint32_t *seen = shown + sy * SCREEN_PIXELS_X;
    const bool as_shown = shown_on.valid && marked && ((frame_rows_written[sy >> 6] >> (sy & 63)) & 1) == 0;
    dirty[sy] = !as_shown && (!shown_on.valid || memcmp(seen, row, sizeof(uint32_t) * SCREEN_PIXELS_X) != 0);
    if (dirty[sy]) {
      memcpy(seen, row, sizeof(uint32_t) * SCREEN_PIXELS_X);
      any = true;
    }
  }
  shown_on.valid = true;
  if (marked) memset(frame_rows_written, 0, sizeof frame_rows_written);
  if (!any) return 0;
  scale_rows(source, target, r, dirty, written);
  int bands = 0;
  for (int y = 0; y < r.h; y++) {
    if (!written[y]) continue;
    int end = y;
    while (end < r.h && written[end]) end++;
    if (bands == PRESENT_MAX_RECTS) {
      SDL_Rect &band = changed[bands - 1];
      band.h = r.y + end - band.y;
    } else {
      changed[bands++] = SDL_Rect{r.x, r.y + y, r.w, end - y};
    }
    y = end;
  }
  return bands;
}

int present_window(SDL_Surface *target, SDL_Rect *changed) {
  SDL_Rect unused[PRESENT_MAX_RECTS];
  if (changed == nullptr) changed = unused;
  if (target == nullptr) return 0;
  const present_layout &l = present_current;
  const int width = SCREEN_WIDTH, height = SCREEN_HEIGHT;
  if (present_border_dirty) {
    uint8_t rgb[3];
    vdp_pixel_rgb(present_border, rgb);
    const Uint32 c = SDL_MapRGB(target->format, rgb[0], rgb[1], rgb[2]);
    fill_rect(target, c, 0, 0, width, l.y);
    fill_rect(target, c, 0, l.y, l.x, l.h);
    fill_rect(target, c, l.x + l.w, l.y, width - (l.x + l.w), l.h);
    fill_rect(target, c, 0, l.y + l.h, width, height - (l.y + l.h));
  }
  int bands = 0;
  if (surface != nullptr && l.w > 0 && l.h > 0)
    bands = scale_picture(surface, target, SDL_Rect{l.x, l.y, l.w, l.h}, changed);
  // The status line, when it or what lies under it changed, or on another
  // surface.
  static const void *status_on;
  status_redrawn = false;
  if (!present_status_shown) status_on = nullptr;
  if (present_status_shown && status_surface != nullptr && l.status_w > 0 && l.status_h > 0 &&
      (present_status_changed || present_border_dirty || status_on != target->pixels)) {
    SDL_Rect r = {l.status_x, l.status_y, l.status_w, l.status_h};
    SDL_BlitScaled(status_surface, nullptr, target, &r);
    status_on = target->pixels;
    status_redrawn = true;
  }
  return bands;
}

// ---- window calls

void host_set_title(const char *title) {
  if (window) SDL_SetWindowTitle(window, title);
}

int host_window_fullscreen(void) {
  if (window == nullptr) return -1;
  return (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0 ? 1 : 0;
}

void host_mouse_relative(int on) { SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE); }
void host_mouse_motion(int *dx, int *dy) { SDL_GetRelativeMouseState(dx, dy); }
void host_center_mouse(void) {
  if (window != nullptr) SDL_WarpMouseInWindow(window, SCREEN_WIDTH / 2, SCREEN_HEIGHT / 2);
}
void host_delay(int milliseconds) {
  SDL_Delay((Uint32)milliseconds);
  slept = true;
}
void host_sleep_us(int microseconds) {
#ifdef _WIN32
  // Windows sleeps in whole milliseconds: never less than asked.
  SDL_Delay((Uint32)((microseconds + 999) / 1000));
#else
  std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
#endif
  slept = true;
}
void host_woke(void) { slept = true; }

// ---- the audio device

void host_audio_open(void) {
  // A second device would run a second callback on the same ring.
  host_audio_close();
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = SAMPLE_RATE;
  want.format = AUDIO_S16LSB;
  want.channels = 1;
  want.samples = 512;
  // The dummy driver wakes its thread once per buffer to play nothing, and
  // the machine is paced by its own timer then: large buffers, few wake-ups.
  const char *driver = SDL_GetCurrentAudioDriver();
  if (driver != nullptr && strcmp(driver, "dummy") == 0) want.samples = 4096;
  want.callback = fill_audio;
  // No format change allowed: the ring holds signed 16-bit mono samples.
  audio = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (audio == 0) fprintf(stderr, "Failed to open audio output: %s\n", SDL_GetError());
  audio_playing = false;
  audio_keeps_time = driver != nullptr && strcmp(driver, "dummy") != 0;
}

void host_audio_close(void) {
  if (audio != 0) SDL_CloseAudioDevice(audio);
  audio = 0;
  audio_playing = audio_keeps_time = false;
}

// Called for every block: the library is asked (under the device's lock)
// only the first time.
void host_audio_start(void) {
  if (audio != 0 && !audio_playing) {
    SDL_PauseAudioDevice(audio, 0);
    audio_playing = true;
  }
}

int host_audio_opened(void) { return audio != 0; }

// SDL's dummy driver calls back on a coarse timer of its own; it does not
// keep real time, so it counts as no device.
int host_audio_real_time(void) {
  return audio != 0 && audio_keeps_time && SDL_GetAudioDeviceStatus(audio) != SDL_AUDIO_STOPPED;
}

// ---- events

static int modifiers(Uint16 mod) {
  return ((mod & KMOD_CTRL) ? MOD_CTRL : 0) | ((mod & KMOD_SHIFT) ? MOD_SHIFT : 0) |
         ((mod & KMOD_ALT) ? MOD_ALT : 0) | ((mod & KMOD_GUI) ? MOD_GUI : 0) |
         ((mod & KMOD_CAPS) ? MOD_CAPS : 0) | ((mod & KMOD_RSHIFT) ? MOD_RSHIFT : 0);
}

static void dispatch(SDL_Event *e) {
  switch (e->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      event_key(e->key.keysym.sym, modifiers(e->key.keysym.mod), e->type == SDL_KEYDOWN);
      break;
    case SDL_QUIT:
      event_quit();
      break;
    case SDL_JOYAXISMOTION:
      event_joystick_axis(e->jaxis.which, e->jaxis.axis, e->jaxis.value);
      break;
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
      event_joystick_button(e->jbutton.which, e->jbutton.button, e->type == SDL_JOYBUTTONDOWN);
      break;
    case SDL_WINDOWEVENT:
      switch (e->window.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
          // The old surface is gone with the old size.
          if (window != nullptr) screenSurface = host_window_surface();
          event_window_size(e->window.data1, e->window.data2);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
          window_exposed = true;
          event_other();
          break;
        case SDL_WINDOWEVENT_MAXIMIZED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          event_window_shown();
          break;
        default:
          event_other();
          break;
      }
      break;
    case SDL_DROPFILE:
      if (e->drop.file != nullptr) {
        event_drop(e->drop.file);
        SDL_free(e->drop.file);
      }
      break;
    default:
      event_other();
      break;
  }
}

void host_poll_events(void) {
  // Asking the window system for new input costs several system calls. The
  // machine calls this every scanline and, paced, sleeps once a frame: the
  // first call after a sleep pumps (when PUMP_MS have passed), which is once
  // a frame. Running flat out, the clock is read every CLOCK_CALLS calls.
  // Events already queued are handled on every call. When the window
  // system has sent nothing (most frames) the pump is skipped, but it runs
  // every PUMP_IDLE_MS for the library's own timed work (a quit signal,
  // the screen saver, focus changes it defers), and always with a joystick
  // open (the pump reads it).
  enum { PUMP_MS = 8, PUMP_IDLE_MS = 50, CLOCK_CALLS = 256 };
  static Uint64 pumped_at, pumped_idle_at;
  static int calls;
  // A plain load first: the exchange is a locked instruction, and the flag
  // is almost always clear.
  bool look = !events_watched || (events_queued.load(std::memory_order_relaxed) &&
                                  events_queued.exchange(false, std::memory_order_acquire));
  if (slept || ++calls >= CLOCK_CALLS) {
    slept = false;
    calls = 0;
    const Uint64 now = SDL_GetTicks64();
    if (now - pumped_at >= PUMP_MS) {
      pumped_at = now;
      if (gGameController1 != nullptr || now - pumped_idle_at >= PUMP_IDLE_MS || host_window_events_waiting()) {
        SDL_PumpEvents();
        pumped_idle_at = now;
        // Also catches an event whose note came just before it was queued.
        look = true;
      }
    }
  }
  if (!look) return;
  SDL_Event e;
  while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) == 1) dispatch(&e);
}
