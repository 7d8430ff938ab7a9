#include "support/harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "core/machine.h"
#include "core/z80.h"
#include "host/host.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

void machine_fresh(void) {
  sound_pacing = 0;
  host_start();
  sgm_active = 1;
  vdp_pal = 0;
  nmi_use = 1;
  megacart = 0;
  megacart_mapper = 0;
  rom_size = 0;
  memset(rom, 0xFF, sizeof rom);
  memcpy(base_rom, coleco_bios, sizeof base_rom);
  base_rom[0x196A] = 0x0A;
  init_peripheral(0);
}

void machine_load_cartridge(const std::vector<uint8_t> &image) {
  machine_fresh();
  memset(rom, 0xFF, sizeof rom);
  size_t n = image.size() < sizeof rom ? image.size() : sizeof rom;
  memcpy(rom, image.data(), n);
  rom_size = (int32_t)n;
  nmi_use = (n >= 2 && ((rom[0] == 0xAA && rom[1] == 0x55) || (rom[0] == 0x55 && rom[1] == 0xAA))) ? 1 : 0;
  init_peripheral(0);
}

void machine_run_scanlines(int count) {
  if (count <= 0) return;
  z80_scanline_limit = count;
  start_z80(map1, map2);
  z80_scanline_limit = 0;
}

void machine_run_frames(int count) {
  machine_run_scanlines(count * (vdp_pal ? 313 : 262));
}

std::vector<uint8_t> read_file(const std::string &path) {
  std::vector<uint8_t> data;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return data;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  fclose(f);
  return data;
}

std::vector<uint8_t> test_program(const std::string &name) {
  return read_file(std::string(TEST_ASM_DIR) + "/" + name + ".bin");
}

std::string testdata(const std::string &relative) {
  std::string path = std::string(TESTDATA_DIR) + "/" + relative;
  return access(path.c_str(), R_OK) == 0 ? path : std::string();
}

std::string private_home(void) {
  char tmpl[] = "/tmp/tervox-test-XXXXXX";
  const char *dir = mkdtemp(tmpl);
  std::string home = dir ? dir : "/tmp";
  setenv("HOME", home.c_str(), 1);
  return home;
}
