#include "memory/cartridge.h"
#include "memory/memory.h"

uint8_t eeprom[0x8000];
int32_t eeprom_modified, eeprom_small;
char eeprom_filename[4096];
FILE *tape1, *disk1;

int open_rom_file(const char *) { return 1; }
void eeprom_flush(void) {}
int megarom(int a) { return map1[a >> 10][a]; }
int megarom_activision(int a) { return map1[a >> 10][a]; }
