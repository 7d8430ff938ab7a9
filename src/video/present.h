// The frame buffer, the status line, and what a presentation shows: the
// picture scaled into the window with a border in the backdrop colour and
// a fading status message. The host draws it (host/host.h); PNG
// screenshots are taken from the frame buffer.
#pragma once
#include <cstdint>

#include "core/timing.h"

// The picture: 192 rows of 256 pixels in the order of video/vdp.h, and a
// 256x8 status line in the same order.
extern uint32_t frame_buffer[SCREEN_PIXELS_Y * SCREEN_PIXELS_X];
extern uint32_t *image;           // the frame buffer's first pixel
// Rows of the picture the renderer wrote since a presentation last cleared
// this (bit y % 64 of word y / 64): the others still hold what was shown.
// Anything else that writes the picture marks its rows here too.
extern uint64_t frame_rows_written[3];
enum { STATUS_LINE_ROWS = 8 };
enum { STATUS_CELLS = 41 };   // characters the status line holds
extern uint32_t status_line[STATUS_LINE_ROWS * SCREEN_PIXELS_X];

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
// colour, and whether the status line is shown and if it changed.
extern present_layout present_current;
extern int32_t present_border_dirty;
extern uint32_t present_border;
extern int32_t present_status_shown;
extern int32_t present_status_changed;   // status_line was redrawn for this one
