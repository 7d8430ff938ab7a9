// tervox (the Linux desktop) and tervox-pi (the Raspberry Pi).
#include <cstdio>
#include <cstring>

#include "app/usage.h"
#include "core/machine.h"

int main(int argc, char **argv) {
  char program[64];
  program_name(argc >= 1 ? argv[0] : nullptr, program, sizeof program);
  // The Pi has no window to switch; it has quit keys instead.
  const char *window_keys = strstr(program, "-pi") != nullptr
                                ? "Ctrl+Esc or Right Shift+Return quit"
                                : "Ctrl+GUI+F full screen";
  if (argc >= 2 && print_program_info(argv[1], program, window_keys)) return 0;
  return tervox_main(argc >= 2 ? argv[1] : nullptr);
}
