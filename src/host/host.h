// The host behind the machine: window, surfaces, audio device, mouse.
// Three implementations: desktop SDL, Raspberry Pi, and null (no window,
// no audio) for tests and headless runs.
#pragma once
#include <SDL.h>

extern SDL_Window *window;
extern SDL_Surface *screenSurface;
extern SDL_Surface *surface;          // 256x192 frame buffer
extern SDL_Surface *status_surface;   // 256x8 status line
extern SDL_AudioDeviceID audio;
extern SDL_Joystick *gGameController1, *gGameController2;

// Start-up steps from SDL_Init to the audio device. Returns -1 to go on,
// otherwise the exit status to end the program with.
int host_start(void);
void host_shutdown(void);
// Opens the default audio device with the machine's fixed format; sets audio.
void host_audio_open(void);
void host_audio_close(void);
void host_set_title(const char *title);
void host_set_fullscreen(int on);
void host_mouse_relative(int on);
void host_mouse_motion(int *dx, int *dy);
// Shows the frame and status line in the window (no-op without a window).
void host_present(void);
// 1 while the window is full screen, 0 if not, -1 when there is no window.
int host_window_fullscreen(void);
// Fetches the window's surface again after a size change.
void host_window_resized(void);
// Moves the mouse to the window's centre.
void host_center_mouse(void);
// Lets the audio device play (it is opened paused).
void host_audio_start(void);
// Non-zero when an audio device plays in real time and can pace the machine.
int host_audio_real_time(void);
