// tervox-win: the command line arrives as one string; a path may be quoted.
#include <cctype>
#include <cstring>
#include <string>

#include "app/usage.h"
#include "core/machine.h"

// The image path from a whole command line (without the program name).
static std::string path_from_command_line(const char *line) {
  while (*line && isspace((unsigned char)*line)) line++;
  std::string path;
  if (*line == '"') {
    line++;
    while (*line && *line != '"' && path.size() < 4095) path += *line++;
  } else {
    while (*line && !isspace((unsigned char)*line) && path.size() < 4095) path += *line++;
  }
  return path;
}

int main(int argc, char **argv) {
  char program[64];
  program_name(argc >= 1 ? argv[0] : nullptr, program, sizeof program);
  if (argc >= 2 && print_program_info(argv[1], program, "Alt+Return full screen")) return 0;
  std::string line;
  for (int i = 1; i < argc; i++) {
    if (i > 1) line += ' ';
    bool blank = strchr(argv[i], ' ') != nullptr;
    if (blank) line += '"';
    line += argv[i];
    if (blank) line += '"';
  }
  std::string path = path_from_command_line(line.c_str());
  return tervox_main(path.empty() ? nullptr : path.c_str());
}
