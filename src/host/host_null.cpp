// Null host: the machine with no window and no audio device, for tests
// and headless runs. Surfaces are plain software surfaces; events come
// from SDL's queue when something initialised it, else there are none.
#include "host/host.h"

#include <cstdio>

SDL_Window *window;
SDL_Surface *screenSurface, *surface, *status_surface;
SDL_AudioDeviceID audio;
SDL_Joystick *gGameController1, *gGameController2;

int host_start(void) {
  if (surface == nullptr) surface = SDL_CreateRGBSurface(0, 256, 192, 32, 0, 0, 0, 0);
  if (status_surface == nullptr) status_surface = SDL_CreateRGBSurface(0, 256, 8, 32, 0, 0, 0, 0);
  if (surface == nullptr || status_surface == nullptr) return 1;
  return -1;
}
void host_shutdown(void) {}
void host_audio_open(void) { audio = 0; }
void host_audio_close(void) { audio = 0; }
// The last title set, for tests.
char host_null_title[256];
void host_set_title(const char *title) { snprintf(host_null_title, sizeof host_null_title, "%s", title); }
void host_set_fullscreen(int) {}
void host_mouse_relative(int) {}
// Tests queue mouse motion here; the next sample takes it all.
int host_null_mouse_dx, host_null_mouse_dy;
void host_mouse_motion(int *dx, int *dy) {
  *dx = host_null_mouse_dx;
  *dy = host_null_mouse_dy;
  host_null_mouse_dx = host_null_mouse_dy = 0;
}
void host_present(void) {}
