// A machine of one flat 64 KB of RAM, for the interpreter alone: these are
// all the bus functions of core/bus.h, with ports and the interrupt input
// under the test's control.
#pragma once
#include <cstdint>

extern uint8_t bus_ram[0x10000];
extern int (*bus_port_read)(int port);             // null: reads 0xFF
extern int (*bus_port_write)(int port, int value); // null: no extra cycles
extern int bus_int_line;                           // the maskable input

// Every page of both tables on `ram` (bus_ram by default), headerless
// mode, no cartridge hooks, ports and interrupt input idle.
void bus_reset(uint8_t *ram = bus_ram);
