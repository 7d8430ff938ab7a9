// The I/O port map and the controllers.
#pragma once
#include <cstdint>

extern uint32_t key_table[256];
extern int32_t joystick;          // selected segment: 0 keypad, 1 joystick
extern int32_t roller_enabled, roller_x, roller_y, roller_state, roller_int;

int read_port(int port, int pc);
int write_port(int port, int value, int pc);
void roller_reset(void);
void roller_update(void);          // once per scanline, frame driver
