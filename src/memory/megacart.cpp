// MegaCart bank switching (console and Adam modes) and the bank register
// of headerless mode.
#include "memory/memory.h"

int megarom(int a) {
  if (rom_size <= 0x8000) return map1[a >> 10][a];
  if (nmi_use != MODE_HEADERLESS) {
    // Reading 0xFFC0-0xFFFF selects the bank at 0xC000-0xFFFF by the low
    // address bits, masked to the bank count.
    int offset = (a << 14) & megacart;
    for (int i = 0; i < 16; i++) map_page(map1, 48 + i, rom, offset + i * 1024);
    return map1[a >> 10][a];
  }
  // Headerless: a is the value written to 0xBFFF.
  int bank = (a & 7) * 0x4000;
  for (int i = 0; i < 16; i++) {
    map_page(map1, 16 + i, rom, i * 1024);
    map_page(map1, 32 + i, rom, bank + i * 1024);
  }
  return 0;
}
