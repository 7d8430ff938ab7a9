// SDL set-up and shutdown shared by the desktop and Raspberry Pi hosts.
#include "host/host_window.h"

#include <cstdio>

#include "host/host.h"
#include "sound/psg.h"
#include "video/present.h"

SDL_Window *window;
SDL_Surface *screenSurface, *surface, *status_surface;
SDL_AudioDeviceID audio;
SDL_Joystick *gGameController1, *gGameController2;

int host_open_window(void) {
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO | SDL_INIT_JOYSTICK) < 0) {
    fprintf(stderr, "SDL could not initialize! SDL_Error: %s\n", SDL_GetError());
    return 0;
  }
  SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
  if (SDL_NumJoysticks() > 0) gGameController1 = SDL_JoystickOpen(0);
  if (SDL_NumJoysticks() > 1) gGameController2 = SDL_JoystickOpen(1);
  window = SDL_CreateWindow("Tervox", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                            SCREEN_WIDTH, SCREEN_HEIGHT, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
  if (window == nullptr) {
    fprintf(stderr, "Window could not be created! SDL_Error: %s\n", SDL_GetError());
    SDL_Quit();
    return 1;
  }
  SDL_ShowCursor(0);
  return -1;
}

int host_create_surfaces(void) {
  surface = SDL_CreateRGBSurface(0, 256, 192, 32, 0, 0, 0, 0);
  if (surface != nullptr) status_surface = SDL_CreateRGBSurface(0, 256, 8, 32, 0, 0, 0, 0);
  if (surface == nullptr || status_surface == nullptr) {
    fprintf(stderr, "CreateRGBSurface failed: %s\n", SDL_GetError());
    return 1;
  }
  return -1;
}

void host_audio_open(void) {
  // A second device would run a second callback on the same ring.
  if (audio != 0) SDL_CloseAudioDevice(audio);
  audio = 0;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = 44100;
  want.format = AUDIO_S16LSB;
  want.channels = 1;
  want.samples = 512;
  want.callback = fill_audio;
  // No format change allowed: the ring holds signed 16-bit mono samples.
  audio = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (audio == 0) fprintf(stderr, "Failed to open audio output: %s\n", SDL_GetError());
}

void host_audio_close(void) {
  if (audio != 0) SDL_CloseAudioDevice(audio);
  audio = 0;
}

void host_close_window(void) {
  host_audio_close();
  SDL_FreeSurface(surface);
  if (gGameController1) SDL_JoystickClose(gGameController1);
  if (gGameController2) SDL_JoystickClose(gGameController2);
  SDL_DestroyWindow(window);
  SDL_Quit();
}

void host_set_title(const char *title) {
  if (window) SDL_SetWindowTitle(window, title);
}
void host_mouse_relative(int on) { SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE); }
void host_mouse_motion(int *dx, int *dy) { SDL_GetRelativeMouseState(dx, dy); }
