// Raspberry Pi host: frames go through EGL and OpenGL ES as one textured
// quad on a VideoCore display element. Where the VideoCore host library is
// missing (a desktop build of the Pi program), the EGL surface is made on
// the SDL window instead, so the same presentation can be run and checked.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <EGL/egl.h>
#include <GLES/gl.h>

#if __has_include(<bcm_host.h>)
#include <bcm_host.h>
#define TERVOX_VIDEOCORE 1
#else
#include <SDL_syswm.h>
#endif

#include "core/machine.h"
#include "host/host.h"
#include "host/sdl.h"
#include "video/present.h"
#include "video/vdp.h"


static EGLDisplay display;
static EGLContext context;
static EGLSurface surfaceEGL;
static GLuint theGSTexture;
static GLshort quadVerts[8];
static const GLfloat kQuadTex[8] = {0, 0, 1, 0, 1, 0.75f, 0, 0.75f};
static const EGLint attribute_list[] = {EGL_RED_SIZE,     8, EGL_GREEN_SIZE,   8,
                                        EGL_BLUE_SIZE,    8, EGL_ALPHA_SIZE,   8,
                                        EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_NONE};
#ifdef TERVOX_VIDEOCORE
static EGL_DISPMANX_WINDOW_T nativewindow;
#endif

// Set-up failures stop the program naming the condition that failed.
static void require(bool ok, const char *condition) {
  if (!ok) {
    fprintf(stderr, "tervox-pi: init_ogl: Assertion `%s' failed.\n", condition);
    abort();
  }
}

void init_ogl(void) {
  display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  require(display != EGL_NO_DISPLAY, "display!=((EGLDisplay)0)");
  EGLBoolean result = eglInitialize(display, nullptr, nullptr);
  require(result != EGL_FALSE, "((EGLBoolean)0) != result");
  EGLConfig config;
  EGLint num_config = 0;
  result = eglChooseConfig(display, attribute_list, &config, 1, &num_config);
  require(result != EGL_FALSE && num_config > 0, "((EGLBoolean)0) != result");
  result = eglBindAPI(EGL_OPENGL_ES_API);
  require(result != EGL_FALSE, "((EGLBoolean)0) != result");
  context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
  require(context != EGL_NO_CONTEXT, "context!=((EGLContext)0)");

  uint32_t width = 0, height = 0;
#ifdef TERVOX_VIDEOCORE
  int32_t success = graphics_get_display_size(0, &width, &height);
  require(success >= 0, "success >= 0");
  VC_RECT_T dst_rect, src_rect;
  vc_dispmanx_rect_set(&dst_rect, 0, 0, width, height);
  vc_dispmanx_rect_set(&src_rect, 0, 0, width << 16, height << 16);
  DISPMANX_DISPLAY_HANDLE_T dispman_display = vc_dispmanx_display_open(0);
  DISPMANX_UPDATE_HANDLE_T dispman_update = vc_dispmanx_update_start(0);
  VC_DISPMANX_ALPHA_T alpha = {DISPMANX_FLAGS_ALPHA_FIXED_ALL_PIXELS, 255, 0};
  DISPMANX_ELEMENT_HANDLE_T element =
      vc_dispmanx_element_add(dispman_update, dispman_display, 0, &dst_rect, 0, &src_rect,
                              DISPMANX_PROTECTION_NONE, &alpha, nullptr, DISPMANX_NO_ROTATE);
  nativewindow.element = element;
  nativewindow.width = width;
  nativewindow.height = height;
  vc_dispmanx_update_submit_sync(dispman_update);
  surfaceEGL = eglCreateWindowSurface(display, config, &nativewindow, nullptr);
#else
  int window_w = 0, window_h = 0;
  SDL_GetWindowSize(window, &window_w, &window_h);
  width = (uint32_t)window_w;
  height = (uint32_t)window_h;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  EGLNativeWindowType native = 0;
  if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11)
    native = (EGLNativeWindowType)info.info.x11.window;
  surfaceEGL = eglCreateWindowSurface(display, config, native, nullptr);
#endif
  require(surfaceEGL != EGL_NO_SURFACE, "surfaceEGL != ((EGLSurface)0)");
  result = eglMakeCurrent(display, surfaceEGL, surfaceEGL, context);
  require(result != EGL_FALSE, "((EGLBoolean)0) != result");
  eglSwapInterval(display, 1);
  SCREEN_WIDTH = (int32_t)width;
  SCREEN_HEIGHT = (int32_t)height;

  const float scale_x = SCREEN_WIDTH / 288.0f, scale_y = SCREEN_HEIGHT / 192.0f;
  const float scale = scale_x < scale_y ? scale_x : scale_y;

  glGenTextures(1, &theGSTexture);
  glBindTexture(GL_TEXTURE_2D, theGSTexture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glEnable(GL_TEXTURE_2D);
  glClearColor(0, 0, 0, 1);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrthof(0, (GLfloat)SCREEN_WIDTH, (GLfloat)SCREEN_HEIGHT, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT);

  const int w = (int)(scale * 288), h = (int)(scale * 192);
  const GLshort x0 = (GLshort)(SCREEN_WIDTH / 2 - w / 2), y0 = (GLshort)(SCREEN_HEIGHT / 2 - h / 2);
  const GLshort x1 = (GLshort)(x0 + w), y1 = (GLshort)(y0 + h);
  const GLshort verts[8] = {x0, y0, x1, y0, x1, y1, x0, y1};
  memcpy(quadVerts, verts, sizeof quadVerts);
  glVertexPointer(2, GL_SHORT, 0, quadVerts);
  glEnableClientState(GL_VERTEX_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, kQuadTex);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glClear(GL_COLOR_BUFFER_BIT);
}

SDL_Surface *host_window_surface(void) { return window != nullptr ? SDL_GetWindowSurface(window) : nullptr; }
bool host_window_events_waiting(void) { return true; }

int host_start(void) {
  // The frame buffer is uploaded as an RGBA texture as it is: bytes R, G, B.
  platform = PLATFORM_PI;
  pixel_order = PIXELS_RGBX;
#ifdef TERVOX_VIDEOCORE
  bcm_host_init();
#endif
  int status = host_open_window();
  if (status >= 0) return status;
  init_ogl();
  status = host_create_surfaces();
  if (status >= 0) return status;
  host_audio_open();
  return -1;
}

void host_shutdown(void) {
  if (display != EGL_NO_DISPLAY) {
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroySurface(display, surfaceEGL);
    eglDestroyContext(display, context);
    eglTerminate(display);
  }
  host_close_window();
}

void host_set_fullscreen(int) {}  // the display element always fills the screen

// The frame is uploaded as the texture's top 256x192, the status line over
// its rows 4 to 11 (the texture's, not the frame buffer's: the renderer
// leaves rows that did not change as they are), and drawn as a quad.
void host_present(void) {
  if (surfaceEGL == EGL_NO_SURFACE) return;
  glClear(GL_COLOR_BUFFER_BIT);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, SCREEN_PIXELS_X, SCREEN_PIXELS_Y, GL_RGBA, GL_UNSIGNED_BYTE,
                  frame_buffer);
  if (present_status_shown)
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 4, SCREEN_PIXELS_X, STATUS_LINE_ROWS, GL_RGBA, GL_UNSIGNED_BYTE,
                    status_line);
  glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
  eglSwapBuffers(display, surfaceEGL);
}
