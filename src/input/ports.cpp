#include "input/ports.h"

uint32_t key_table[256];
int32_t joystick, roller_enabled, roller_x, roller_y, roller_state, roller_int;

int read_port(int, int) { return 0xFF; }
int write_port(int, int, int) { return 0; }
void roller_reset(void) { roller_int = 0; roller_state = 15; roller_x = roller_y = 0; roller_enabled = 0; }
void roller_update(void) {}
