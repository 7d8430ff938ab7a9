// Interpreter speed through the real scanline loop (sound generator and
// frame driver after every line) and the console access rule.
//
// Mix 1: the first 500 million cycles of the zexdoc exerciser (skipped
// when the shared test data is absent). Mix 2: a cartridge-style loop that
// copies a table to the video chip through ports 0xBF/0xBE with some
// arithmetic between the writes.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <string>

#include "core/machine.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

static uint8_t ram[0x10000];

static void console_machine(void) {
  sound_pacing = 0;
  sgm_active = 1;
  vdp_pal = 0;
  nmi_use = 1;
  megacart = 0;
  megacart_mapper = 0;
  rom_size = 0;
  memcpy(base_rom, coleco_bios, sizeof base_rom);
  init_peripheral(0);
  // Flat RAM in place of the console layout; the console access rule
  // still applies (nothing here touches 0xFFC0 and above).
  for (int p = 0; p < 64; p++) {
    map_page(map1, p, ram, p * 1024);
    map_page(map2, p, ram, p * 1024);
  }
}

static double cpu_seconds(void) {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Wall time is shown too, but on a shared machine the CPU time is the
// figure that means something.
static void report(const char *name, long long cycles, double wall, double cpu) {
  printf("%-40s wall %5.2f s %7.1f MHz   cpu %5.2f s %7.1f emulated MHz\n", name, wall,
         cycles / wall / 1e6, cpu, cycles / cpu / 1e6);
}

static void run_scanlines(const char *name, long long cycles) {
  long long lines = cycles / 228, done = 0;
  auto t0 = std::chrono::steady_clock::now();
  double c0 = cpu_seconds();
  while (done < lines) {
    int chunk = lines - done > 1000000 ? 1000000 : (int)(lines - done);
    start_z80(map1, map2, chunk);
    done += chunk;
  }
  double cpu = cpu_seconds() - c0;
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  report(name, lines * 228, wall, cpu);
}

// The same instructions with no scanline hand-off: the interpreter's own share.
static void run_bare(const char *name, long long cycles) {
  long long done = 0;
  auto t0 = std::chrono::steady_clock::now();
  double c0 = cpu_seconds();
  while (done < cycles) done += z80_run(1000000);
  double cpu = cpu_seconds() - c0;
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  report(name, done, wall, cpu);
}

static void start_at_0x100(int sp) {
  memset(emulator_registers, 0, sizeof emulator_registers);
  emulator_registers[REG_PC] = 0x100;
  emulator_registers[REG_SP] = sp;
}

static bool load_zexdoc(void) {
  std::string path = std::string(TESTDATA_DIR) + "/zexall-zexdoc/zexdoc.com";
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return false;
  memset(ram, 0, sizeof ram);
  size_t n = fread(ram + 0x100, 1, 0xFE00 - 0x100, f);
  fclose(f);
  if (n == 0) return false;
  ram[0] = 0x76;  // warm boot parks here
  ram[5] = 0xC3;  // BDOS: print nothing, just return
  ram[6] = 0x00;
  ram[7] = 0xFF;
  ram[0xFF00] = 0xC9;
  return true;
}

static void load_cartridge_loop(void) {
  memset(ram, 0, sizeof ram);
  static const uint8_t loop[] = {
      0x21, 0x00, 0x20,  // 0100 ld hl,2000
      0x06, 0x00,        // 0103 ld b,0
      0x3E, 0x00,        // 0105 ld a,0
      0xD3, 0xBF,        // 0107 out (bf),a
      0x3E, 0x40,        // 0109 ld a,40
      0xD3, 0xBF,        // 010b out (bf),a
      0x7E,              // 010d ld a,(hl)
      0x86,              // 010e add a,(hl)
      0xE6, 0x7F,        // 010f and 7f
      0xD3, 0xBE,        // 0111 out (be),a
      0x23,              // 0113 inc hl
      0xCB, 0x3F,        // 0114 srl a
      0x4F,              // 0116 ld c,a
      0x10, 0xF4,        // 0117 djnz 010d
      0xC3, 0x00, 0x01,  // 0119 jp 0100
  };
  memcpy(ram + 0x100, loop, sizeof loop);
  for (int i = 0; i < 256; i++) ram[0x2000 + i] = (uint8_t)(i * 37);
}

int main(void) {
  console_machine();
  if (load_zexdoc()) {
    start_at_0x100(0xFF00);
    run_scanlines("zexdoc 500M cycles, scanline loop", 500000000LL);
    load_zexdoc();
    start_at_0x100(0xFF00);
    run_bare("zexdoc 500M cycles, interpreter alone", 500000000LL);
  } else {
    printf("zexdoc.com not found; skipping that mix\n");
  }
  load_cartridge_loop();
  start_at_0x100(0xF000);
  run_scanlines("cartridge loop 200M cycles, scanline loop", 200000000LL);
  // The module's sound generator runs every line while the module is
  // present; without it the per-line work is lighter.
  sgm_active = 0;
  start_at_0x100(0xF000);
  run_scanlines("same, no Super Game Module", 200000000LL);
  return 0;
}
