// tervox-win: the command line arrives as one string; a path may be quoted.
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "app/command_line.h"
#include "app/usage.h"
#include "core/machine.h"

#ifdef _WIN32
// A window program has no console of its own: started from one, it writes
// its help and its errors there; redirected output stays where it goes.
static void use_parent_console(void) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if ((out != nullptr && out != INVALID_HANDLE_VALUE) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
  if (freopen("CONOUT$", "w", stdout) == nullptr) return;
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) freopen("CONOUT$", "w", stderr);
}
#endif

int main(int argc, char **argv) {
#ifdef _WIN32
  use_parent_console();
#endif
  char program[64];
  program_name(argc >= 1 ? argv[0] : nullptr, program, sizeof program);
  const std::string line = whole_command_line(argc, argv);
  const std::string path = path_from_command_line(skip_program_name(line.c_str()));
  if (print_program_info(path.c_str(), program, "Alt+Return full screen")) return 0;
  return tervox_main(path.empty() ? nullptr : path.c_str());
}
