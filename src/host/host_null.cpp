// Null host: the machine with no window and no audio device, for tests
// and headless runs. Surfaces are plain software surfaces; events come
// from SDL's queue when something initialised it, else there are none.
#include "host/host.h"

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
void host_set_title(const char *) {}
void host_set_fullscreen(int) {}
void host_mouse_relative(int) {}
void host_mouse_motion(int *dx, int *dy) { *dx = 0; *dy = 0; }
void host_present(void) {}
