// The host calls every host shares: they act on the window and audio device
// when there is one (tests make a dummy-driver window or device of their own)
// and do nothing otherwise.
#include <cstring>

#include "host/host.h"
#include "video/present.h"

int host_window_fullscreen(void) {
  if (window == nullptr) return -1;
  return (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0 ? 1 : 0;
}

void host_window_resized(void) {
  if (window != nullptr) screenSurface = SDL_GetWindowSurface(window);
}

void host_center_mouse(void) {
  if (window != nullptr) SDL_WarpMouseInWindow(window, SCREEN_WIDTH / 2, SCREEN_HEIGHT / 2);
}

void host_audio_start(void) {
  if (audio != 0) SDL_PauseAudioDevice(audio, 0);
}

// SDL's dummy driver calls back on a coarse timer of its own; it does not
// keep real time, so it counts as no device.
int host_audio_real_time(void) {
  if (audio == 0 || SDL_GetAudioDeviceStatus(audio) == SDL_AUDIO_STOPPED) return 0;
  const char *driver = SDL_GetCurrentAudioDriver();
  return driver != nullptr && strcmp(driver, "dummy") != 0;
}
