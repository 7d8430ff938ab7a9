// Desktop host (Linux and Windows): the picture is composed on the SDL
// window's own surface.
#include "core/machine.h"
#include "host/host.h"
#include "host/sdl.h"
#include "video/present.h"

int host_start(void) {
#ifdef _WIN32
  platform = PLATFORM_WINDOWS;
#else
  platform = PLATFORM_DESKTOP;
#endif
  // The window surface is composed in software; sending it through a 3D
  // texture only adds work (and much more under software GL).
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  int status = host_open_window();
  if (status >= 0) return status;
  screenSurface = SDL_GetWindowSurface(window);
  for (int n = 255; n > 0; n--) {
    if (screenSurface != nullptr) {
      SDL_FillRect(screenSurface, nullptr, SDL_MapRGB(screenSurface->format, n, n, n));
      SDL_UpdateWindowSurface(window);
    }
  }
  status = host_create_surfaces();
  if (status >= 0) return status;
  host_audio_open();
  return -1;
}

void host_shutdown(void) { host_close_window(); }

void host_set_fullscreen(int on) {
  if (window) SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

// The frame is composed on the window surface, then shown: the whole
// window when the border changed or the window was exposed, else only the
// bands of the picture and the status line if they changed, and nothing at
// all when the frame looks the same as the last.
void host_present(void) {
  if (window == nullptr || screenSurface == nullptr) return;
  SDL_Rect rects[PRESENT_MAX_RECTS + 1];
  int n = present_window(screenSurface, rects);
  const present_layout &l = present_current;
  if (present_border_dirty || window_exposed || l.w <= 0 || l.h <= 0) {
    window_exposed = false;
    SDL_UpdateWindowSurface(window);
    return;
  }
  if (status_redrawn) rects[n++] = SDL_Rect{l.status_x, l.status_y, l.status_w, l.status_h};
  if (n > 0) SDL_UpdateWindowSurfaceRects(window, rects, n);
}
