// Null host: the machine with no window, no audio device and no host
// events, for tervox-headless and tests. Tests may set the mouse motion.
#include <chrono>
#include <cstdio>
#include <thread>

#include "host/host.h"

int host_start(void) { return -1; }
void host_shutdown(void) {}
void host_present(void) {}
// The last title set, for tests.
char host_null_title[256];
void host_set_title(const char *title) { snprintf(host_null_title, sizeof host_null_title, "%s", title); }
void host_set_fullscreen(int) {}
int host_window_fullscreen(void) { return -1; }
void host_mouse_relative(int) {}
// Tests queue mouse motion here; the next sample takes it all.
int host_null_mouse_dx, host_null_mouse_dy;
void host_mouse_motion(int *dx, int *dy) {
  *dx = host_null_mouse_dx;
  *dy = host_null_mouse_dy;
  host_null_mouse_dx = host_null_mouse_dy = 0;
}
void host_center_mouse(void) {}
void host_poll_events(void) {}
void host_delay(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
void host_sleep_us(int microseconds) { std::this_thread::sleep_for(std::chrono::microseconds(microseconds)); }
void host_woke(void) {}
void host_audio_open(void) {}
void host_audio_close(void) {}
void host_audio_start(void) {}
int host_audio_opened(void) { return 0; }
int host_audio_real_time(void) { return 0; }
