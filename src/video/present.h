// Presentation of the frame and the status line; PNG screenshots.
#pragma once
#include <cstdint>

extern int32_t SCREEN_WIDTH, SCREEN_HEIGHT;
extern int32_t previous_border_color;

void message(const char *text);
void update_screen(void);
void save_screenshot(void);
