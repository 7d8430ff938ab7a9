// do_something runs once per emulated scanline (15736 times a second), so
// its cost with an empty queue must stay far below the 63.6 us a scanline
// lasts in real time. Also times a key press and release through all 104
// bindings. Thread CPU time is the figure; medians of several runs.
#include <SDL.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "input/events.h"
#include "input/ports.h"

static double cpu_seconds(void) {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

static double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int main() {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
    return 1;
  }
  char home[] = "/tmp/tervox-bench-XXXXXX";
  if (mkdtemp(home) == nullptr) return 1;
  setenv("HOME", home, 1);
  load_mapping();

  const int polls = 200000, keys = 20000, runs = 7;
  std::vector<double> empty, pressed;
  for (int r = 0; r < runs; r++) {
    double t0 = cpu_seconds();
    for (int n = 0; n < polls; n++) do_something();
    empty.push_back((cpu_seconds() - t0) / polls);

    SDL_Event e;
    SDL_zero(e);
    e.key.keysym.sym = SDLK_UP;
    t0 = cpu_seconds();
    for (int n = 0; n < keys; n++) {
      e.type = SDL_KEYDOWN;
      SDL_PushEvent(&e);
      do_something();
      e.type = SDL_KEYUP;
      SDL_PushEvent(&e);
      do_something();
    }
    pressed.push_back((cpu_seconds() - t0) / (2.0 * keys));
  }
  const double budget = 1.0 / 15736;
  printf("do_something, empty queue: %.3f us per call (%.2f%% of a scanline)\n",
         median(empty) * 1e6, 100.0 * median(empty) / budget);
  printf("do_something, one key event: %.3f us per event\n", median(pressed) * 1e6);
  char path[64];
  snprintf(path, sizeof path, "%s/tervox_mapping.txt", home);
  remove(path);
  rmdir(home);
  SDL_Quit();
  return 0;
}
