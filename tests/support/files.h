// Files the tests read.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Bytes of a file; empty when it cannot be read.
std::vector<uint8_t> read_file(const std::string &path);
// A text file's contents as the host's text mode reads them (lines end in
// "\n" on every host); empty when it cannot be read.
std::string read_text_file(const std::string &path);
// An assembled test program from tests/asm.
std::vector<uint8_t> test_program(const std::string &name);
// Path in shared test data, or "" (and the test should skip) when absent.
std::string testdata(const std::string &relative);

#ifndef _WIN32
// While it lives, no file this process writes can grow past `bytes`: writes
// beyond fail as on a full disk (the size-limit signal is ignored). Windows
// has no such limit; the tests that need it run on Linux only.
struct FileSizeLimit {
  explicit FileSizeLimit(long bytes);
  ~FileSizeLimit();
  unsigned long previous;
};
#endif
