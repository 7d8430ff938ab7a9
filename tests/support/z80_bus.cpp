#include "support/z80_bus.h"

#include "core/bus.h"

uint8_t *map1[64], *map2[64];
int32_t nmi_use, megacart_mapper;
uint8_t bus_ram[0x10000];
int (*bus_port_read)(int port);
int (*bus_port_write)(int port, int value);
int bus_int_line;

// Headerless mode never diverts a read; the one write hook, 0xBFFF, comes
// here and the value is dropped, as the bank register would.
int megarom(int) { return 0; }
int megarom_activision(int) { return 0; }

int read_port(int port, int) { return bus_port_read ? bus_port_read(port) : 0xFF; }
int write_port(int port, int value, int) { return bus_port_write ? bus_port_write(port, value) : 0; }
int interrupt_line(void) { return bus_int_line; }

void bus_reset(uint8_t *ram) {
  for (int p = 0; p < 64; p++) map1[p] = map2[p] = ram;  // biased: table[a >> 10][a] = ram[a]
  nmi_use = MODE_HEADERLESS;
  megacart_mapper = 0;
  bus_port_read = nullptr;
  bus_port_write = nullptr;
  bus_int_line = 0;
}
