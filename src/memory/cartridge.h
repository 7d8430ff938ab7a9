// Image loading, the MegaCart and Activision EEPROM mappers.
#pragma once
#include <cstdint>
#include <cstdio>

int open_rom_file(const char *path);

extern uint8_t eeprom[0x8000];
extern int32_t eeprom_modified;
extern int32_t eeprom_small;
extern char eeprom_filename[4096];
// Writes a changed EEPROM to its save file (frame end).
void eeprom_flush(void);

extern FILE *tape1;   // open Adam tape and disk images, or null
extern FILE *disk1;
