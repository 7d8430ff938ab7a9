// Activision cartridge: bank switching and the serial EEPROM on a
// two-wire bus, both driven by writes to 0xFF80-0xFFFF.
#include "common/paths.h"
#include "memory/cartridge.h"
#include "memory/memory.h"

uint8_t eeprom[0x8000];
int32_t eeprom_modified, eeprom_small;
char eeprom_filename[4096];
int32_t eeprom_state, eeprom_reading;
static int32_t eeprom_byte, eeprom_byte_read;  // shift register; the byte being read out
int32_t eeprom_address_1, eeprom_address_2;

// Bus lines as last driven by the program.
static int bus_clock, bus_data;

// The EEPROM's data line: the byte at 0xFF80 of banks 1, 2 and 3.
static void eeprom_output(int bit) {
  rom[0x7F80] = rom[0xBF80] = rom[0xFF80] = (uint8_t)bit;
}

static int eeprom_address(void) {
  return eeprom_small ? eeprom_address_1 : eeprom_address_1 * 256 + eeprom_address_2;
}

static void eeprom_advance(void) {
  if (eeprom_small) {
    eeprom_address_1 = (eeprom_address_1 + 1) & 0xFF;
  } else if (++eeprom_address_2 == 256) {
    eeprom_address_2 = 0;
    eeprom_address_1 = (eeprom_address_1 + 1) & 0x7F;
  }
}

// One rising clock edge while a transfer runs. Each check reads the state
// afresh, so a change made by one is seen by the next.
static void eeprom_clock(void) {
  int s = eeprom_state;
  // Eight bits at most are shifted between two uses; the mask keeps the
  // read loop, which never clears the register, from overflowing it.
  if (s != 9 && s != 18 && s != 27 && s != 36) eeprom_byte = ((eeprom_byte << 1) | bus_data) & 0xFF;
  int t = ++eeprom_state;
  if (t == 10) {
    eeprom_output(((eeprom_byte >> 4) & 0xF) != 0xA ? 1 : 0);
    eeprom_byte = 0;
  }
  if (t == 19 || t == 28 || t == 37) eeprom_output(0);
  if (t >= 41 && t <= 48) eeprom_output((eeprom_byte_read >> (48 - t)) & 1);
  if ((t == 10 || t == 40 || t == 49) && eeprom_reading == 1) {
    eeprom_state = 40;
    eeprom_byte_read = eeprom[eeprom_address()];
  }
  if (eeprom_state == 19) {
    // The large part has 32 KB: the top bit of its high address byte is
    // not decoded, which also keeps the address inside eeprom.
    eeprom_address_1 = eeprom_byte & (eeprom_small ? 0xFF : 0x7F);
    eeprom_byte = 0;
  }
  if (eeprom_state == 28) {
    if (eeprom_small) {
      eeprom[eeprom_address_1] = (uint8_t)eeprom_byte;
      eeprom_modified |= 1;
    } else {
      eeprom_address_2 = eeprom_byte & 0xFF;
    }
    eeprom_byte = 0;
  }
  if (eeprom_state == 37) {
    eeprom[eeprom_address_1 * 256 + eeprom_address_2] = (uint8_t)eeprom_byte;
    eeprom_modified |= (int32_t)(1u << (eeprom_address_1 >> 2));
    eeprom_byte = 0;
  }
  if (eeprom_state == 48 || (eeprom_state == 28 && eeprom_small) ||
      (eeprom_state == 37 && !eeprom_small))
    eeprom_advance();
  if (eeprom_state == 28 && eeprom_small) eeprom_state = 19;
  else if (eeprom_state == 37) eeprom_state = 28;
}

int megarom_activision(int a) {
  switch (a & 0x70) {
    case 0x10: case 0x20: case 0x30: {
      int bank = ((a & 0x70) >> 4) * 0x4000;
      for (int i = 0; i < 16; i++) map_page(map1, 48 + i, rom, bank + i * 1024);
      break;
    }
    case 0x40:
      bus_clock = 0;
      break;
    case 0x50:
      if (bus_clock == 0 && eeprom_state > 0) eeprom_clock();
      bus_clock = 1;
      break;
    case 0x60:
      if (bus_clock == 1 && bus_data == 1 && eeprom_state == 0) {
        eeprom_state = 1;
        eeprom_byte = 0;
      }
      bus_data = 0;
      break;
    case 0x70:
      if (bus_clock == 1 && bus_data == 0) {
        eeprom_reading = ((eeprom_state == 20 && eeprom_small) ||
                          (eeprom_state == 29 && !eeprom_small)) ? 1 : 0;
        eeprom_state = 0;
      }
      bus_data = 1;
      break;
    default:
      break;
  }
  return map1[a >> 10][a];
}

void eeprom_flush(void) {
  if (eeprom_modified == 0) return;
  if (eeprom_filename[0] == '\0') {  // no usable save location: keep it in memory only
    eeprom_modified = 0;
    return;
  }
  // Replaced through a temporary file so a failed write never truncates the
  // previous save; on failure the mask stays set and the next frame retries.
  if (replace_file(eeprom_filename, eeprom, sizeof eeprom) == 0) eeprom_modified = 0;
}
