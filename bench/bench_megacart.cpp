// Cost of bank switching on every access: a 512 KB MegaCart program that
// reads a switching address in every instruction, an Activision program
// that switches banks and toggles the EEPROM clock in every instruction,
// and the same loop shape reading plain cartridge bytes as the baseline.
// All run through the real scanline loop; real time is 3.58 MHz.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "core/machine.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

static double cpu_seconds(void) {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// A loop at 0x8100 of 16 instructions "opcode lo hi", then JP 0x8100.
static void cartridge(int32_t mask, int mapper, int opcode, int first, int step) {
  sound_pacing = 0;
  sgm_active = 1;
  vdp_pal = 0;
  nmi_use = 1;
  memcpy(base_rom, coleco_bios, sizeof base_rom);
  memset(rom, 0xFF, sizeof rom);
  rom_size = mask ? mask + 1 : 0x8000;
  megacart = mask;
  megacart_mapper = mapper;
  int fixed = mask && !mapper ? mask + 1 - 0x4000 : 0;  // bank seen at 0x8000
  rom[fixed] = 0xAA;
  rom[fixed + 1] = 0x55;
  std::vector<uint8_t> code;
  for (int i = 0; i < 16; i++) {
    int a = first + (i * step) % 0x40;
    code.insert(code.end(), {(uint8_t)opcode, (uint8_t)a, (uint8_t)(a >> 8)});
  }
  code.insert(code.end(), {0xC3, 0x00, 0x81});
  memcpy(rom + fixed + 0x100, code.data(), code.size());
  init_peripheral(0);
  emulator_registers[REG_PC] = 0x8100;
}

static void run(const char *name, int seconds_of_machine) {
  long long lines = 15736LL * seconds_of_machine;
  auto t0 = std::chrono::steady_clock::now();
  double c0 = cpu_seconds();
  start_z80(map1, map2, (long)lines);
  double cpu = cpu_seconds() - c0;
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  int pc = emulator_registers[REG_PC];
  if (pc < 0x8100 || pc > 0x8133) printf("(the loop was left: PC %04X)\n", pc);
  printf("%-38s cpu %5.2f s  %6.1f emulated MHz  %5.1fx real time  (wall %5.2f s)\n", name, cpu,
         lines * 228 / cpu / 1e6, seconds_of_machine / cpu, wall);
}

int main() {
  const int seconds = 20;
  cartridge(0, 0, 0x3A, 0xC000, 5);  // LD A,(nn) of plain cartridge bytes
  run("plain reads (baseline)", seconds);
  cartridge(0x7FFFF, 0, 0x3A, 0xFFC0, 5);  // LD A,(0xFFC0 + k): a switch each
  run("MegaCart switch on every read", seconds);
  cartridge(0xFFFF, 1, 0x32, 0xFFB0, 0x10);  // LD (0xFFB0 + ...),A: bank, clock, data
  run("Activision write on every instruction", seconds);
  return 0;
}
