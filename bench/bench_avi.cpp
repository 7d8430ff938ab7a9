// Time of avi_record_video per frame on a still, a scrolling and a busy
// scene (and pure noise as the worst case). Goal: median under 2 ms.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <vector>

#include "capture/capture.h"
#include "video/vdp.h"

static const int W = 256, H = 192;
static const uint32_t palette[16] = {0x000000, 0x000000, 0x21C842, 0x5EDC78, 0x5455ED, 0x7D76FC,
                                     0xD4524D, 0x42EBF5, 0xFC5554, 0xFF7978, 0xD4C154, 0xE6CE80,
                                     0x21B03B, 0xC95BBA, 0xCCCCCC, 0xFFFFFF};

// A background of 8x8 tiles drawn from a few patterns, as a game screen is.
static uint32_t background(int x, int y) {
  int tile = ((x >> 3) * 7 + (y >> 3) * 13) % 11;
  int bits = (tile * 0x9E3779B1u >> ((y & 7) * 3)) & 0xFF;
  return palette[(bits >> (7 - (x & 7))) & 1 ? 2 + tile % 14 : 1 + (tile & 1) * 3];
}

static void scene(int kind, int frame, std::vector<uint32_t> &f) {
  uint32_t noise = (uint32_t)frame * 2654435761u + 1;
  int scroll = kind == 0 ? 0 : frame;
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) {
      if (kind == 3) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        f[y * W + x] = palette[noise & 15];
      } else {
        f[y * W + x] = background((x + scroll) & 1023, y);
      }
    }
  if (kind != 2) return;
  for (int s = 0; s < 32; s++) {  // sprites moving every which way
    int sx = (s * 37 + frame * (1 + s % 3)) % 240, sy = (s * 23 + frame * (s % 4) / 2) % 176;
    for (int y = 0; y < 16; y++)
      for (int x = 0; x < 16; x++)
        if (((x ^ y ^ s) & 3) != 0) f[(sy + y) * W + sx + x] = palette[2 + (s + frame / 8) % 14];
  }
}

int main(int argc, char **argv) {
  // An optional argument picks one scene (0-3), for profiling.
  const int only = argc > 1 ? atoi(argv[1]) : -1;
  static const char *names[] = {"still", "scrolling", "busy", "noise (worst case)"};
  const int frames = 600;
  char path[] = "/tmp/tervox-bench-avi-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return 1;
  close(fd);
  std::vector<uint32_t> f(W * H);
  std::vector<int16_t> block(440, 1000);
  printf("avi_record_video, %d frames per scene, ms per frame:\n", frames);
  for (int kind = 0; kind < 4; kind++) {
    if (only >= 0 && kind != only) continue;
    video_file = fopen(path, "wb");
    vdp_pal = 0;
    if (video_file == nullptr || avi_start_video() != 0) return 1;
    std::vector<double> ms, wall;
    int lines = 0, audio_lines = 0;
    for (int i = 0; i < frames; i++) {
      scene(kind, i, f);
      lines += 262;
      for (; audio_lines + 157 <= lines; audio_lines += 157) avi_record_audio(block.data(), 440);
      // Thread CPU time: the figure does not depend on what else the
      // machine runs; the wall time is reported beside it.
      timespec c0, c1;
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
      auto t0 = std::chrono::steady_clock::now();
      avi_record_video(f.data(), 0);
      auto t1 = std::chrono::steady_clock::now();
      clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
      wall.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
      ms.push_back((c1.tv_sec - c0.tv_sec) * 1e3 + (c1.tv_nsec - c0.tv_nsec) / 1e6);
    }
    avi_end_video();
    double mean = 0;
    for (double v : ms) mean += v;
    mean /= ms.size();
    std::sort(ms.begin(), ms.end());
    std::sort(wall.begin(), wall.end());
    FILE *sz = fopen(path, "rb");
    fseek(sz, 0, SEEK_END);
    long bytes = ftell(sz);
    fclose(sz);
    printf("  %-20s cpu median %.3f  p90 %.3f  max %.3f  mean %.3f | wall median %.3f"
           "  (file %.1f KB/frame)\n",
           names[kind], ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), mean,
           wall[wall.size() / 2], bytes / 1024.0 / frames);
  }
  unlink(path);
  return 0;
}
