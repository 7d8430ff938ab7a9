// Renderer speed: one full frame (192 lines) per display mode with 32
// sprites on screen, for still frames and for frames whose name table or
// sprite attributes are rewritten through the data port before each (that
// writing counted in). Prints the median thread CPU time and wall time per
// frame (CPU time is the figure that counts on a shared machine); goal
// < 8 us. Frames are timed in batches of ten: reading the thread's CPU
// clock is a system call of about a microsecond, too much to pay per
// frame. Arguments: the frames per mode (default 3000), e.g. a few for a
// run under callgrind, and optionally the one mode and the one kind of
// change (0 still, 1 names, 2 sprites) to run.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "video/present.h"
#include "video/vdp.h"

// The frame buffer itself, as the machine draws: rows that show what they
// would draw again are left alone there.
static uint32_t *const frame = frame_buffer;

static void setup(int mode, int sprite_size) {
  vdp_pal = 0;
  vdp_init();
  uint32_t seed = 12345;
  for (auto &b : video_ram) {
    seed = seed * 1103515245u + 12345u;
    b = (uint8_t)(seed >> 16);
  }
  vdp_reg[0] = (mode & 4) ? 2 : 0;
  vdp_reg[1] = 0x40 | ((mode & 1) ? 0x08 : 0) | ((mode & 2) ? 0x10 : 0) | sprite_size;
  vdp_reg[2] = 0x0E;
  vdp_reg[3] = 0xFF;
  vdp_reg[4] = 0x03;
  vdp_reg[5] = 0x36;  // attributes 0x1B00
  vdp_reg[6] = 0x07;
  vdp_reg[7] = 0xF4;
  // 32 sprites spread over the picture, several sharing each line.
  for (int e = 0; e < 32; e++) {
    uint8_t *a = video_ram + 0x1B00 + e * 4;
    a[0] = (uint8_t)(e * 6);
    a[1] = (uint8_t)(e * 37);
    a[2] = (uint8_t)(e * 4);
    a[3] = (uint8_t)(1 + e % 15);
  }
  vdp_memory_changed();
}

// What changes between frames: nothing, the whole name table (a scrolling
// game) or the sprite attributes (moving sprites), written through the
// data port as a game does.
enum { STILL, NAMES, SPRITES, KINDS };

static void set_address(int address) {
  vdp_write_port(1, address & 0xFF);
  vdp_write_port(1, (address >> 8) | 0x40);
}

static void change(int kind, int frame_number) {
  if (kind == NAMES) {
    set_address(0x3800);
    for (int i = 0; i < 768; i++) vdp_write_port(0, (i + frame_number) * 7);
  } else if (kind == SPRITES) {
    set_address(0x1B00);
    for (int e = 0; e < 32; e++) {
      vdp_write_port(0, e * 6);
      vdp_write_port(0, e * 37 + frame_number);
      vdp_write_port(0, e * 4);
      vdp_write_port(0, 1 + e % 15);
    }
  }
}

static double thread_us(void) {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e6 + t.tv_nsec / 1e3;
}

int main(int argc, char **argv) {
  const int frames = argc > 1 && atoi(argv[1]) > 0 ? atoi(argv[1]) : 3000;
  const int only = argc > 2 ? atoi(argv[2]) : -1;
  const int only_kind = argc > 3 ? atoi(argv[3]) : -1;
  const int batch = frames >= 100 ? 10 : 1;
  const int samples = frames / batch;
  std::vector<double> times(samples), cpu(samples);
  printf("median us/frame, CPU (wall), 192 lines, 32 sprites 16x16; goal < 8\n"
         "mode  still           names rewritten  sprites moved\n");
  for (int mode = 0; mode < 8; mode++) {
    if (only >= 0 && mode != only) continue;
    printf("%d", mode);
    for (int kind = 0; kind < KINDS; kind++) {
      if (only_kind >= 0 && kind != only_kind) continue;
      setup(mode, 2);
      int n = 0;
      for (int s = 0; s < samples; s++) {
        const double c0 = thread_us();
        auto t0 = std::chrono::steady_clock::now();
        for (int f = 0; f < batch; f++) {
          change(kind, n++);
          vdp_status = 0;  // keep coincidence checks running every frame
          for (int line = 0; line < 192; line++) vdp_draw_line(frame + line * 256, line);
        }
        auto t1 = std::chrono::steady_clock::now();
        cpu[s] = (thread_us() - c0) / batch;
        times[s] = std::chrono::duration<double, std::micro>(t1 - t0).count() / batch;
      }
      std::sort(times.begin(), times.end());
      std::sort(cpu.begin(), cpu.end());
      printf("     %6.2f (%6.2f)", cpu[samples / 2], times[samples / 2]);
    }
    printf("\n");
  }
  return frame[1000] == 0x12345678 ? 1 : 0;
}
