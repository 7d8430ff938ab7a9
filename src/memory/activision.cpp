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

// Bit clocks of a transfer (eeprom_state after the clock's rising edge):
// the device byte ends at 10 with its acknowledge; a write's address and
// data bytes are taken at 19, 28 and 37; a read shifts out a byte from 41
// to 48 and fetches the next at 49 (the program's acknowledge), going on
// from 40.
enum : int32_t {
  BUS_IDLE = 0,
  BUS_DEVICE_BYTE_START = 1,
  BUS_DEVICE_DONE = 10,
  BUS_FIRST_BYTE = 19,
  BUS_SECOND_BYTE = 28,
  BUS_THIRD_BYTE = 37,
  BUS_READ_LOOP = 40,
  BUS_READ_FIRST_BIT = 41,
  BUS_READ_LAST_BIT = 48,
  BUS_READ_ACKNOWLEDGE = 49,
};
enum : int32_t {
  DEVICE_TYPE = 0xA,  // upper four bits of the device byte: a serial EEPROM
  DEVICE_READ = 1,    // low bit: the transfer reads
};

// The EEPROM's data line: the byte at 0xFF80 of banks 1, 2 and 3.
static void eeprom_output(int bit) {
  rom[0x7F80] = rom[0xBF80] = rom[0xFF80] = (uint8_t)bit;
}

// Masked to the part's size, so no value the bus left behind (another
// cartridge's, a damaged one) can index past eeprom.
static int eeprom_address(void) {
  if (eeprom_small) return eeprom_address_1 & 0xFF;
  return (eeprom_address_1 & 0x7F) << 8 | (eeprom_address_2 & 0xFF);
}

static void eeprom_advance(void) {
  if (eeprom_small) {
    eeprom_address_1 = (eeprom_address_1 + 1) & 0xFF;
  } else if (++eeprom_address_2 >= 256) {
    eeprom_address_2 = 0;
    eeprom_address_1 = (eeprom_address_1 + 1) & 0x7F;
  }
}

static void eeprom_store(int value) {
  const int address = eeprom_address();
  eeprom[address] = (uint8_t)value;
  eeprom_modified |= (int32_t)(1u << (address >> 10));  // one bit per 1 KB
}

// One rising clock edge while a transfer runs. Each check reads the state
// afresh, so a change made by one is seen by the next.
static void eeprom_clock(void) {
  int s = eeprom_state;
  // Eight bits at most are shifted between two uses; the mask keeps the
  // read loop, which never clears the register, from overflowing it.
  if (s != 9 && s != 18 && s != 27 && s != 36) eeprom_byte = ((eeprom_byte << 1) | bus_data) & 0xFF;
  int t = ++eeprom_state;
  if (t == BUS_DEVICE_DONE) {
    // A device byte of another type is meant for another chip: no
    // acknowledge, and the rest of the transfer is not ours to take (it
    // would move the address or overwrite saved data). Otherwise its low
    // bit says whether this transfer reads.
    const bool ours = ((eeprom_byte >> 4) & 0xF) == DEVICE_TYPE;
    eeprom_output(ours ? 0 : 1);
    eeprom_reading = ours && (eeprom_byte & DEVICE_READ) ? 1 : 0;
    eeprom_byte = 0;
    if (!ours) {
      eeprom_state = BUS_IDLE;  // until the next start
      return;
    }
  }
  if (t == BUS_FIRST_BYTE || t == BUS_SECOND_BYTE || t == BUS_THIRD_BYTE) eeprom_output(0);
  if (t >= BUS_READ_FIRST_BIT && t <= BUS_READ_LAST_BIT) eeprom_output((eeprom_byte_read >> (BUS_READ_LAST_BIT - t)) & 1);
  if ((t == BUS_DEVICE_DONE || t == BUS_READ_LOOP || t == BUS_READ_ACKNOWLEDGE) && eeprom_reading == 1) {
    // A read starts at the current address: the one after the last byte
    // written or read, or the one a preceding address-only write set.
    eeprom_state = BUS_READ_LOOP;
    eeprom_byte_read = eeprom[eeprom_address()];
  }
  if (eeprom_state == BUS_FIRST_BYTE) {
    // The large part has 32 KB: the top bit of its high address byte is
    // not decoded.
    eeprom_address_1 = eeprom_byte & (eeprom_small ? 0xFF : 0x7F);
    eeprom_byte = 0;
  }
  if (eeprom_state == BUS_SECOND_BYTE) {
    if (eeprom_small) eeprom_store(eeprom_byte);
    else eeprom_address_2 = eeprom_byte & 0xFF;
    eeprom_byte = 0;
  }
  if (eeprom_state == BUS_THIRD_BYTE) {
    eeprom_store(eeprom_byte);
    eeprom_byte = 0;
  }
  if (eeprom_state == BUS_READ_LAST_BIT || (eeprom_state == BUS_SECOND_BYTE && eeprom_small) ||
      (eeprom_state == BUS_THIRD_BYTE && !eeprom_small))
    eeprom_advance();
  // Ready for the next data byte.
  if (eeprom_state == BUS_SECOND_BYTE && eeprom_small) eeprom_state = BUS_FIRST_BYTE;
  else if (eeprom_state == BUS_THIRD_BYTE) eeprom_state = BUS_SECOND_BYTE;
}

void eeprom_bus_idle(void) {
  eeprom_state = BUS_IDLE;
  eeprom_reading = 0;
  eeprom_byte = eeprom_byte_read = 0;
  eeprom_address_1 = eeprom_address_2 = 0;
  bus_clock = bus_data = 0;
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
      if (bus_clock == 0 && eeprom_state > BUS_IDLE) eeprom_clock();
      bus_clock = 1;
      break;
    case 0x60:
      // Data falling while the clock is high: a start, or a repeated start
      // in the middle of a transfer (a random read sets the address that way).
      if (bus_clock == 1 && bus_data == 1) {
        eeprom_state = BUS_DEVICE_BYTE_START;
        eeprom_byte = 0;
        eeprom_reading = 0;
      }
      bus_data = 0;
      break;
    case 0x70:
      // Data rising while the clock is high: a stop ends any transfer. The
      // clock the program raised for it has already counted a bit, which
      // is dropped with the unfinished byte.
      if (bus_clock == 1 && bus_data == 0) {
        eeprom_state = BUS_IDLE;
        eeprom_reading = 0;
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
