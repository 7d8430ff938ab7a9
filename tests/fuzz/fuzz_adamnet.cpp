// The Adam device service with hostile control blocks in RAM: any PCB
// place and command, any DCB device, command, buffer, length and block, any
// pending device state, with or without a disk and a tape attached, under
// any memory layout the ports can select.
//
// Input: a header, then blocks of PCB + 15 DCBs, each written into RAM at
// the current PCB (wrapping at 64 KB) before one service call.
#include <cstdio>
#include <cstring>

#include "adam/adamnet.h"
#include "core/bus.h"
#include "core/machine.h"
#include "fuzz/fuzz.h"
#include "memory/cartridge.h"
#include "memory/memory.h"

namespace {

enum {
  HAS_DISK = 1, HAS_TAPE = 2, FAST = 4,  // header byte 0
  HEADER = 1 + 1 + 2 + 1 + 16 + 16,      // flags, layout, PCB, divider, states, keys
  BLOCKS = 4 + 21 * 15,                  // PCB and its DCBs
  ADAM_DIVIDER = 43,
  COMMANDS = 5,                          // pending states 0-4
  MAX_CALLS = 8,
};

// A short image, so that blocks past its end are read too.
FILE *attach(const char *name, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; i++) bytes[i] = (uint8_t)(i * 7 + (i >> 9));
  return fopen(fuzz_write(name, bytes.data(), size).c_str(), "r+b");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < HEADER) return 0;
  fuzz_fresh_machine();
  nmi_use = MODE_ADAM;
  init_peripheral(0);
  const uint8_t *p = data;
  const int flags = *p++;
  if (flags & HAS_DISK) disk1 = attach("disk.dsk", 5 * 1024 + 300);
  if (flags & HAS_TAPE) tape1 = attach("tape.ddp", 3 * 1024 + 100);
  adam_fast = (flags & FAST) ? 1 : 0;
  const int layout = *p++;
  adam_memory_config(layout & 0x0F);
  adam_rom_enable((layout >> 3) & 0x02);
  pcb_adam = p[0] | p[1] << 8;
  p += 2;
  adam_slow = *p++ % ADAM_DIVIDER;
  for (int i = 0; i < 16; i++) adam_status[i] = *p++ % COMMANDS;
  for (int i = 0; i < 16; i++, p++) adam_keyboard[i] = *p ? ~(int32_t)*p : 0;

  const uint8_t *end = data + size;
  for (int call = 0; call < MAX_CALLS && p < end; call++) {
    for (int i = 0; i < BLOCKS && p < end; i++) internal_ram[(pcb_adam + i) & 0xFFFF] = *p++;
    adam_service();
  }
  return 0;
}
