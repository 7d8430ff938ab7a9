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
// A fresh private folder under the temporary folder, set as the user's
// folder (HOME; on Windows it stands in for Documents, Music and Pictures).
std::string private_home(void);
// Sets the user's folder as private_home does.
void set_home(const std::string &folder);
// Makes a folder named in UTF-8 (wide characters on Windows); 0 on success.
int make_folder(const std::string &path);
