// Files the tests read and the private folders they write in.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Bytes of a file; empty when it cannot be read.
std::vector<uint8_t> read_file(const std::string &path);
// An assembled test program from tests/asm.
std::vector<uint8_t> test_program(const std::string &name);
// Path in shared test data, or "" (and the test should skip) when absent.
std::string testdata(const std::string &relative);
// A fresh private folder under /tmp, set as HOME.
std::string private_home(void);

// While it lives, no file this process writes can grow past `bytes`: writes
// beyond fail as on a full disk (the size-limit signal is ignored).
struct FileSizeLimit {
  explicit FileSizeLimit(long bytes);
  ~FileSizeLimit();
  unsigned long previous;
};
