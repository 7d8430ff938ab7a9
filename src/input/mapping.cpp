// The mapping file: which host keys, joystick buttons and axes drive the
// controllers, the actions and the Adam keyboard. Rebuilt from defaults,
// read and written back in normal form at every reset.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/paths.h"
#include "core/machine.h"
#include "host/host.h"
#include "input/events.h"

const char *const cv_mappings[CV_NAMES + 1] = {
    "up_1", "right_1", "down_1", "left_1", "left_button_1", "right_button_1",
    "button3_1", "button4_1", "key1_1", "key2_1", "key3_1", "key4_1", "key5_1",
    "key6_1", "key7_1", "key8_1", "key9_1", "key*_1", "key0_1", "key#_1",
    "up_2", "right_2", "down_2", "left_2", "left_button_2", "right_button_2",
    "button3_2", "button4_2", "key1_2", "key2_2", "key3_2", "key4_2", "key5_2",
    "key6_2", "key7_2", "key8_2", "key9_2", "key*_2", "key0_2", "key#_2",
    "key_save", "key_restore", "key_exit", "key_pause", "key_reset",
    "key_rolling_controller", "key_record_video", "key_record_audio",
    "key_screenshot", "key_fast_disk", "key_sync", "key_codes",
    "key_???"};

static const char *const ad_mappings[AD_NAMES] = {
    "adam_???",
    "adam_nul", "adam_soh", "adam_stx", "adam_etx", "adam_eot", "adam_enq",
    "adam_ack", "adam_bel", "adam_bs", "adam_ht", "adam_lf", "adam_vt",
    "adam_ff", "adam_cr", "adam_so", "adam_si", "adam_dle", "adam_dc1",
    "adam_dc2", "adam_dc3", "adam_dc4", "adam_nak", "adam_syn", "adam_etb",
    "adam_can", "adam_em", "adam_sub", "adam_esc", "adam_fs", "adam_gs",
    "adam_rs", "adam_us",
    "adam_space", "adam_exclamation", "adam_quotes", "adam_number",
    "adam_dollar", "adam_percent", "adam_ampersand", "adam_apostrophe",
    "adam_leftparen", "adam_rightparen", "adam_multiply", "adam_plus",
    "adam_comma", "adam_minus", "adam_period", "adam_slash",
    "adam_colon", "adam_semicolon", "adam_less", "adam_equals",
    "adam_greater", "adam_question", "adam_at",
    "adam_leftsquare", "adam_backslash", "adam_rightsquare", "adam_power",
    "adam_underscore", "adam_grave",
    "adam_leftbracket", "adam_bar", "adam_rightbracket", "adam_tilde",
    "adam_del",
    "adam_home", "adam_i", "adam_ii", "adam_iii", "adam_iv", "adam_v",
    "adam_vi", "adam_shift_i", "adam_shift_ii", "adam_shift_iii",
    "adam_shift_iv", "adam_shift_v", "adam_shift_vi",
    "adam_wildcard", "adam_undo", "adam_move", "adam_store", "adam_insert",
    "adam_print", "adam_clear", "adam_delete",
    "adam_shift_wildcard", "adam_shift_undo", "adam_shift_move",
    "adam_shift_store", "adam_shift_insert", "adam_shift_print",
    "adam_shift_clear", "adam_shift_delete",
    "adam_up", "adam_right", "adam_down", "adam_left",
    "adam_ctrl_up", "adam_ctrl_right", "adam_ctrl_down", "adam_ctrl_left",
    "adam_up_right", "adam_right_down", "adam_down_left", "adam_left_up",
    "adam_home_up", "adam_home_right", "adam_home_down", "adam_home_left",
    "adam_shift_backspace", "adam_shift_tab"};

const uint8_t adam_to_ascii[AD_NAMES] = {
    0,
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
    16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31,
    32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47,
    58, 59, 60, 61, 62, 63, 64,
    91, 92, 93, 94, 95, 96,
    123, 124, 125, 126, 127,
    128, 129, 130, 131, 132, 133, 134, 137, 138, 139, 140, 141, 142,
    144, 145, 146, 147, 148, 149, 150, 151,
    152, 153, 154, 155, 156, 157, 158, 159,
    160, 161, 162, 163, 164, 165, 166, 167,
    168, 169, 170, 171, 172, 173, 174, 175,
    184, 185};

key_binding desired_mapping[2 * CV_NAMES];
adam_binding desired_adam_mapping[ADAM_LINES_MAX + 1];
int32_t joystick_setup[12];
int32_t full_screen;
int32_t mapping_read_only;
static char keys_filename[4096];
// Whether the file may be written back: it was read, or there was none. A
// FIFO, a device, a huge or unreadable file in its place is left alone.
static bool mapping_writable;
// Real files have a few hundred lines; anything far larger is not one.
static const long MAPPING_FILE_MAX = 1 << 20;

// Index of an Adam key name; the default table below is written by name so
// that it reads like the documentation of the keyboard.
static int adam_index(const char *name) {
  for (int a = 0; a < AD_NAMES; a++)
    if (strcmp(ad_mappings[a], name) == 0) return a;
  return 0;
}

struct adam_default_entry {
  const char *name;
  int32_t key_code;
  int32_t modifiers;
};

enum { C = ADAM_MOD_CTRL, S = ADAM_MOD_SHIFT, A = ADAM_MOD_ALT };
static const int32_t NO_KEY = 999;  // bindable only by editing the file

// Shift variants come before plain ones: modifiers are required, not excluded.
static const adam_default_entry adam_default[ADAM_DEFAULTS] = {
    {"adam_shift_i", '1', S | A}, {"adam_shift_ii", '2', S | A},
    {"adam_shift_iii", '3', S | A}, {"adam_shift_iv", '4', S | A},
    {"adam_shift_v", '5', S | A}, {"adam_shift_vi", '6', S | A},
    {"adam_i", '1', A}, {"adam_ii", '2', A}, {"adam_iii", '3', A},
    {"adam_iv", '4', A}, {"adam_v", '5', A}, {"adam_vi", '6', A},
    {"adam_shift_wildcard", 'w', S | A}, {"adam_wildcard", 'w', A},
    {"adam_shift_undo", 'u', S | A}, {"adam_undo", 'u', A},
    {"adam_shift_move", 'm', S | A}, {"adam_move", 'm', A},
    {"adam_shift_store", 's', S | A}, {"adam_store", 's', A},
    {"adam_shift_insert", 'i', S | A}, {"adam_insert", 'i', A},
    {"adam_shift_print", 'p', S | A}, {"adam_print", 'p', A},
    {"adam_shift_clear", 'c', S | A}, {"adam_clear", 'c', A},
    {"adam_del", 'd', C | A}, {"adam_shift_delete", 'd', S | A},
    {"adam_delete", 'd', A},
    {"adam_ctrl_up", KEY_UP, C}, {"adam_ctrl_right", KEY_RIGHT, C},
    {"adam_ctrl_down", KEY_DOWN, C}, {"adam_ctrl_left", KEY_LEFT, C},
    {"adam_nul", '2', C},
    {"adam_soh", 'a', C}, {"adam_stx", 'b', C}, {"adam_etx", 'c', C},
    {"adam_eot", 'd', C}, {"adam_enq", 'e', C}, {"adam_ack", 'f', C},
    {"adam_bel", 'g', C}, {"adam_bs", 'h', C}, {"adam_ht", 'i', C},
    {"adam_lf", 'j', C}, {"adam_vt", 'k', C}, {"adam_ff", 'l', C},
    {"adam_cr", 'm', C}, {"adam_so", 'n', C}, {"adam_si", 'o', C},
    {"adam_dle", 'p', C}, {"adam_dc1", 'q', C}, {"adam_dc2", 'r', C},
    {"adam_dc3", 's', C}, {"adam_dc4", 't', C}, {"adam_nak", 'u', C},
    {"adam_syn", 'v', C}, {"adam_etb", 'w', C}, {"adam_can", 'x', C},
    {"adam_em", 'y', C}, {"adam_sub", 'z', C},
    {"adam_fs", '3', C}, {"adam_gs", '4', C}, {"adam_rs", '5', C},
    {"adam_us", '6', C},
    {"adam_shift_backspace", KEY_BACKSPACE, S}, {"adam_shift_tab", KEY_TAB, S},
    {"adam_esc", KEY_ESCAPE, 0},
    {"adam_exclamation", '1', S}, {"adam_quotes", '\'', S},
    {"adam_number", '3', S}, {"adam_dollar", '4', S},
    {"adam_percent", '5', S}, {"adam_ampersand", '7', S},
    {"adam_multiply", '8', S}, {"adam_leftparen", '9', S},
    {"adam_rightparen", '0', S}, {"adam_colon", ';', S},
    {"adam_less", ',', S}, {"adam_greater", '.', S},
    {"adam_question", '/', S}, {"adam_at", '2', S},
    {"adam_cr", KEY_RETURN, 0},
    {"adam_up", KEY_UP, 0}, {"adam_right", KEY_RIGHT, 0},
    {"adam_down", KEY_DOWN, 0}, {"adam_left", KEY_LEFT, 0},
    {"adam_bs", KEY_BACKSPACE, 0}, {"adam_ht", KEY_TAB, 0},
    {"adam_space", ' ', 0}, {"adam_apostrophe", '\'', 0},
    {"adam_comma", ',', 0}, {"adam_period", '.', 0},
    {"adam_slash", '/', 0}, {"adam_semicolon", ';', 0},
    {"adam_leftbracket", '[', S}, {"adam_rightbracket", ']', S},
    {"adam_bar", '\\', S},
    {"adam_leftsquare", '[', 0}, {"adam_rightsquare", ']', 0},
    {"adam_backslash", '\\', 0},
    {"adam_home", NO_KEY, 0}, {"adam_up_right", NO_KEY, 0},
    {"adam_right_down", NO_KEY, 0}, {"adam_down_left", NO_KEY, 0},
    {"adam_left_up", NO_KEY, 0}, {"adam_home_up", NO_KEY, 0},
    {"adam_home_right", NO_KEY, 0}, {"adam_home_down", NO_KEY, 0},
    {"adam_home_left", NO_KEY, 0},
    {"adam_underscore", '6', S}, {"adam_equals", '+', S},
    {"adam_grave", '-', S}, {"adam_tilde", '`', S},
    {"adam_power", '`', 0}, {"adam_plus", '+', 0}, {"adam_minus", '-', 0}};

// Primary defaults: key, and joystick button (-1 for none), per name.
struct cv_default_entry {
  int32_t key_code;
  int32_t joy_button;
};

static const cv_default_entry cv_default[CV_NAMES] = {
    {KEY_UP, -1}, {KEY_RIGHT, -1}, {KEY_DOWN, -1}, {KEY_LEFT, -1},
    {KEY_SPACE, 0 + 16 * 0}, {'m', 0 + 16 * 1}, {KEY_F24, -1}, {KEY_F24, -1},
    {'1', -1}, {'2', -1}, {'3', -1}, {'4', -1}, {'5', -1}, {'6', -1},
    {'7', -1}, {'8', -1}, {'9', -1}, {'o', -1}, {'0', -1}, {'p', -1},
    {'w', -1}, {'d', -1}, {'s', -1}, {'a', -1},
    {KEY_TAB, 1 + 16 * 0}, {'q', 1 + 16 * 1}, {KEY_F24, -1}, {KEY_F24, -1},
    {'r', -1}, {'t', -1}, {'y', -1}, {'f', -1}, {'g', -1}, {'h', -1},
    {'v', -1}, {'b', -1}, {'n', -1}, {'j', -1}, {'k', -1}, {'l', -1},
    {KEY_F1, -1},           // key_save
    {KEY_F1 + 1, -1},       // key_restore
    {KEY_F24, -1},          // key_exit
    {KEY_F1 + 2, -1},       // key_pause
    {KEY_BACKSPACE, -1},    // key_reset
    {KEY_F1 + 4, -1},       // key_rolling_controller
    {KEY_F1 + 5, -1},       // key_record_video
    {KEY_F1 + 8, -1},       // key_record_audio
    {KEY_F1 + 9, -1},       // key_screenshot
    {KEY_F1 + 7, -1},       // key_fast_disk
    {KEY_F1 + 3, -1},       // key_sync
    {KEY_F1 + 6, -1}};      // key_codes

static const int32_t joystick_default[12] = {0, 1, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0};

static void empty_binding(key_binding *b) {
  b->key_code = 0;
  b->joy_button = -1;
  b->key_code2 = 0;
  b->joy_button2 = -1;
  b->held = 0;
}

static void set_defaults(void) {
  for (int i = 0; i < 2 * CV_NAMES; i++) empty_binding(&desired_mapping[i]);
  for (int i = 0; i < CV_NAMES; i++) {
    desired_mapping[i].key_code = cv_default[i].key_code;
    desired_mapping[i].joy_button = cv_default[i].joy_button;
  }
  memcpy(joystick_setup, joystick_default, sizeof joystick_setup);
  memset(desired_adam_mapping, 0, sizeof desired_adam_mapping);
}

// Decimal value of the leading digits (after an optional sign); anything
// malformed reads as 0 and huge values saturate instead of overflowing.
static int32_t parse_number(const char *s) {
  int sign = 1;
  if (*s == '-' || *s == '+') {
    if (*s == '-') sign = -1;
    s++;
  }
  int64_t v = 0;
  while (*s >= '0' && *s <= '9') {
    v = v * 10 + (*s - '0');
    if (v > INT32_MAX) v = INT32_MAX;
    s++;
  }
  return (int32_t)(sign * v);
}

// Next blank-separated token of *p, lower-cased into out; false at the end.
static bool next_token(char **p, char *out, size_t size) {
  char *s = *p;
  while (*s && isspace((unsigned char)*s)) s++;
  if (*s == '\0') {
    *p = s;
    return false;
  }
  size_t n = 0;
  while (*s && !isspace((unsigned char)*s)) {
    if (n + 1 < size) out[n++] = (char)tolower((unsigned char)*s);
    s++;
  }
  out[n] = '\0';
  *p = s;
  return true;
}

static bool starts_with(const char *s, const char *prefix) {
  return strncmp(s, prefix, strlen(prefix)) == 0;
}

static bool window_is_full_screen(void) {
  int state = host_window_fullscreen();
  return state >= 0 ? state != 0 : full_screen != 0;
}

static void parse_joystick_line(int slot, char *rest) {
  char token[256];
  while (next_token(&rest, token, sizeof token)) {
    if (starts_with(token, "joy"))
      joystick_setup[slot] = parse_number(token + 3);
    else if (starts_with(token, "axis"))
      joystick_setup[slot + 1] = parse_number(token + 4);
    else if (starts_with(token, "neg") && platform != PLATFORM_PI)  // the Pi has no negate flags
      joystick_setup[8 + slot / 2] = parse_number(token + 3);
  }
}

static void parse_fullscreen_line(char *rest) {
  char token[256];
  if (!next_token(&rest, token, sizeof token)) return;
  if (strcmp(token, "yes") == 0) {
    if (!window_is_full_screen()) host_set_fullscreen(1);
    full_screen = 1;
  } else if (strcmp(token, "no") == 0) {
    if (window_is_full_screen()) host_set_fullscreen(0);
    full_screen = 0;
  }
}

static void parse_binding_line(int i, char *rest) {
  key_binding *b = desired_mapping[i].held ? &desired_mapping[CV_NAMES + i] : &desired_mapping[i];
  empty_binding(b);
  b->held = 1;  // later lines for this name go to the alternate
  desired_mapping[i].held = 1;
  bool have_key = false, have_button = false;
  char token[256];
  while (next_token(&rest, token, sizeof token)) {
    if (starts_with(token, "joy") && token[3] >= '0' && token[3] <= '9' && token[4] == '_') {
      int32_t button = parse_number(token + 5);
      // Keeps joystick + 16 * button inside 32 bits.
      if (button > (1 << 26)) button = 1 << 26;
      if (button < -(1 << 26)) button = -(1 << 26);
      int32_t value = (token[3] - '0') + 16 * button;
      if (have_button) b->joy_button2 = value; else b->joy_button = value;
      have_button = true;
    } else if (starts_with(token, "key")) {
      int32_t code = parse_number(token + 3);
      if (have_key) b->key_code2 = code; else b->key_code = code;
      have_key = true;
    }
  }
}

static void parse_adam_line(int a, char *rest, int *count) {
  // "adam_???" names no key; stored, its 0 would end the list and the lines
  // after it would be lost when the file is written back.
  if (a == 0 || *count >= ADAM_LINES_MAX) return;
  adam_binding *e = &desired_adam_mapping[(*count)++];
  e->adam_key = a;
  e->key_code = 0;
  e->modifiers = 0;
  char token[256];
  while (next_token(&rest, token, sizeof token)) {
    if (starts_with(token, "key")) e->key_code = parse_number(token + 3);
    else if (starts_with(token, "ctrl")) e->modifiers |= ADAM_MOD_CTRL;
    else if (starts_with(token, "shif")) e->modifiers |= ADAM_MOD_SHIFT;
    else if (strcmp(token, "alt") == 0) e->modifiers |= ADAM_MOD_ALT;
  }
}

static void parse_line(char *line, int *adam_count) {
  char keyword[256];
  char *rest = line;
  while (*rest && isspace((unsigned char)*rest)) rest++;
  if (*rest == '\'') return;
  if (!next_token(&rest, keyword, sizeof keyword)) return;

  static const char *const joystick_names[4] = {"joystick_1_vert", "joystick_1_horiz",
                                                "joystick_2_vert", "joystick_2_horiz"};
  for (int j = 0; j < 4; j++)
    if (strcmp(keyword, joystick_names[j]) == 0) return parse_joystick_line(2 * j, rest);
  if (strcmp(keyword, "fullscreen") == 0) return parse_fullscreen_line(rest);
  for (int i = 0; i < CV_NAMES; i++)
    if (strcmp(keyword, cv_mappings[i]) == 0) return parse_binding_line(i, rest);
  for (int a = 0; a < AD_NAMES; a++)
    if (strcmp(keyword, ad_mappings[a]) == 0) return parse_adam_line(a, rest, adam_count);
}

static void read_mapping(void) {
  int adam_count = 0;
  long long size = 0;
  int kind = FILE_MISSING;
  FILE *f = keys_filename[0] ? open_regular_file(keys_filename, "r", MAPPING_FILE_MAX, &size, &kind) : nullptr;
  mapping_writable = f != nullptr || kind == FILE_MISSING;
  if (f != nullptr) {
    // Lines longer than 254 characters arrive in pieces, each parsed alone.
    // A file still growing is read up to the limit.
    char line[255];
    while (ftell(f) <= MAPPING_FILE_MAX && fgets(line, sizeof line, f) != nullptr) parse_line(line, &adam_count);
    fclose(f);
  }
  for (int i = 0; i < 2 * CV_NAMES; i++) desired_mapping[i].held = 0;
  if (desired_adam_mapping[0].adam_key == 0) {
    // Appended after whatever was read; the copy stops at the table's end.
    for (int d = 0; d < ADAM_DEFAULTS && adam_count < ADAM_LINES_MAX; d++, adam_count++) {
      adam_binding *e = &desired_adam_mapping[adam_count];
      e->adam_key = adam_index(adam_default[d].name);
      e->key_code = adam_default[d].key_code;
      e->modifiers = adam_default[d].modifiers;
    }
  }
  desired_adam_mapping[ADAM_LINES_MAX].adam_key = 0;
}

void load_mapping(void) {
  if (user_path(FOLDER_DOCUMENTS, keys_filename, sizeof keys_filename, "tervox_mapping.txt") != 0)
    keys_filename[0] = '\0';
  set_defaults();
  read_mapping();
  save_mapping();
}

// The file's text is built here and then replaces the file in one step, so
// that a crash never leaves the user's bindings truncated.
static char mapping_text[32768];
static size_t mapping_length;
static bool mapping_overflow;

static void append(const char *format, ...) {
  if (mapping_overflow) return;
  va_list args;
  va_start(args, format);
  size_t room = sizeof mapping_text - mapping_length;
  int n = vsnprintf(mapping_text + mapping_length, room, format, args);
  va_end(args);
  if (n < 0 || (size_t)n >= room) mapping_overflow = true;
  else mapping_length += (size_t)n;
}

static bool binding_is_empty(const key_binding *b) {
  return b->key_code == 0 && b->key_code2 == 0 && b->joy_button == -1 && b->joy_button2 == -1;
}

void save_mapping(void) {
  if (keys_filename[0] == '\0' || mapping_read_only || !mapping_writable) return;
  mapping_length = 0;
  mapping_overflow = false;
  append("' Tervox mappings for Colecovision controllers to keyboard and joystick\n");
  append("fullscreen\t%s\n", full_screen ? "yes" : "no");
  static const char *const joystick_names[4] = {"joystick_1_vert", "joystick_1_horiz",
                                                "joystick_2_vert", "joystick_2_horiz"};
  for (int j = 0; j < 4; j++) {
    append("%s\tjoy%d\taxis%d", joystick_names[j], (int)joystick_setup[2 * j], (int)joystick_setup[2 * j + 1]);
    if (platform != PLATFORM_PI) append("\tneg%d", (int)joystick_setup[8 + j]);
    append("\n");
  }
  for (int i = 0; i < 2 * CV_NAMES; i++) {
    const key_binding *b = &desired_mapping[i];
    if (i >= CV_NAMES && binding_is_empty(b)) continue;
    append("%s\tkey%d", cv_mappings[i % CV_NAMES], (int)b->key_code);
    if (b->key_code2 != 0) append("\tkey%d", (int)b->key_code2);
    if (b->joy_button != -1) append("\tjoy%d_%d", (int)(b->joy_button & 15), (int)(b->joy_button >> 4));
    if (b->joy_button2 != -1) append("\tjoy%d_%d", (int)(b->joy_button2 & 15), (int)(b->joy_button2 >> 4));
    append("\n");
  }
  for (int n = 0; n <= ADAM_LINES_MAX && desired_adam_mapping[n].adam_key != 0; n++) {
    const adam_binding *e = &desired_adam_mapping[n];
    append("%s\t", ad_mappings[e->adam_key]);
    if (e->modifiers & ADAM_MOD_CTRL) append("ctrl\t");
    if (e->modifiers & ADAM_MOD_SHIFT) append("shift\t");
    if (e->modifiers & ADAM_MOD_ALT) append("alt\t");
    append("key%d\n", (int)e->key_code);
  }
  if (!mapping_overflow) replace_text_file(keys_filename, mapping_text, mapping_length);
}
