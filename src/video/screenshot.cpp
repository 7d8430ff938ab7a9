// PNG screenshots of the 256x192 picture, numbered "image%03d.png".
#include <lodepng.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "common/paths.h"
#include "video/present.h"
#include "video/vdp.h"

static char image_filename[4096];
static uint8_t rgba[SCREEN_PIXELS_X * SCREEN_PIXELS_Y * 4];
static int screenshot_counter = 1;  // next number to try; never goes back

// Creates the file only if no file of that name exists ("x": exclusive),
// so a file we could not read, and so took for free, is never overwritten.
// Returns 0 when written, 2 when the name exists, 1 on any other failure.
static int write_new_file(const char *path, const unsigned char *data, size_t size) {
  errno = 0;
  FILE *f = open_file(path, "wbx");
  if (f == nullptr) return errno == EEXIST ? 2 : 1;
  bool ok = fwrite(data, 1, size, f) == size;
  ok = (fclose(f) == 0) && ok;
  if (!ok) remove_file(path);  // no half-written picture left behind
  return ok ? 0 : 1;
}

static void copy_frame(void) {
  uint8_t *out = rgba;
  for (uint32_t pixel : frame_buffer) {
    vdp_pixel_rgb(pixel, out);
    out[3] = 255;
    out += 4;
  }
}

int save_frame_png(const char *path) {
  copy_frame();
  unsigned char *png = nullptr;
  size_t png_size = 0;
  int result = (int)lodepng_encode_memory(&png, &png_size, rgba, SCREEN_PIXELS_X, SCREEN_PIXELS_Y, LCT_RGBA, 8);
  if (result == 0) {
    FILE *f = open_file(path, "wb");
    result = f == nullptr ? 1 : 0;
    if (f != nullptr) {
      if (fwrite(png, 1, png_size, f) != png_size) result = 1;
      if (fclose(f) != 0) result = 1;
    }
  }
  free(png);
  return result == 0 ? 0 : 1;
}

void save_screenshot(void) {
  copy_frame();
  unsigned char *png = nullptr;
  size_t png_size = 0;
  int result = (int)lodepng_encode_memory(&png, &png_size, rgba, SCREEN_PIXELS_X, SCREEN_PIXELS_Y, LCT_RGBA, 8);
  if (result == 0) {
    result = 1;
    // A name taken between the check and the creation moves on to the next.
    for (int tries = 0; tries < 1000; tries++) {
      if (next_numbered_user_path(FOLDER_PICTURES, image_filename, sizeof image_filename,
                                  "image%03d.png", &screenshot_counter) != 0)
        break;
      result = write_new_file(image_filename, png, png_size);
      if (result != 2) break;
    }
  }
  free(png);
  message(result == 0 ? "Screenshot saved" : "Couldn't save screenshot");
}
