// Presentation: the frame scaled into the window with a border in the
// backdrop colour, and the fading status line drawn with the BIOS font.
#include "video/present.h"

#include <SDL.h>

#include <cstring>

#include "host/host.h"
#include "memory/memory.h"
#include "video/vdp.h"

int32_t SCREEN_WIDTH = 640, SCREEN_HEIGHT = 416;
int32_t previous_border_color = -1;
int32_t previous_x_size = -1, previous_y_size = -1, previous_message_brightness = -1;
char current_message[256];
int32_t message_brightness;

present_layout present_current;
int32_t present_border_dirty;
uint32_t present_border;
int32_t present_status_shown;

enum { FONT_BASE = 0x14A3, STATUS_CELLS = 41 };

void message(const char *text) {
  if (text == nullptr) text = "";
  // Bounded: any caller's text fits, long ones are cut.
  strncpy(current_message, text, sizeof current_message - 1);
  current_message[sizeof current_message - 1] = '\0';
  message_brightness = 100;
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

void present_draw_status(SDL_Surface *target, const char *text, int level) {
  if (target == nullptr) return;
  SDL_FillRect(target, nullptr, SDL_MapRGB(target->format, (Uint8)level, 0, 0));
  const Uint32 ink = SDL_MapRGB(target->format, (Uint8)level, (Uint8)level, (Uint8)level);
  if (target->format->BytesPerPixel != 4) return;
  if (SDL_MUSTLOCK(target) && SDL_LockSurface(target) != 0) return;
  const int rows = target->h < 8 ? target->h : 8;
  for (int k = 0; k < STATUS_CELLS && text[k] != '\0'; k++) {
    const uint8_t *glyph = base_rom + FONT_BASE + 8 * (uint8_t)text[k];
    const int left = 6 * (k + 1);
    for (int r = 0; r < rows; r++) {
      Uint32 *line = (Uint32 *)((uint8_t *)target->pixels + r * target->pitch);
      for (int i = 0; i < 6; i++)
        if ((glyph[r] & (0x80 >> i)) && left + i < target->w) line[left + i] = ink;
    }
  }
  if (SDL_MUSTLOCK(target)) SDL_UnlockSurface(target);
}

void update_screen(void) {
  const int width = SCREEN_WIDTH, height = SCREEN_HEIGHT;
  present_current = present_geometry(width, height);
  // Entry 0 is 0 here, so a backdrop of colour 0 is black.
  present_border = vdp_colors[vdp_reg[7] & 15];
  present_border_dirty = width != previous_x_size || height != previous_y_size ||
                         (int32_t)present_border != previous_border_color ||
                         message_brightness != previous_message_brightness;
  if (present_border_dirty) {
    previous_x_size = width;
    previous_y_size = height;
    previous_border_color = (int32_t)present_border;
    previous_message_brightness = message_brightness;
  }
  present_status_shown = 0;
  if (message_brightness > 0) {
    message_brightness--;
    int level = message_brightness * 255 / 50;
    if (level > 255) level = 255;
    present_draw_status(status_surface, current_message, level);
    present_status_shown = 1;
  }
  host_present();
}

static void fill_rect(SDL_Surface *target, Uint32 colour, int x, int y, int w, int h) {
  if (w <= 0 || h <= 0) return;
  SDL_Rect r = {x, y, w, h};
  SDL_FillRect(target, &r, colour);
}

void present_window(SDL_Surface *target) {
  if (target == nullptr) return;
  const present_layout &l = present_current;
  const int width = SCREEN_WIDTH, height = SCREEN_HEIGHT;
  if (present_border_dirty) {
    const Uint32 c = SDL_MapRGB(target->format, (present_border >> 16) & 255,
                                (present_border >> 8) & 255, present_border & 255);
    fill_rect(target, c, 0, 0, width, l.y);
    fill_rect(target, c, 0, l.y, l.x, l.h);
    fill_rect(target, c, l.x + l.w, l.y, width - (l.x + l.w), l.h);
    fill_rect(target, c, 0, l.y + l.h, width, height - (l.y + l.h));
  }
  if (surface != nullptr && l.w > 0 && l.h > 0) {
    SDL_Rect r = {l.x, l.y, l.w, l.h};
    SDL_BlitScaled(surface, nullptr, target, &r);
  }
  if (present_status_shown && status_surface != nullptr && l.status_w > 0 && l.status_h > 0) {
    SDL_Rect r = {l.status_x, l.status_y, l.status_w, l.status_h};
    SDL_BlitScaled(status_surface, nullptr, target, &r);
  }
}
