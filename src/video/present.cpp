// Presentation: the frame scaled into the window with a border in the
// backdrop colour, and the fading status line drawn with the BIOS font. The
// decisions are made here; the host draws them.
#include "video/present.h"

#include <cstring>

#include "host/host.h"
#include "memory/memory.h"
#include "video/vdp.h"

uint32_t frame_buffer[SCREEN_PIXELS_Y * SCREEN_PIXELS_X];
uint32_t *image = frame_buffer;
uint64_t frame_rows_written[3] = {~(uint64_t)0, ~(uint64_t)0, ~(uint64_t)0};
uint32_t status_line[STATUS_LINE_ROWS * SCREEN_PIXELS_X];

int32_t SCREEN_WIDTH = 640, SCREEN_HEIGHT = 416;
int32_t previous_border_color = -1;
int32_t previous_x_size = -1, previous_y_size = -1, previous_message_brightness = -1;
char current_message[256];
int32_t message_brightness;

present_layout present_current;
int32_t present_border_dirty;
uint32_t present_border;
int32_t present_status_shown;
int32_t present_status_changed;
// What the status line holds: the level it was drawn at (-1: nothing) and
// the text.
static int status_drawn_level = -1;
static char status_drawn_text[sizeof current_message];

enum {
  MESSAGE_FRAMES = 100,   // a message lives this many presentations
  MESSAGE_FADE = 50,      // and fades over the last ones
};

void message(const char *text) {
  if (text == nullptr) text = "";
  // Bounded: any caller's text fits, long ones are cut.
  strncpy(current_message, text, sizeof current_message - 1);
  current_message[sizeof current_message - 1] = '\0';
  message_brightness = MESSAGE_FRAMES;
}

present_layout present_geometry(int width, int height) {
  // Design size 288x208: each pixel is 9/8 as wide as tall, with 8 units
  // of border above and below the picture.
  double scale = width / 288.0 < height / 208.0 ? width / 288.0 : height / 208.0;
  if (scale < 0) scale = 0;
  present_layout l;
  l.w = (int)(scale * 288.0);
  l.h = (int)(scale * 192.0);
  l.x = (width - l.w) / 2;
  l.y = (height - l.h) / 2;
  l.status_x = (int)(scale * 4.0);
  l.status_y = (int)(scale * 4.0);
  l.status_w = (int)(scale / 2.0 * 256.0);
  l.status_h = (int)(scale / 2.0 * 8.0);
  return l;
}

// Fills the status line: a bar of red `level` with `text` (clipped to the
// 41 cells of the line) in grey `level`, glyphs from the BIOS font.
static void present_draw_status(const char *text, int level) {
  const uint32_t bar = vdp_pixel(level, 0, 0), ink = vdp_pixel(level, level, level);
  for (uint32_t &p : status_line) p = bar;
  for (int k = 0; k < STATUS_CELLS && text[k] != '\0'; k++) {
    const uint8_t *glyph = base_rom + BIOS_FONT + 8 * (uint8_t)text[k];
    const int left = 6 * (k + 1);
    for (int r = 0; r < STATUS_LINE_ROWS; r++) {
      uint32_t *line = status_line + r * SCREEN_PIXELS_X;
      for (int i = 0; i < 6; i++)
        if ((glyph[r] & (0x80 >> i)) && left + i < SCREEN_PIXELS_X) line[left + i] = ink;
    }
  }
}

void update_screen(void) {
  const int width = SCREEN_WIDTH, height = SCREEN_HEIGHT;
  present_current = present_geometry(width, height);
  // Entry 0 is 0 here, so a backdrop of colour 0 is black.
  present_border = vdp_colors[vdp_reg[7] & 15];
  // The bar covers its place in the border whole while it shows: the
  // border is repainted when it goes, not while it fades.
  const bool status_gone = previous_message_brightness > 0 && message_brightness <= 0;
  present_border_dirty = width != previous_x_size || height != previous_y_size ||
                         (int32_t)present_border != previous_border_color || status_gone;
  if (present_border_dirty) {
    previous_x_size = width;
    previous_y_size = height;
    previous_border_color = (int32_t)present_border;
  }
  previous_message_brightness = message_brightness;
  present_status_shown = 0;
  present_status_changed = 0;
  if (message_brightness > 0) {
    message_brightness--;
    int level = message_brightness * 255 / MESSAGE_FADE;
    if (level > 255) level = 255;
    // Drawn only when it looks different: most frames of a message do not.
    if (level != status_drawn_level || strcmp(current_message, status_drawn_text) != 0) {
      present_draw_status(current_message, level);
      status_drawn_level = level;
      memcpy(status_drawn_text, current_message, sizeof status_drawn_text);
      present_status_changed = 1;
    }
    present_status_shown = 1;
  } else {
    status_drawn_level = -1;
  }
  host_present();
}
