// The I/O port map of the three machine modes (read_port, write_port and
// the maskable interrupt line of core/bus.h), the controllers and the
// roller controller.
#pragma once
#include <cstdint>

// key_table indices of controller 1's inputs, in the order of the mapping
// file's names; controller 2's are 20 further on, then the hotkeys.
enum {
  K_UP, K_RIGHT, K_DOWN, K_LEFT, K_LEFT_BUTTON, K_RIGHT_BUTTON, K_BUTTON3, K_BUTTON4,
  K_KEY1, K_KEY2, K_KEY3, K_KEY4, K_KEY5, K_KEY6, K_KEY7, K_KEY8, K_KEY9,
  K_STAR, K_KEY0, K_HASH, K_CONTROLLER_2 = 20, K_ACTIONS = 40
};

extern uint32_t key_table[256];
extern int32_t joystick;          // selected segment: 0 keypad, 1 joystick
extern int32_t roller_enabled, roller_x, roller_y, roller_state, roller_int;

void roller_reset(void);
void roller_update(void);          // once per scanline, frame driver
// Off and settled: roller_update would change nothing, so the frame driver
// need not call it.
inline bool roller_idle(void) { return roller_enabled == 0 && roller_state == 15 && roller_int == 0; }
