// The machine as the Z80 sees it, and all the interpreter may use of it:
// memory through the page tables and the two cartridge hooks, the I/O
// ports, and the maskable interrupt input. The memory module owns the
// tables, the port map owns the ports; a test can supply all of this
// alone and run the interpreter on a machine of its own.
#pragma once
#include <cstdint>

// Page tables of 64 pages of 1 KB: map1 for reads, map2 for writes. Each
// entry is biased so that table[a >> 10][a] is the byte at address a.
extern uint8_t *map1[64];
extern uint8_t *map2[64];
extern int32_t nmi_use;          // machine mode, below
extern int32_t megacart_mapper;  // 1: Activision cartridge

enum { MODE_HEADERLESS = 0, MODE_CONSOLE = 1, MODE_ADAM = 2 };

// MegaCart: a read of 0xFFC0-0xFFFF (console, Adam) selects the bank at
// 0xC000; headerless mode: the value written to 0xBFFF selects the bank at
// 0x8000. Returns the byte read.
int megarom(int a);
// Activision cartridge: a write to 0xFF80-0xFFFF switches a bank or drives
// the EEPROM's lines; the value written is not used.
int megarom_activision(int a);

enum : unsigned {
  MEGACART_SELECT = 0xFFC0,     // reads from here on switch MegaCart banks
  ACTIVISION_PORTS = 0xFF80,    // writes from here on go to the Activision hardware
  HEADERLESS_BANK = 0xBFFF,     // headerless mode's bank register
};

// The access rule: two hook tests ahead of one table lookup.
__attribute__((always_inline)) inline unsigned memory_read_from(uint8_t *const *table, unsigned a) {
  if (a >= MEGACART_SELECT && megacart_mapper != 1 && nmi_use != MODE_HEADERLESS) return (unsigned)megarom((int)a) & 0xFF;
  return table[a >> 10][a];
}
// Both write hooks sit at 0xBFFF and above, so one compare guards them.
inline void memory_write_to(uint8_t *const *table, unsigned a, unsigned v) {
  if (a >= HEADERLESS_BANK) {
    if (megacart_mapper == 1) {
      if (a >= ACTIVISION_PORTS) {
        megarom_activision((int)a);
        return;
      }
    } else if (a == HEADERLESS_BANK && nmi_use == MODE_HEADERLESS) {
      megarom((int)v);
      return;
    }
  }
  table[a >> 10][a] = (uint8_t)v;
}
inline int memory_read(int a) { return (int)memory_read_from(map1, (unsigned)a & 0xFFFF); }
inline void memory_write(int a, int v) { memory_write_to(map2, (unsigned)a & 0xFFFF, (unsigned)v & 0xFF); }

// IN and OUT. The port is the whole 16-bit address; pc is the program
// counter after the instruction's operands. A write returns the extra
// cycles it costs the CPU (a sound-chip write, an interrupt taken at once).
// A write that changes the CPU's registers (takes an interrupt) must return
// non-zero: after a zero the interpreter keeps its own copies.
int read_port(int port, int pc);
int write_port(int port, int value, int pc);

// Non-zero while the maskable interrupt input is asserted. In headerless
// mode it follows the video chip, which a port access may move; in the
// other modes it follows the roller controller, which changes only between
// runs, so there the CPU need not look again after a port access.
int interrupt_line(void);
