// Z80 interpreter: register block, interrupt state, scanline loop.
#pragma once
#include <cstdint>

enum { REG_AF, REG_BC, REG_DE, REG_HL, REG_AF2, REG_BC2, REG_DE2, REG_HL2,
       REG_IX, REG_IY, REG_SP, REG_PC, REG_IR, REG_COUNT };

extern int32_t emulator_registers[REG_COUNT];
extern int32_t interrupt_mask;    // IFF1 with the EI delay (2 = EI just ran)
extern int32_t interrupt_mask_2;  // IFF2
extern int32_t interrupt_mode;
extern int32_t nmi_gate;          // video line level at the last NMI check
extern int32_t z80_cycles, z80_cycles_1, z80_cycles_2;
extern int32_t z80_error;         // set once an undefined ED opcode ran

// Runs scanlines until emulator_event is non-zero at a scanline end.
void start_z80(uint8_t **read_table, uint8_t **write_table);
int check_for_interrupt(void);
void enable_interrupts(void);
void disable_interrupts(void);
void restore_interrupt(void);

// Tests and headless runs: when > 0, start_z80 also returns after this many
// scanlines (counted down to 0).
extern int32_t z80_scanline_limit;
// Non-zero: start_z80 continues the cycle and sound-line counts of the
// previous entry instead of starting afresh (headless runs in slices).
extern int32_t z80_continue;

// Test and tool access: executes exactly one instruction step (interrupt
// check included) on emulator_registers through map1/map2 and returns
// its cycle count.
int z80_step(void);
// Runs instruction steps on emulator_registers through map1/map2 until at
// least `cycles` cycles are used, with no scanline hand-off; returns the
// cycles used.
int z80_run(int cycles);

// Optional port stand-ins for tests: when set, IN and OUT call these instead
// of read_port/write_port (the write hook returns extra cycles).
extern int (*z80_port_read_hook)(int port);
extern int (*z80_port_write_hook)(int port, int value);

// The six flag tables, indexed by an 8-bit result.
extern const uint8_t (&table_basic)[256];
extern const uint8_t (&table_basic2)[256];
extern const uint8_t (&table_parity)[256];
extern const uint8_t (&table_parity2)[256];
extern const uint8_t (&table_inc)[256];
extern const uint8_t (&table_dec)[256];
