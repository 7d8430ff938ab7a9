// --help and --version of the window programs (tervox, tervox-pi,
// tervox-win): one text, with each program's own full-screen and quit keys.
#pragma once
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#define USAGE_MAPPING_FILE "Documents\\tervox_mapping.txt"
#else
#define USAGE_MAPPING_FILE "~/tervox_mapping.txt"
#endif

// The program's name from argv[0], without folder or ".exe".
inline const char *program_name(const char *argv0, char *out, size_t size) {
  const char *base = argv0 ? argv0 : "tervox";
  for (const char *p = base; *p; p++)
    if (*p == '/' || *p == '\\') base = p + 1;
  snprintf(out, size, "%s", base);
  size_t n = strlen(out);
  if (n > 4 && strcmp(out + n - 4, ".exe") == 0) out[n - 4] = '\0';
  return out;
}

// Prints what --help, -h or --version ask for and returns true; false for
// any other argument.
inline bool print_program_info(const char *argument, const char *program, const char *window_keys) {
  if (strcmp(argument, "--version") == 0) {
    printf("%s %s\n", program, TERVOX_VERSION);
    return true;
  }
  if (strcmp(argument, "--help") != 0 && strcmp(argument, "-h") != 0) return false;
  printf("usage: %s [IMAGE]\n"
         "Starts the emulator with a cartridge image (raw or in a .zip archive),\n"
         "an Adam tape (.ddp) or disk (.dsk) image; images can also be dropped\n"
         "on the window. An image that does not load is reported on the status\n"
         "line and here, and the running game goes on. Keys, joysticks and\n"
         "hotkeys are set in " USAGE_MAPPING_FILE ", written at every start and reset.\n"
         "Default hotkeys:\n"
         "  F1 save snapshot      F2 restore snapshot   F3 pause / resume\n"
         "  F4 NTSC / PAL         Ctrl+F4 state dump    F5 roller controller\n"
         "  F6 record video       F7 show key codes     F8 fast Adam drives\n"
         "  F9 record sound       Ctrl+F9 sound log     F10 screenshot\n"
         "  Backspace reset       %s\n"
         "Controller 1: arrows, Space and M (fire), 0-9, O (*), P (#).\n"
         "Controller 2: W A S D, Tab and Q (fire), R T Y F G H V B N K (keypad), J (*), L (#).\n"
         "Exit status: 0, or 1 when no display or window can be had.\n",
         program, window_keys);
  return true;
}
