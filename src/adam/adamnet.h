// Adam devices served through the PCB and DCBs in RAM.
#pragma once
#include <cstdint>

extern int32_t pcb_adam;
extern int32_t adam_keyboard[16];   // typed keys, stored complemented
extern int32_t adam_status[16];
extern int32_t adam_slow;
extern int32_t adam_fast;
void adam_service(void);            // once per frame at line 192, Adam mode
