// Mapping file and the event handling with its hotkeys. The host turns
// its own events into the event_* calls below (host/host.h).
#pragma once
#include <cstdint>

// Host key codes are SDL's, which is what the mapping file stores:
// printable keys are their character, the others a scancode with bit 30.
enum : int32_t {
  KEY_BACKSPACE = 8,
  KEY_TAB = 9,
  KEY_RETURN = 13,
  KEY_ESCAPE = 27,
  KEY_SPACE = 32,
  KEY_F = 'f',
  KEY_SCANCODE = 0x40000000,
  KEY_F1 = KEY_SCANCODE | 58,   // F1 to F12 follow one another
  KEY_F24 = KEY_SCANCODE | 115, // a key ordinary keyboards lack
  KEY_RIGHT = KEY_SCANCODE | 79,
  KEY_LEFT = KEY_SCANCODE | 80,
  KEY_DOWN = KEY_SCANCODE | 81,
  KEY_UP = KEY_SCANCODE | 82,
};
// Modifiers held with a key, either side unless named.
enum {
  MOD_CTRL = 1,
  MOD_SHIFT = 2,
  MOD_ALT = 4,
  MOD_GUI = 8,
  MOD_CAPS = 16,    // Caps Lock on
  MOD_RSHIFT = 32,  // the right Shift key
};

// One binding of a controller input or action: up to two keys and two
// joystick buttons (joystick number + 16 * button). Two of a kind make a chord.
struct key_binding {
  int32_t key_code;     // 0: none
  int32_t joy_button;   // -1: none
  int32_t key_code2;    // 0: none
  int32_t joy_button2;  // -1: none
  int32_t held;         // bits 0-3: key_code, key_code2, joy_button, joy_button2 down
};

// A host key with required modifiers that types one Adam key.
struct adam_binding {
  int32_t adam_key;   // index into ad_mappings; 0 ends the list
  int32_t key_code;
  int32_t modifiers;  // bit 0 Ctrl, bit 1 Shift, bit 2 Alt
};

enum { CV_NAMES = 52, AD_NAMES = 114, ADAM_LINES_MAX = 228, ADAM_DEFAULTS = 116 };
// An Adam binding's modifiers use the same bits.
enum { ADAM_MOD_CTRL = MOD_CTRL, ADAM_MOD_SHIFT = MOD_SHIFT, ADAM_MOD_ALT = MOD_ALT };

extern const char *const cv_mappings[CV_NAMES + 1];
extern const uint8_t adam_to_ascii[AD_NAMES];

// 0-51 primary bindings of cv_mappings, 52-103 their alternates.
extern key_binding desired_mapping[2 * CV_NAMES];
// Ends at the first adam_key 0; room for the terminator after 228 entries.
extern adam_binding desired_adam_mapping[ADAM_LINES_MAX + 1];
// Joystick and axis of controller 1 vertical, 1 horizontal, 2 vertical,
// 2 horizontal; then the negate flag of each, in the same order.
extern int32_t joystick_setup[12];
extern int32_t full_screen;
// 1: the mapping file is read but never written (headless runs).
extern int32_t mapping_read_only;
extern int32_t checking_codes;    // 1 while key codes are shown

void load_mapping(void);           // path, defaults, read, save: every reset
void save_mapping(void);
void do_something(void);           // handles every queued host event
// Host events taken so far: a line with none left the machine's memory to
// the CPU alone.
extern int32_t events_taken;
// mod: MOD_* bits of the key event that fired the action, 0 for a button.
void process_action(int action, int mod);

// Host events, as the host delivers them.
void event_key(int32_t key_code, int mod, int pressed);
void event_joystick_axis(int which, int axis, int value);
void event_joystick_button(int which, int button, int pressed);
void event_quit(void);                         // the window is closed
void event_window_size(int width, int height); // the client area's new size
void event_window_shown(void);                 // maximised, restored or focused
void event_drop(const char *path);             // a file dropped on the window
void event_other(void);                        // any other host event
