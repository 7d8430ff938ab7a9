#include "input/events.h"

int32_t full_screen;

void load_mapping(void) {}
void save_mapping(void) {}
void do_something(void) {}
void process_action(int, int) {}
