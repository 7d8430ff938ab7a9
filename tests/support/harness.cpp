#include "support/harness.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "common/paths.h"
#include "core/machine.h"
#include "core/timing.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

void machine_fresh(void) {
  sound_pacing = 0;
  sgm_active = 1;
  vdp_pal = 0;
  nmi_use = MODE_CONSOLE;
  megacart = 0;
  megacart_mapper = 0;
  rom_size = 0;
  memset(rom, 0xFF, sizeof rom);
  memcpy(base_rom, coleco_bios, sizeof base_rom);
  base_rom[BIOS_HOLD_HIGH] = 0x0A;
  init_peripheral(0);
}

void machine_load_cartridge(const std::vector<uint8_t> &image) {
  machine_fresh();
  memset(rom, 0xFF, sizeof rom);
  size_t n = image.size() < sizeof rom ? image.size() : sizeof rom;
  memcpy(rom, image.data(), n);
  rom_size = (int32_t)n;
  nmi_use = (n >= 2 && ((rom[0] == 0xAA && rom[1] == 0x55) || (rom[0] == 0x55 && rom[1] == 0xAA)))
                ? MODE_CONSOLE
                : MODE_HEADERLESS;
  init_peripheral(0);
}

void machine_run_scanlines(int count) {
  if (count > 0) start_z80(map1, map2, count);
}

void machine_run_frames(int count) { machine_run_scanlines(count * lines_per_frame(vdp_pal)); }

#ifdef _WIN32
int make_folder(const std::string &path) {
  wchar_t wide[4096];
  if (MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide, 4096) == 0) return -1;
  return CreateDirectoryW(wide, nullptr) ? 0 : -1;
}

// Windows keeps user files in the shell's folders, not HOME: the tests'
// folder stands in for all of them.
void set_home(const std::string &folder) { paths_set_test_folder(folder.c_str()); }

std::string private_home(void) {
  wchar_t temp[MAX_PATH + 1];
  DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  std::string base = "C:/";
  if (n > 0 && n <= MAX_PATH) {
    char utf8[MAX_PATH * 4];
    if (WideCharToMultiByte(CP_UTF8, 0, temp, -1, utf8, sizeof utf8, nullptr, nullptr) > 0) base = utf8;
  }
  for (char &c : base)
    if (c == '\\') c = '/';
  if (base.back() != '/') base += '/';
  static unsigned serial;
  std::string home;
  for (;;) {
    home = base + "tervox-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    if (CreateDirectoryA(home.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  set_home(home);
  return home;
}
#else
int make_folder(const std::string &path) { return mkdir(path.c_str(), 0700); }

void set_home(const std::string &folder) { setenv("HOME", folder.c_str(), 1); }

std::string private_home(void) {
  char tmpl[] = "/tmp/tervox-test-XXXXXX";
  const char *dir = mkdtemp(tmpl);
  std::string home = dir ? dir : "/tmp";
  set_home(home);
  return home;
}
#endif
