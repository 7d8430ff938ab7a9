// Presentation of the frame and the status line; PNG screenshots.
#pragma once
#include <cstdint>

struct SDL_Surface;

extern int32_t SCREEN_WIDTH, SCREEN_HEIGHT;
extern int32_t previous_border_color;
extern int32_t previous_x_size, previous_y_size, previous_message_brightness;
extern char current_message[256];
extern int32_t message_brightness;   // presentations left for the message

void message(const char *text);
void update_screen(void);
void save_screenshot(void);
// The current frame as a PNG file at path (headless runs, tests); 0 on success.
int save_frame_png(const char *path);

// Where the picture and the status line go in a window of a given size.
struct present_layout {
  int x, y, w, h;                  // picture rectangle
  int status_x, status_y, status_w, status_h;
};
present_layout present_geometry(int width, int height);

// What update_screen decided for the host to show: the layout of the
// current window, whether the border must be repainted and in which
// colour, and whether the status line is shown.
extern present_layout present_current;
extern int32_t present_border_dirty;
extern uint32_t present_border;
extern int32_t present_status_shown;

// Fills the status line image: a bar of red `level` with `text` (clipped
// to the 41 cells of the line) in grey `level`, glyphs from the BIOS font.
void present_draw_status(SDL_Surface *target, const char *text, int level);
// Composes border, picture and status line onto a window surface as
// update_screen last decided. The desktop host calls it, then shows it.
void present_window(SDL_Surface *target);
