// Mapping file and the host event loop with its hotkeys.
#pragma once
#include <cstdint>

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
enum { ADAM_MOD_CTRL = 1, ADAM_MOD_SHIFT = 2, ADAM_MOD_ALT = 4 };

extern const char *const cv_mappings[CV_NAMES + 1];
extern const char *const ad_mappings[AD_NAMES];
extern const uint8_t adam_to_ascii[AD_NAMES];

// 0-51 primary bindings of cv_mappings, 52-103 their alternates.
extern key_binding desired_mapping[2 * CV_NAMES];
// Ends at the first adam_key 0; room for the terminator after 228 entries.
extern adam_binding desired_adam_mapping[ADAM_LINES_MAX + 1];
// Joystick and axis of controller 1 vertical, 1 horizontal, 2 vertical,
// 2 horizontal; then the negate flag of each, in the same order.
extern int32_t joystick_setup[12];
extern int32_t full_screen;
extern char keys_filename[4096];
extern int32_t checking_codes;    // 1 while key codes are shown

void load_mapping(void);           // path, defaults, read, save: every reset
void save_mapping(void);
void do_something(void);           // polls and handles every host event
void process_action(int action, int mod);
