// Drives the machine with no window and no audio device.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "support/files.h"

// Full reset of a console with the built-in BIOS and no cartridge.
void machine_fresh(void);
// Loads raw bytes as the cartridge (console mode when it has a header).
void machine_load_cartridge(const std::vector<uint8_t> &image);
// Runs whole scanlines through the real interpreter loop, each call from a
// fresh count.
void machine_run_scanlines(int count);
void machine_run_frames(int count);
