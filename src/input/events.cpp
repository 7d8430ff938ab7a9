// The host event loop: controller bindings, Adam typing, hotkeys, window
// changes and dropped files.
#include "input/events.h"

#include <cstdio>

#include "adam/adamnet.h"
#include "capture/capture.h"
#include "common/paths.h"
#include "core/machine.h"
#include "host/host.h"
#include "input/ports.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/present.h"
#include "video/vdp.h"

int32_t checking_codes;

enum {
  ACTION_SAVE = 40, ACTION_RESTORE, ACTION_EXIT, ACTION_PAUSE, ACTION_RESET,
  ACTION_ROLLER, ACTION_RECORD_VIDEO, ACTION_RECORD_AUDIO, ACTION_SCREENSHOT,
  ACTION_FAST_DISK, ACTION_SYNC, ACTION_CODES
};

// The one snapshot slot.
#ifdef _WIN32
static const char SNAPSHOT_PATH[] = "tervox_snapshot.bin";  // in the working folder
#else
static const char SNAPSHOT_PATH[] = "/var/tmp/tervox_snapshot.bin";
#endif
static const int32_t AXIS_THRESHOLD = 8000;
static const uint32_t AXIS_BIT = 2;  // key events own the rest of the entry

// Each kind of recording searches on from the last number it took.
static int video_counter = 1;
static int audio_counter = 1;

// Every way out of the program finishes the recordings, so no file is left
// without its sizes or index.
static void end_recordings(void) {
  end_sound_recording();
  record_sound = 0;
  avi_end_video();
  record_video = 0;
}

static void request_quit(void) {
  end_recordings();
  emulator_event = 1;
  quit = 1;
}

static void toggle_full_screen(void) {
  const int state = host_window_fullscreen();
  bool is_full = state >= 0 ? state != 0 : full_screen != 0;
  host_set_fullscreen(is_full ? 0 : 1);
  full_screen = is_full ? 0 : 1;
  save_mapping();
}

// The Adam code a key press types when no Adam binding matches; 255 is none.
static int plain_adam_code(int32_t k, int mod) {
  if (mod & MOD_SHIFT) return (k >= 'a' && k <= 'z') ? (int)(k - 'a' + 'A') : 255;
  if ((k >= '0' && k <= '9') || k == ';') return (int)k;
  if (k >= 'a' && k <= 'z') return (mod & MOD_CAPS) ? (int)(k - 'a' + 'A') : (int)k;
  return 255;
}

// Returns whether the key types a character (even if the queue is full).
static bool type_adam_key(int32_t k, int mod) {
  const int held = mod & (ADAM_MOD_CTRL | ADAM_MOD_SHIFT | ADAM_MOD_ALT);
  int code = -1;
  for (int n = 0; n <= ADAM_LINES_MAX && desired_adam_mapping[n].adam_key != 0; n++) {
    const adam_binding *e = &desired_adam_mapping[n];
    if (e->key_code == k && (e->modifiers & ~held & 7) == 0) {
      code = adam_to_ascii[e->adam_key];
      break;
    }
  }
  if (code < 0) code = plain_adam_code(k, mod);
  for (int slot = 0; slot < 16; slot++) {
    if (adam_keyboard[slot] == 0) {
      adam_keyboard[slot] = ~code & 255;
      return code != 255;
    }
  }
  // Queue full: the key is lost.
  return code != 255;
}

// typed: the press typed on the Adam keyboard, so it runs no action (the
// default Backspace would otherwise reset the Adam under the user's text).
static void key_event(int32_t k, int mod, int p, bool typed) {
  if (p && checking_codes) {
    char text[32];
    snprintf(text, sizeof text, "key%d", (int)k);
    message(text);
  }
  for (int j = 0; j < 2 * CV_NAMES; j++) {
    key_binding *b = &desired_mapping[j];
    if (k == b->key_code) b->held = p ? (b->held | 1) : (b->held & ~1);
    else if (k == b->key_code2) b->held = p ? (b->held | 2) : (b->held & ~2);
    else continue;
    bool down = b->key_code2 != 0 ? (b->held & 3) == 3 : (b->held & 1) != 0;
    if (down != (p != 0)) continue;
    key_table[j % CV_NAMES] = (uint32_t)p;
    if (p && !typed) process_action(j % CV_NAMES, mod);
  }
}

static void set_axis_bit(int entry, bool on) {
  if (on) key_table[entry] |= AXIS_BIT;
  else key_table[entry] &= ~AXIS_BIT;
}

// negative: left or up; positive: right or down.
static void axis_update(int negative, int positive, int value, int negate) {
  bool low = value < -AXIS_THRESHOLD, high = value > AXIS_THRESHOLD;
  set_axis_bit(negative, negate ? high : low);
  set_axis_bit(positive, negate ? low : high);
}

static bool axis_is(int binding, int which, int axis) {
  return joystick_setup[2 * binding] == which && joystick_setup[2 * binding + 1] == axis;
}

static void axis_event(int which, int axis, int value) {
  if (checking_codes) {
    char text[48];
    snprintf(text, sizeof text, "joy%d axis%d %d", which, axis, value);
    message(text);
  }
  // Bindings 0-3: controller 1 vertical, 1 horizontal, 2 vertical, 2 horizontal.
  if (axis_is(1, which, axis)) axis_update(3, 1, value, joystick_setup[9]);
  else if (axis_is(0, which, axis)) axis_update(0, 2, value, joystick_setup[8]);
  if (axis_is(3, which, axis)) axis_update(23, 21, value, joystick_setup[11]);
  else if (axis_is(2, which, axis)) axis_update(20, 22, value, joystick_setup[10]);
}

static bool button_is(int32_t joy_button, int which, int button) {
  return joy_button != -1 && which == (joy_button & 15) && button == (joy_button >> 4);
}

static void button_event(int which, int button, int p) {
  if (p && checking_codes) {
    char text[32];
    snprintf(text, sizeof text, "joy%d_%d", which, button);
    message(text);
  }
  for (int j = 0; j < 2 * CV_NAMES; j++) {
    key_binding *b = &desired_mapping[j];
    if (button_is(b->joy_button, which, button)) b->held = p ? (b->held | 4) : (b->held & ~4);
    else if (button_is(b->joy_button2, which, button)) b->held = p ? (b->held | 8) : (b->held & ~8);
    else continue;
    bool down = b->joy_button2 != -1 ? (b->held & 12) == 12 : (b->held & 4) != 0;
    if (p && down) {
      key_table[j % CV_NAMES] = 1;
      process_action(j % CV_NAMES, 0);
    } else if (!p && !down) {
      key_table[j % CV_NAMES] = 0;
    }
  }
}

// The Pi program may have no keyboard: holding * and # on controller 1
// quits, checked at every event.
static void pi_quit_keys(void) {
  if (platform == PLATFORM_PI && key_table[K_STAR] && key_table[K_HASH]) request_quit();
}

void event_key(int32_t k, int mod, int pressed) {
  events_taken++;
  pi_quit_keys();
  // An unidentified key would match every empty binding, actions included.
  if (k == 0) return;
  bool typed = false;
  if (pressed) {
    if (platform == PLATFORM_PI) {
      // No window to switch: Ctrl+Escape and Right Shift+Return quit instead.
      if (((mod & MOD_CTRL) && k == KEY_ESCAPE) || ((mod & MOD_RSHIFT) && k == KEY_RETURN)) request_quit();
    } else if (platform == PLATFORM_WINDOWS) {
      if ((mod & MOD_ALT) && k == KEY_RETURN) toggle_full_screen();
    } else if ((mod & MOD_CTRL) && (mod & MOD_GUI) && k == KEY_F) {
      toggle_full_screen();
    }
    if (nmi_use == MODE_ADAM) typed = type_adam_key(k, mod);
  }
  key_event(k, mod, pressed != 0, typed);
}

void event_joystick_axis(int which, int axis, int value) {
  events_taken++;
  pi_quit_keys();
  axis_event(which, axis, value);
}

void event_joystick_button(int which, int button, int pressed) {
  events_taken++;
  pi_quit_keys();
  button_event(which, button, pressed != 0);
}

void event_quit(void) {
  events_taken++;
  pi_quit_keys();
  request_quit();
}

void event_window_size(int width, int height) {
  events_taken++;
  pi_quit_keys();
  SCREEN_WIDTH = width;
  SCREEN_HEIGHT = height;
  previous_border_color = -1;
}

void event_window_shown(void) {
  events_taken++;
  pi_quit_keys();
  update_screen();
}

void event_drop(const char *path) {
  events_taken++;
  pi_quit_keys();
  if (path == nullptr) return;
  // A file that does not load leaves the running game as it was.
  if (open_rom_file(path) != 0) {
    report_load_error(path);
    return;
  }
  init_peripheral(0);
}

void event_other(void) {
  events_taken++;
  pi_quit_keys();
}

int32_t events_taken;

void do_something(void) { host_poll_events(); }

static void toggle_video_recording(void) {
  if (record_video) {
    record_video = 0;
    avi_end_video();
    message("Video recording ended");
    return;
  }
  char path[4096];
  FILE *f = nullptr;
  if (next_numbered_user_path(FOLDER_DOCUMENTS, path, sizeof path, "video%03d.avi", &video_counter) == 0)
    f = open_file(path, "wb");
  if (f == nullptr) {
    message("Video recording couldn't open AVI file");
    return;
  }
  video_file = f;
  record_video = 1;
  if (avi_start_video() != 0) {
    // Without headers and index the file is useless: drop it.
    if (video_file != nullptr) {
      fclose(video_file);
      video_file = nullptr;
    }
    remove_file(path);
    record_video = 0;
    message("Video recording couldn't open AVI file");
    return;
  }
  message("Starting video recording");
}

static void toggle_sound_recording(void) {
  if (record_sound) {
    record_sound = 0;
    end_sound_recording();
    message("Sound recording ended");
    return;
  }
  char path[4096];
  FILE *f = nullptr;
  if (next_numbered_user_path(FOLDER_MUSIC, path, sizeof path, "audio%03d.wav", &audio_counter) == 0)
    f = open_file(path, "wb");
  if (f == nullptr) {
    message("Sound recording couldn't open WAV file");
    return;
  }
  sound_file = f;
  record_sound = 1;
  wav_start(f);
  if (sound_file != nullptr) message("Starting sound recording");
}

void process_action(int action, int mod) {
  const bool ctrl = (mod & MOD_CTRL) != 0;
  switch (action) {
    case ACTION_SAVE:
      if (save_snapshot(SNAPSHOT_PATH) == 0) message("Snapshot saved");
      break;
    case ACTION_RESTORE:
      if (read_snapshot(SNAPSHOT_PATH) == 0) message("Snapshot read");
      break;
    case ACTION_EXIT:
      request_quit();
      break;
    case ACTION_PAUSE:
      if (emulator_event == 1) {
        audio_reset_ring();
        audio_open();
        emulator_event = 2;
        if (platform != PLATFORM_PI) message("Running");
      } else if (platform == PLATFORM_PI) {
        emulator_event = 1;  // the Pi stops at once, with no message
        audio_close();
      } else {
        do_pause = 1;  // the frame driver stops at the end of the frame
      }
      break;
    case ACTION_RESET:
      init_peripheral(1);
      message("Reset");
      break;
    case ACTION_ROLLER:
      if (roller_enabled) {
        roller_enabled = 0;
        host_mouse_relative(0);
        message("Roller Controller disabled");
      } else {
        roller_enabled = 1;
        roller_x = roller_y = 0;
        host_center_mouse();
        host_mouse_relative(1);
        message("Roller Controller enabled");
      }
      break;
    case ACTION_RECORD_VIDEO:
      toggle_video_recording();
      break;
    case ACTION_RECORD_AUDIO:
      if (ctrl) {
        record_psg = !record_psg;
        message(record_psg ? "Started logging PSG" : "Finished logging PSG");
      } else {
        toggle_sound_recording();
      }
      break;
    case ACTION_SCREENSHOT:
      if (emulator_event == 1) save_screenshot();
      else get_screenshot = 1;
      break;
    case ACTION_FAST_DISK:
      adam_fast = !adam_fast;
      message(adam_fast ? "Ultrafast disk/tape" : "Normal speed disk/tape");
      break;
    case ACTION_SYNC:
      if (ctrl) {
        debugging_snapshot();
        message("Memory snapshot created");
      } else {
        vdp_pal = !vdp_pal;
        init_peripheral(0);
        vdp_init();
        message(vdp_pal ? "PAL mode" : "NTSC mode");
      }
      break;
    case ACTION_CODES:
      checking_codes = !checking_codes;
      message(checking_codes ? "Checking codes" : "Not checking codes");
      break;
    default:
      break;
  }
}
