// The Windows program's command line: one string, the path quoted or not.
#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"

TEST(CommandLine, PathAndProgramName) {
  const std::string long_path(5000, 'x'), utf8 = "C:\\Spiele \xC3\xA4\\j\xC3\xA9u.rom";
  const struct { std::string line, path; } paths[] = {
    {"", ""},
    {" \t ", ""},
    {"game.rom", "game.rom"},
    {"  \t game.rom other.rom", "game.rom"},
    {"\"C:\\My Games\\a b.rom\" other", "C:\\My Games\\a b.rom"},
    {"  \"unclosed name.rom", "unclosed name.rom"},
    {"\"\" game.rom", ""},
    {"half\"quoted b.rom", "half\"quoted"},
    {"\"" + utf8 + "\"", utf8},
    // Never cut short (the loader refuses what is too long for it).
    {long_path + " x", long_path},
  };
  for (const auto &c : paths) EXPECT_EQ(path_from_command_line(c.line.c_str()), c.path) << c.line;

  const struct { const char *line, *rest; } programs[] = {
    {"\"C:\\Program Files\\Tervox\\tervox-win.exe\" game.rom", " game.rom"},
    {"tervox-win.exe  \"a b.rom\"", "  \"a b.rom\""},
    {"tervox-win.exe", ""},
    {"\"tervox-win.exe", ""},
  };
  for (const auto &c : programs) EXPECT_STREQ(skip_program_name(c.line), c.rest) << c.line;
}

#ifndef _WIN32
// Elsewhere the arguments stand in for the one string, as the shell split them.
TEST(CommandLine, ArgumentsJoinIntoOneLine) {
  char program[] = "tervox-win", spaced[] = "My Games/a b.rom", plain[] = "x";
  char *argv[] = {program, spaced, plain};
  const std::string line = whole_command_line(3, argv);
  EXPECT_EQ(line, "tervox-win \"My Games/a b.rom\" x");
  EXPECT_EQ(path_from_command_line(skip_program_name(line.c_str())), "My Games/a b.rom");
}
#endif
