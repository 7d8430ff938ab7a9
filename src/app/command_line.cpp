#include "app/command_line.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

static bool is_blank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string path_from_command_line(const char *line) {
  while (is_blank(*line)) line++;
  const char *start = line;
  if (*line == '"') {
    start = ++line;
    while (*line && *line != '"') line++;
  } else {
    while (*line && !is_blank(*line)) line++;
  }
  // Never cut short: a longer path than the loader takes is refused by it,
  // where a cut one could name another file.
  return std::string(start, line);
}

const char *skip_program_name(const char *line) {
  if (*line == '"') {
    line++;
    while (*line && *line != '"') line++;
    if (*line == '"') line++;
  } else {
    while (*line && !is_blank(*line)) line++;
  }
  return line;
}

#ifdef _WIN32
static std::string utf8_of(const wchar_t *wide) {
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out((size_t)n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &out[0], n, nullptr, nullptr);
  out.resize((size_t)n - 1);
  return out;
}
#endif

std::string whole_command_line(int argc, char **argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  return utf8_of(GetCommandLineW());
#else
  std::string line;
  for (int i = 0; i < argc; i++) {
    if (i > 0) line += ' ';
    const bool blank = std::string(argv[i]).find_first_of(" \t") != std::string::npos;
    if (blank) line += '"';
    line += argv[i];
    if (blank) line += '"';
  }
  return line;
#endif
}

std::vector<std::string> utf8_arguments(int argc, char **argv) {
  std::vector<std::string> out;
#ifdef _WIN32
  int n = 0;
  wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide != nullptr) {
    for (int i = 0; i < n; i++) out.push_back(utf8_of(wide[i]));
    LocalFree(wide);
    return out;
  }
#endif
  for (int i = 0; i < argc; i++) out.push_back(argv[i]);
  return out;
}
