// Run state, machine reset and the program's outer loop.
#pragma once
#include <cstdint>

extern int32_t emulator_event;  // 2 start requested, 0 running, 1 stopped
extern int32_t quit;
extern int32_t do_pause;

// Machine reset: soft = 0 full, 1 the reset hotkey.
void init_peripheral(int soft);

// Runs the machine for a number of scanlines, then returns (headless runs).
void machine_run_lines(int count);

// The whole program: start-up, run loop, shutdown. Returns the exit status.
int tervox_main(const char *image_path);
