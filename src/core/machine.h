// The machine as a whole: run state, reset, the scanline loop with its
// hand-off to the sound chips and the frame driver, and the program's run
// loop. This is the one place that sequences every unit.
#pragma once
#include <cstdint>

extern int32_t emulator_event;  // 2 start requested, 0 running, 1 stopped
extern int32_t quit;
extern int32_t do_pause;

// Which program runs the machine: where the hosts differ in behaviour
// (keys, pause, the mapping file, the frame buffer's byte order), the
// machine asks this. Set by the host before the machine starts.
enum { PLATFORM_DESKTOP, PLATFORM_WINDOWS, PLATFORM_PI };
extern int32_t platform;

// Program start-up of the machine itself: mode, timing, the working copy
// of the BIOS, RAM as it powers up.
void machine_power_on(void);
// Machine reset: soft = 0 full, 1 the reset hotkey.
void init_peripheral(int soft);

// Runs scanlines of the CPU, each followed by psg_advance and vdp_process,
// from a fresh count: until emulator_event is non-zero at a scanline end,
// or after `lines` scanlines when lines > 0.
void start_z80(uint8_t **read_table, uint8_t **write_table, long lines = 0);
// Runs `lines` scanlines on from where the last run left its counts, so a
// machine driven in slices (headless runs, tests) keeps its sound periods.
void machine_run_lines(long lines);
// The frame driver: after every scanline (drawing, frame end, events,
// roller, frame flag, Adam devices, the video interrupt).
void vdp_process(void);

// The whole program: start-up, run loop, shutdown. Returns the exit status.
int tervox_main(const char *image_path);
