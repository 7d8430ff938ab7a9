// What the desktop and Raspberry Pi hosts share: SDL set-up up to the
// window, the two surfaces, and the SDL side of shutting down.
#pragma once

// SDL_Init, file drops, joysticks, the window, the hidden cursor.
// Returns -1 to go on, else the exit status.
int host_open_window(void);
// The frame buffer and the status line; -1 to go on, else the exit status.
int host_create_surfaces(void);
// Audio device, surfaces, joysticks, window, SDL.
void host_close_window(void);
