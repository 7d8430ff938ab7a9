#include "core/z80.h"
#include "core/machine.h"
#include "memory/memory.h"

int32_t emulator_registers[REG_COUNT];
int32_t interrupt_mask, interrupt_mask_2, interrupt_mode, nmi_gate;
int32_t z80_cycles, z80_cycles_1, z80_cycles_2, z80_error;
int32_t z80_scanline_limit;

void start_z80(uint8_t **, uint8_t **) {
  emulator_event = 0;
  z80_scanline_limit = 0;
}
int check_for_interrupt(void) { return 0; }
void enable_interrupts(void) { interrupt_mask = 2; interrupt_mask_2 = 1; }
void disable_interrupts(void) { interrupt_mask = 0; interrupt_mask_2 = 0; }
void restore_interrupt(void) { interrupt_mask = interrupt_mask_2; }
int z80_step(void) { return 4; }
