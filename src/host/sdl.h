// What the SDL hosts (desktop, Windows, Raspberry Pi) share: the library's
// objects, set-up up to the window, the audio device, and the events.
#pragma once
#include <SDL.h>

extern SDL_Window *window;
extern SDL_Surface *screenSurface;    // the window's own surface
extern SDL_Surface *surface;          // wraps the frame buffer
extern SDL_Surface *status_surface;   // wraps the status line
extern SDL_AudioDeviceID audio;

// SDL_Init, file drops, joysticks, the window, the hidden cursor.
// Returns -1 to go on, else the exit status.
int host_open_window(void);
// The surfaces over the frame buffer and the status line; -1 to go on,
// else the exit status.
int host_create_surfaces(void);
// Audio device, surfaces, joysticks, window, SDL.
void host_close_window(void);
// The surface the host composes the window's picture on, for the window's
// current size (the library's window surface, or one of the host's own).
SDL_Surface *host_window_surface(void);
// False when the window system has surely sent nothing since the last
// event pump (the pump can wait); true when it may have, or cannot tell.
bool host_window_events_waiting(void);
// Composes border, picture and status line onto a window surface as
// update_screen last decided (desktop and Windows presentation). Only the
// picture's rows that changed since the last composition on the same
// surface are redrawn; their bands go to `changed` (if given, room for
// PRESENT_MAX_RECTS), and the count is returned.
enum { PRESENT_MAX_RECTS = 8 };
int present_window(SDL_Surface *target, SDL_Rect *changed = nullptr);
// Set by present_window when it drew the status line.
extern bool status_redrawn;
// Set when the window system lost the window's content: the next
// presentation sends the whole window.
extern bool window_exposed;
