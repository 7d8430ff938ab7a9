// What the machine asks of the program that hosts it: a window to show
// frames in, the audio device, the mouse, time, and host events. Plain
// calls with plain types, so the emulation never sees the host's library.
// Implementations: the SDL hosts (desktop and Windows, Raspberry Pi) and
// the null host (no window, no sound device) of tervox-headless and tests.
#pragma once

// Host start-up from the library's initialisation to the audio device.
// Returns -1 to go on, otherwise the exit status to end the program with.
int host_start(void);
void host_shutdown(void);

// Shows the frame buffer and the status line as update_screen decided
// (video/present.h); nothing without a window.
void host_present(void);
void host_set_title(const char *title);
void host_set_fullscreen(int on);
// 1 while the window is full screen, 0 if not, -1 when there is no window.
int host_window_fullscreen(void);

void host_mouse_relative(int on);
// Motion since the last call.
void host_mouse_motion(int *dx, int *dy);
// Moves the mouse to the window's centre.
void host_center_mouse(void);

// Hands every queued host event to the event handlers (input/events.h).
void host_poll_events(void);
void host_delay(int milliseconds);
// As host_delay, to the microsecond (precise pacing).
void host_sleep_us(int microseconds);
// The machine slept by other means (waiting for the audio device).
void host_woke(void);

// The audio device plays the ring of sound/psg.h through fill_audio. It is
// opened paused; host_audio_start lets it play.
void host_audio_open(void);
void host_audio_close(void);
void host_audio_start(void);
// Non-zero while a device is open.
int host_audio_opened(void);
// Non-zero when an open device plays in real time and can pace the machine.
int host_audio_real_time(void);
