// Machine timing. Everything is counted in scanlines of CPU cycles: a video
// frame and a sound period are whole numbers of scanlines, and the host's
// 44100 Hz audio clock, consuming one sound period at a time, sets the pace.
#pragma once

enum : int {
  CYCLES_PER_LINE = 228,         // Z80 cycles in one scanline
  ACTIVE_LINES = 192,            // picture lines; the frame flag rises as line 192 begins
  FRAME_FLAG_LINE = ACTIVE_LINES,
  LINES_PER_FRAME_NTSC = 262,
  LINES_PER_FRAME_PAL = 313,
  LINES_PER_SOUND_PERIOD = 157,  // one sound period ...
  SAMPLES_PER_PERIOD = 440,      // ... yields this many samples
  SAMPLE_RATE = 44100,           // samples a second at the host's audio device
  SCREEN_PIXELS_X = 256,         // the picture, without border
  SCREEN_PIXELS_Y = ACTIVE_LINES,
};

// Lines of one frame: NTSC unless pal is 1.
inline int lines_per_frame(int pal) { return pal == 1 ? LINES_PER_FRAME_PAL : LINES_PER_FRAME_NTSC; }

// Scanlines a second of real time: 44100 / 440 * 157 (about 15736).
constexpr double LINES_PER_SECOND = (double)SAMPLE_RATE * LINES_PER_SOUND_PERIOD / SAMPLES_PER_PERIOD;
