// The Z80 interpreter: register block, interrupt state, flag tables and the
// instruction step. It reaches the machine only through core/bus.h.
#pragma once
#include <cstdint>

// emulator_registers: 13 words of 16 bits each, in this order.
enum { REG_AF, REG_BC, REG_DE, REG_HL, REG_AF2, REG_BC2, REG_DE2, REG_HL2,
       REG_IX, REG_IY, REG_SP, REG_PC, REG_IR, REG_COUNT };

// Bits of F. Bits 5 and 3 are never computed: instructions that build F
// from a table leave them 0, the others keep them.
constexpr unsigned FLAG_C = 0x01;
constexpr unsigned FLAG_N = 0x02;   // the last operation subtracted
constexpr unsigned FLAG_PV = 0x04;  // parity or overflow
constexpr unsigned FLAG_3 = 0x08;
constexpr unsigned FLAG_H = 0x10;   // half carry
constexpr unsigned FLAG_5 = 0x20;
constexpr unsigned FLAG_Z = 0x40;
constexpr unsigned FLAG_S = 0x80;

constexpr unsigned HALT_OPCODE = 0x76;
constexpr unsigned NMI_ADDRESS = 0x0066;
constexpr unsigned IM1_ADDRESS = 0x0038;  // modes 0 and 1
enum : int {
  NMI_CYCLES = 12,
  INT_CYCLES = 14,        // modes 0 and 1
  INT_MODE2_CYCLES = 20,
};

extern int32_t emulator_registers[REG_COUNT];
extern int32_t interrupt_mask;    // IFF1 with the EI delay: 2 = EI just ran
extern int32_t interrupt_mask_2;  // IFF2
extern int32_t interrupt_mode;
extern int32_t z80_cycles, z80_cycles_1, z80_cycles_2;  // the scanline loop's counts
extern int32_t z80_error;         // set once an undefined ED opcode ran
// Set by the scanline loop just before a run when nothing but the CPU can
// have touched memory, banks or the interrupt state since the last run: an
// idle loop found then is still idle. Each run clears it.
extern int32_t z80_idle_kept;

// Runs instruction steps on emulator_registers until the budget is below
// zero (at least one step); returns what is left of it. An instruction is
// never split: its excess comes off the returned budget.
int z80_execute(uint8_t **read_table, uint8_t **write_table, int budget);
// Exactly one instruction step (interrupt check included) through map1 and
// map2; returns its cycles. For tests and tools.
int z80_step(void);
// Steps through map1 and map2 until at least `cycles` are used, with no
// scanline hand-off; returns the cycles used.
int z80_run(int cycles);

// Takes an interrupt on the stored registers: the NMI (nmi = 1) or the
// maskable interrupt in the current mode. Returns its cycles.
int z80_interrupt(int nmi);

void enable_interrupts(void);   // EI
void disable_interrupts(void);  // DI, and reset
void restore_interrupt(void);   // RETN, RETI: IFF1 = IFF2

// The six flag tables, indexed by an 8-bit result.
extern const uint8_t (&table_basic)[256];
extern const uint8_t (&table_basic2)[256];
extern const uint8_t (&table_parity)[256];
extern const uint8_t (&table_parity2)[256];
extern const uint8_t (&table_inc)[256];
extern const uint8_t (&table_dec)[256];
