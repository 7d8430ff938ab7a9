// Mapping file and the host event loop with its hotkeys.
#pragma once
#include <cstdint>

extern int32_t full_screen;

void load_mapping(void);           // path, defaults, read, save: every reset
void save_mapping(void);
void do_something(void);           // polls and handles every host event
void process_action(int action, int mod);
