// Desktop host (Linux and Windows): the picture is composed on a surface
// the size of the window and sent to it. On X11 that surface is an image
// of our own in shared memory, sent without waiting for the server; else
// it is the library's window surface.
#include "core/machine.h"
#include "host/host.h"
#include "host/sdl.h"
#include "video/present.h"

#ifdef TERVOX_X11
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>

// The library's surface update waits for the X server to answer after
// every frame (a round trip, and a sleep and a wake-up of this thread).
// The server is done with an image once it has handled the request that
// sent it: the last put of a frame asks for a completion event, which
// Xlib has read by the next look at the events, so the next frame finds
// the image free and writes into it at once; only when that event has not
// come yet does it wait.
static struct {
  Display *display;
  Window xwindow;
  GC gc;
  XImage *image;
  XShmSegmentInfo shm;
  SDL_Surface *surface;  // over the image's pixels
  unsigned long sent;    // the request of the last put
  int completion;        // the completion event's type
  bool tried, unusable;  // unusable: the library's surface is used instead
} x11;

static bool x11_attach_failed;
static int x11_note_error(Display *, XErrorEvent *) {
  x11_attach_failed = true;
  return 0;
}

static void x11_free_image(void) {
  if (x11.surface != nullptr) SDL_FreeSurface(x11.surface);
  x11.surface = nullptr;
  if (x11.image == nullptr) return;
  XShmDetach(x11.display, &x11.shm);
  // The server lets go of the segment before it goes.
  XSync(x11.display, False);
  x11.image->data = nullptr;
  XDestroyImage(x11.image);
  x11.image = nullptr;
  shmdt(x11.shm.shmaddr);
}

static void x11_close(void) {
  x11_free_image();
  if (x11.gc != nullptr) XFreeGC(x11.display, x11.gc);
  x11 = {};
}

// An image of w x h in the frame buffer's own pixel format (so the picture
// is scaled straight into it), attached to the server; false when the
// display cannot have one (not X11, another format, no shared memory, a
// remote server).
static bool x11_make_image(int w, int h) {
  x11_free_image();
  if (w <= 0 || h <= 0) return false;
  XWindowAttributes a;
  if (!XGetWindowAttributes(x11.display, x11.xwindow, &a)) return false;
  XImage *image = XShmCreateImage(x11.display, a.visual, (unsigned)a.depth, ZPixmap, nullptr, &x11.shm,
                                  (unsigned)w, (unsigned)h);
  if (image == nullptr) return false;
  const bool format = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                      image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                      image->byte_order == (SDL_BYTEORDER == SDL_LIL_ENDIAN ? LSBFirst : MSBFirst);
  const size_t size = (size_t)image->bytes_per_line * (size_t)h;
  x11.shm.shmid = format ? shmget(IPC_PRIVATE, size, IPC_CREAT | 0600) : -1;
  if (x11.shm.shmid < 0) {
    XDestroyImage(image);
    return false;
  }
  x11.shm.shmaddr = image->data = (char *)shmat(x11.shm.shmid, nullptr, 0);
  x11.shm.readOnly = False;
  bool attached = false;
  if (x11.shm.shmaddr != (char *)-1) {
    // A server on another machine refuses the segment with an error, which
    // would end the program through the default handler.
    XSync(x11.display, False);
    x11_attach_failed = false;
    XErrorHandler previous = XSetErrorHandler(x11_note_error);
    attached = XShmAttach(x11.display, &x11.shm) && (XSync(x11.display, False), !x11_attach_failed);
    XSetErrorHandler(previous);
  }
  // Removed now, it goes when both sides have let go, even after a crash.
  shmctl(x11.shm.shmid, IPC_RMID, nullptr);
  if (!attached) {
    if (x11.shm.shmaddr != (char *)-1) shmdt(x11.shm.shmaddr);
    image->data = nullptr;
    XDestroyImage(image);
    return false;
  }
  x11.image = image;
  x11.sent = LastKnownRequestProcessed(x11.display);
  x11.surface = SDL_CreateRGBSurfaceFrom(image->data, w, h, 32, image->bytes_per_line, 0xFF0000, 0xFF00, 0xFF, 0);
  if (x11.surface == nullptr) {
    x11_free_image();
    return false;
  }
  return true;
}

// Our own image of the window's size; nullptr when the library's surface
// is to be used.
static SDL_Surface *x11_surface(void) {
  if (x11.unusable || window == nullptr) return nullptr;
  if (!x11.tried) {
    x11.tried = true;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11 || !XShmQueryExtension(info.info.x11.display)) {
      x11.unusable = true;
      return nullptr;
    }
    x11.display = info.info.x11.display;
    x11.xwindow = info.info.x11.window;
    x11.gc = XCreateGC(x11.display, x11.xwindow, 0, nullptr);
    x11.completion = XShmGetEventBase(x11.display) + ShmCompletion;
  }
  int w = 0, h = 0;
  SDL_GetWindowSize(window, &w, &h);
  if (x11.surface != nullptr && x11.surface->w == w && x11.surface->h == h) return x11.surface;
  if (!x11_make_image(w, h)) {
    x11_close();
    x11.tried = x11.unusable = true;
    return nullptr;
  }
  return x11.surface;
}

// Before the image is written into: the server must be done with the last
// frame sent from it.
static void x11_wait_sent(void) {
  if ((long)(LastKnownRequestProcessed(x11.display) - x11.sent) < 0) XSync(x11.display, False);
}

static void x11_send(const SDL_Rect *rects, int n) {
  for (int i = 0; i < n; i++) {
    const SDL_Rect &r = rects[i];
    XShmPutImage(x11.display, x11.xwindow, x11.gc, x11.image, r.x, r.y, r.x, r.y, (unsigned)r.w, (unsigned)r.h,
                 i == n - 1 ? True : False);
  }
  x11.sent = NextRequest(x11.display) - 1;
  XFlush(x11.display);
}
#endif

bool host_window_events_waiting(void) {
#ifdef TERVOX_X11
  if (x11.surface == nullptr) return true;
  // The completion events of our own puts mean nothing to the library.
  XEvent e;
  while (QLength(x11.display) > 0 && XCheckTypedEvent(x11.display, x11.completion, &e)) {
  }
  if (QLength(x11.display) > 0) return true;
  pollfd fd = {ConnectionNumber(x11.display), POLLIN, 0};
  return poll(&fd, 1, 0) != 0;
#else
  return true;
#endif
}

SDL_Surface *host_window_surface(void) {
  if (window == nullptr) return nullptr;
#ifdef TERVOX_X11
  if (SDL_Surface *own = x11_surface()) return own;
#endif
  return SDL_GetWindowSurface(window);
}

// The fade at start-up: each step is written as soon as the last is shown.
static void send_whole_window(void) {
#ifdef TERVOX_X11
  if (x11.surface != nullptr && screenSurface == x11.surface) {
    const SDL_Rect all = {0, 0, x11.surface->w, x11.surface->h};
    x11_send(&all, 1);
    x11_wait_sent();
    return;
  }
#endif
  SDL_UpdateWindowSurface(window);
}

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
  screenSurface = host_window_surface();
  for (int n = 255; n > 0; n--) {
    if (screenSurface != nullptr) {
      SDL_FillRect(screenSurface, nullptr, SDL_MapRGB(screenSurface->format, n, n, n));
      send_whole_window();
    }
  }
  status = host_create_surfaces();
  if (status >= 0) return status;
  host_audio_open();
  return -1;
}

void host_shutdown(void) {
#ifdef TERVOX_X11
  if (x11.display != nullptr) x11_close();
#endif
  host_close_window();
}

void host_set_fullscreen(int on) {
  if (window) SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

// The frame is composed on the window surface, then shown: the whole
// window when the border changed or the window was exposed, else only the
// bands of the picture and the status line if they changed, and nothing at
// all when the frame looks the same as the last.
void host_present(void) {
  if (window == nullptr || screenSurface == nullptr) return;
#ifdef TERVOX_X11
  const bool own = x11.surface != nullptr && screenSurface == x11.surface;
  if (own) x11_wait_sent();
#endif
  SDL_Rect rects[PRESENT_MAX_RECTS + 1];
  int n = present_window(screenSurface, rects);
  const present_layout &l = present_current;
  if (present_border_dirty || window_exposed || l.w <= 0 || l.h <= 0) {
    window_exposed = false;
    rects[0] = SDL_Rect{0, 0, screenSurface->w, screenSurface->h};
    n = 1;
  } else if (status_redrawn) {
    rects[n++] = SDL_Rect{l.status_x, l.status_y, l.status_w, l.status_h};
  }
  if (n == 0) return;
#ifdef TERVOX_X11
  if (own) {
    x11_send(rects, n);
    return;
  }
#endif
  SDL_UpdateWindowSurfaceRects(window, rects, n);
}
