// Image loading, the MegaCart and Activision EEPROM mappers.
#pragma once
#include <cstdint>
#include <cstdio>

// Loads a cartridge image (raw or inside a ZIP archive) or mounts an Adam
// tape or disk image, and decides the machine mode and cartridge hardware.
// 0 on success, and the caller performs a full reset; 1 when the image does
// not load, which leaves the machine, its cartridge and title as they were.
int open_rom_file(const char *path);
// Why the last open_rom_file failed, in a player's words ("file not found").
extern const char *load_error;
// Tells the player that path did not load and why: on the status line (cut
// to fit) and in full on the standard error stream.
void report_load_error(const char *path);

// Name of the image (or of the last archive entry examined).
extern char filename_inzip[4096];

extern uint8_t eeprom[0x8000];
extern int32_t eeprom_modified;   // dirty mask; only non-zero matters
extern int32_t eeprom_small;      // 1: one address byte, 0: two
extern char eeprom_filename[4096];
// Two-wire bus state of the Activision EEPROM: the bit clock of the
// transfer (0 idle), whether it reads, the current address.
extern int32_t eeprom_state, eeprom_reading;
extern int32_t eeprom_address_1, eeprom_address_2;
// The bus as at power-on: idle, address 0, both lines low. Every image
// load starts from it, so nothing of another cartridge's transfer remains.
void eeprom_bus_idle(void);
// Writes a changed EEPROM to its save file (frame end).
void eeprom_flush(void);

extern FILE *tape1;   // open Adam tape and disk images, or null
extern FILE *disk1;
