#include "adam/adamnet.h"

int32_t pcb_adam, adam_keyboard[16], adam_status[16], adam_slow, adam_fast;

void adam_service(void) {}
void adam_reset(void) {}
