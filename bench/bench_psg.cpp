// The sound generators per scanline with both chips running, driven as the
// machine drives them (psg_advance after every scanline, psg_sync at the
// end of each sound period): median of many timed sound periods. The thread's CPU time is the figure that counts on a
// shared machine; wall time is printed beside it.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "memory/memory.h"
#include "sound/psg.h"

static void ay(int reg, int value) {
  psg2_write_address(reg);
  psg2_write_data(value);
}

int main() {
  sound_pacing = 0;
  sgm_active = 1;
  psg_init();
  psg2_init();
  // SN76489: three tones and white noise, all audible.
  const int periods[3] = {254, 301, 97};
  for (int t = 0; t < 3; t++) {
    psg_write(0x80 | (t << 5) | (periods[t] & 15));
    psg_write(periods[t] >> 4);
    psg_write(0x90 | (t << 5) | 2);
  }
  psg_write(0xE4);
  psg_write(0xF3);
  // AY: three tones, noise on A, envelope on C.
  ay(0, 200); ay(1, 0); ay(2, 77); ay(3, 1); ay(4, 33); ay(5, 0);
  ay(6, 9); ay(7, 0x30); ay(8, 15); ay(9, 12); ay(10, 0x10);
  ay(11, 40); ay(12, 0); ay(13, 14);

  typedef std::chrono::steady_clock clock;
  const int periods_per_run = 200;  // 31400 scanlines a sample
  const double lines = periods_per_run * 157.0;
  std::vector<double> cpu, wall;
  for (int run = 0; run < 51; run++) {
    timespec c0, c1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
    const clock::time_point start = clock::now();
    for (int p = 0; p < periods_per_run; p++)
      for (int line = 0; line < 157; line++) {
        psg_advance(line);
        if (line == 156) psg_sync();
      }
    const double ns = std::chrono::duration<double, std::nano>(clock::now() - start).count();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
    cpu.push_back(((c1.tv_sec - c0.tv_sec) * 1e9 + (c1.tv_nsec - c0.tv_nsec)) / lines);
    wall.push_back(ns / lines);
  }
  std::sort(cpu.begin(), cpu.end());
  std::sort(wall.begin(), wall.end());
  printf("sound generators, both chips: median %.1f ns CPU time per scanline (min %.1f, max %.1f; goal < 60); "
         "wall time median %.1f ns\n",
         cpu[cpu.size() / 2], cpu.front(), cpu.back(), wall[wall.size() / 2]);
  return 0;
}
