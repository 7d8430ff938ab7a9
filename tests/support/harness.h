// Drives the machine with no window and no audio device.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Full reset of a console with the built-in BIOS and no cartridge.
void machine_fresh(void);
// Loads raw bytes as the cartridge (console mode when it has a header).
void machine_load_cartridge(const std::vector<uint8_t> &image);
// Runs whole scanlines through the real interpreter loop.
void machine_run_scanlines(int count);
void machine_run_frames(int count);
// Bytes of a file; empty when it cannot be read.
std::vector<uint8_t> read_file(const std::string &path);
// An assembled test program from tests/asm.
std::vector<uint8_t> test_program(const std::string &name);
// Path in shared test data, or "" (and the test should skip) when absent.
std::string testdata(const std::string &relative);
// A fresh private folder under /tmp, set as HOME.
std::string private_home(void);
