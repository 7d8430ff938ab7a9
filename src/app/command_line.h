// The command line of the programs' entries: the Windows program's one
// string, and UTF-8 arguments on every host.
#pragma once
#include <string>
#include <vector>

// The image path from a command line without the program's name: leading
// blanks skipped, then a quoted path up to its closing quote (or the end),
// or a bare one up to the next blank. "" when there is none.
std::string path_from_command_line(const char *line);
// The rest of a whole command line after the program's name, which may be
// quoted.
const char *skip_program_name(const char *line);
// The process's whole command line in UTF-8 (Windows: from the wide one;
// elsewhere the arguments joined, those with blanks in quotes).
std::string whole_command_line(int argc, char **argv);
// The arguments in UTF-8 (on Windows from the wide command line, as the C
// runtime splits it; argv holds them in the code page).
std::vector<std::string> utf8_arguments(int argc, char **argv);
