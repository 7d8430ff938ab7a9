#include "fuzz/fuzz.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "adam/adamnet.h"
#include "core/machine.h"
#include "core/timing.h"
#include "input/ports.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

namespace {

std::string home;

void empty_folder(void) {
  DIR *dir = opendir(home.c_str());
  if (dir == nullptr) return;
  while (const dirent *e = readdir(dir)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
      unlink((home + "/" + e->d_name).c_str());
  }
  closedir(dir);
}

void remove_home(void) {
  empty_folder();
  rmdir(home.c_str());
}

}  // namespace

const std::string &fuzz_home(void) {
  if (home.empty()) {
    const char *tmp = getenv("TMPDIR");
    struct stat st;
    std::string base = tmp != nullptr && tmp[0] != '\0' ? tmp
                       : stat("/dev/shm", &st) == 0 && access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                                                      : "/tmp";
    std::string tmpl = base + "/tervox-fuzz-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
      perror("tervox fuzz: cannot make a private folder");
      abort();
    }
    home = name.data();
    setenv("HOME", home.c_str(), 1);
    atexit(remove_home);
  }
  return home;
}

std::string fuzz_path(const std::string &name) { return fuzz_home() + "/" + name; }

std::string fuzz_write(const std::string &name, const uint8_t *data, size_t size) {
  std::string path = fuzz_path(name);
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && fwrite(data, 1, size, f) != size) || fclose(f) != 0) {
    perror(path.c_str());
    abort();
  }
  return path;
}

std::vector<uint8_t> fuzz_read(const std::string &path) {
  std::vector<uint8_t> bytes;
  FILE *f = fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  fclose(f);
  return bytes;
}

void fuzz_fresh_machine(void) {
  fuzz_home();
  empty_folder();
  if (tape1 != nullptr) { fclose(tape1); tape1 = nullptr; }
  if (disk1 != nullptr) { fclose(disk1); disk1 = nullptr; }
  memory_seed = 0;
  sound_pacing = 0;
  emulator_event = quit = do_pause = 0;
  machine_power_on();
  memset(rom, 0xFF, sizeof rom);
  rom_size = 0;
  megacart = megacart_mapper = 0;
  memset(key_table, 0, sizeof key_table);
  memset(adam_status, 0, sizeof adam_status);
  memset(adam_keyboard, 0, sizeof adam_keyboard);
  adam_slow = adam_fast = 0;
  init_peripheral(0);
  // The EEPROM's lines back to how the program starts them (clock and data
  // low), its state machine idle and its contents blank.
  megarom_activision(ACTIVISION_PORTS | 0x40);
  megarom_activision(ACTIVISION_PORTS | 0x60);
  eeprom_state = eeprom_reading = eeprom_address_1 = eeprom_address_2 = 0;
  memset(eeprom, 0xFF, sizeof eeprom);
  eeprom_modified = 0;
  eeprom_filename[0] = '\0';
  empty_folder();
}

int fuzz_load(const std::string &path) {
  int result = open_rom_file(path.c_str());
  init_peripheral(0);
  return result;
}

void fuzz_run_frames(int frames) {
  if (frames > 0) start_z80(map1, map2, (long)frames * lines_per_frame(vdp_pal));
}

// ---- sessions

const char session_separator[9] = "@@next@@";

std::vector<session_part> session_parts(const uint8_t *data, size_t size) {
  std::vector<session_part> parts;
  const uint8_t *end = data + size, *sep = (const uint8_t *)session_separator;
  const size_t sep_size = sizeof session_separator - 1;
  while (data < end && parts.size() < 3) {
    const uint8_t *next = std::search(data, end, sep, sep + sep_size);
    session_part p;
    const int head = next > data ? data[0] : 0;  // an empty part is an empty image
    p.kind = head & 7;
    p.frames = 1 + ((head >> 3) & 3);
    p.bytes.assign(next > data ? data + 1 : next, next);
    parts.push_back(std::move(p));
    data = next == end ? end : next + sep_size;
  }
  return parts;
}

std::vector<uint8_t> session_input(const std::vector<session_part> &parts) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < parts.size(); i++) {
    if (i > 0) out.insert(out.end(), session_separator, session_separator + sizeof session_separator - 1);
    out.push_back((uint8_t)((parts[i].kind & 7) | ((parts[i].frames - 1) & 3) << 3));
    out.insert(out.end(), parts[i].bytes.begin(), parts[i].bytes.end());
  }
  return out;
}

std::string session_file_name(int kind, int index) {
  static const char *const ext[KIND_COUNT] = {".rom", ".zip", ".ddp", ".dsk", ".col", ".rom", ".rom", ".rom"};
  // The Activision parts share one base name, so a later one finds the
  // save file an earlier one wrote, as a reloaded cartridge does.
  if (kind == KIND_ACTIVISION_SMALL || kind == KIND_ACTIVISION_LARGE) return std::string("eeprom") + ext[kind];
  if (kind == KIND_MISSING) return "missing" + std::to_string(index) + ext[kind];
  return "image" + std::to_string(index) + ext[kind & 7];
}

std::vector<uint8_t> session_file(const session_part &part) {
  if (part.kind != KIND_ACTIVISION_SMALL && part.kind != KIND_ACTIVISION_LARGE) return part.bytes;
  enum { SIZE = 0x10000, MARK_0 = 0xBF80, MARK_1 = 0xFF80, LARGE_MARK = 0xFF7F };
  std::vector<uint8_t> image(SIZE, 0xFF);
  std::copy_n(part.bytes.begin(), std::min(part.bytes.size(), (size_t)SIZE), image.begin());
  image[MARK_0] = 0x00;
  image[MARK_1] = 0x01;
  image[LARGE_MARK] = part.kind == KIND_ACTIVISION_LARGE ? 0xC0 : 0xFF;
  return image;
}
