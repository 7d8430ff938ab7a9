// Builds the fuzz targets' seed corpora at run time from the shared test
// programs (when present), our own assembled programs and the files the
// machine itself writes (snapshots, mapping files). Nothing from the
// shared data is kept in the repository.
//
// usage: make_seeds OUT TESTDATA ASM_DIR DEMO_ROM EEPROM_SCRIPT
#include <dirent.h>
#include <sys/stat.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "adam/adamnet.h"
#include "capture/capture.h"
#include "core/machine.h"
#include "fuzz/fuzz.h"
#include "input/events.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string out_dir;
int written;

void seed(const std::string &target, const std::string &name, const Bytes &bytes) {
  std::string dir = out_dir + "/" + target;
  mkdir(dir.c_str(), 0755);
  std::string path = dir + "/" + name;
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f) != 0) {
    perror(path.c_str());
    exit(1);
  }
  written++;
}

bool ends_with(const std::string &s, const char *suffix) {
  size_t n = strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Files under dir (recursively) whose names end in one of the suffixes.
void find(const std::string &dir, const std::vector<const char *> &suffixes, std::vector<std::string> *out) {
  DIR *d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent *e = readdir(d)) {
    std::string name = e->d_name, path = dir + "/" + name;
    struct stat st;
    if (name[0] == '.' || stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) find(path, suffixes, out);
    for (const char *s : suffixes)
      if (S_ISREG(st.st_mode) && ends_with(name, s)) out->push_back(path);
  }
  closedir(d);
  std::sort(out->begin(), out->end());
}

std::string base(const std::string &path) { return path.substr(path.find_last_of('/') + 1); }

Bytes zip_of(const std::vector<std::pair<std::string, Bytes>> &entries, int method) {
  std::string path = fuzz_path("seed.zip");
  zipFile zf = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  for (const auto &e : entries) {
    zip_fileinfo info;
    memset(&info, 0, sizeof info);
    zipOpenNewFileInZip(zf, e.first.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method, 9);
    if (!e.second.empty()) zipWriteInFileInZip(zf, e.second.data(), (unsigned)e.second.size());
    zipCloseFileInZip(zf);
  }
  zipClose(zf, nullptr);
  Bytes bytes = fuzz_read(path);
  remove(path.c_str());
  return bytes;
}

// ---- EEPROM bus scripts for the script-playing cartridge

struct Script {
  Bytes b;
  Script &line(int address) { b.push_back((uint8_t)address); return *this; }
  Script &start() { return line(0x70).line(0x50).line(0x60).line(0x40); }
  Script &stop() { return line(0x40).line(0x60).line(0x50).line(0x70); }
  Script &bit(int v) { return line(v ? 0x70 : 0x60).line(0x50).line(0x40); }
  Script &byte(int v) {  // eight bits, then the acknowledge clock
    for (int i = 7; i >= 0; i--) bit((v >> i) & 1);
    return bit(1);
  }
  Script &read(int n) {
    for (int i = 0; i < n; i++) byte(0xFF);
    return *this;
  }
};

// Address bytes: one for the small part, two for the large.
Script transfer(bool large, int address, const Bytes &data, int reads) {
  Script s;
  s.start().byte(0xA0);
  if (large) s.byte(address >> 8);
  s.byte(address & 0xFF);
  for (uint8_t v : data) s.byte(v);
  s.stop();
  if (reads > 0) {
    s.start().byte(0xA0);
    if (large) s.byte(address >> 8);
    s.byte(address & 0xFF).stop().start().byte(0xA1).read(reads).stop();
  }
  return s;
}

Bytes eeprom_cart(const Bytes &code, const Script &s) {
  Bytes cart = code;
  cart.insert(cart.end(), s.b.begin(), s.b.end());
  cart.push_back(0);
  return cart;
}

// ---- AdamNet control blocks

struct Dcb {
  int device, command, buffer, length;
  int32_t block;
};

Bytes control_blocks(int pcb_command, int pcb_arg, const std::vector<Dcb> &dcbs) {
  Bytes b(4 + 21 * 15, 0);
  b[0] = (uint8_t)pcb_command;
  b[1] = (uint8_t)pcb_arg;
  b[2] = (uint8_t)(pcb_arg >> 8);
  b[3] = (uint8_t)dcbs.size();
  for (size_t n = 0; n < dcbs.size() && n < 15; n++) {
    uint8_t *d = &b[4 + 21 * n];
    const Dcb &c = dcbs[n];
    d[0] = (uint8_t)c.command;
    d[1] = (uint8_t)c.buffer;
    d[2] = (uint8_t)(c.buffer >> 8);
    d[3] = (uint8_t)c.length;
    d[4] = (uint8_t)(c.length >> 8);
    for (int i = 0; i < 4; i++) d[5 + i] = (uint8_t)((uint32_t)c.block >> (8 * i));
    d[16] = (uint8_t)c.device;
  }
  return b;
}

Bytes adamnet_header(int flags, int layout, int pcb, const char *keys) {
  Bytes h = {(uint8_t)flags, (uint8_t)layout, (uint8_t)pcb, (uint8_t)(pcb >> 8), 0};
  h.resize(5 + 16, 0);
  for (int i = 0; i < 16; i++) h.push_back(i < (int)strlen(keys) ? (uint8_t)keys[i] : 0);
  return h;
}

Bytes snapshot_after(const std::string &image, int frames, bool fast) {
  fuzz_fresh_machine();
  fuzz_load(image);
  adam_fast = fast ? 1 : 0;
  fuzz_run_frames(frames);
  std::string path = fuzz_path("seed.bin");
  save_snapshot(path.c_str());
  return fuzz_read(path);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: make_seeds OUT TESTDATA ASM_DIR DEMO_ROM EEPROM_SCRIPT\n");
    return 2;
  }
  out_dir = argv[1];
  const std::string testdata = argv[2], asm_dir = argv[3];
  mkdir(out_dir.c_str(), 0755);
  fuzz_fresh_machine();

  // Cartridges: the shared programs, ours, the demo and the script player.
  std::vector<std::string> carts, tapes, disks, programs;
  find(testdata, {".rom", ".ROM", ".col", ".COL"}, &carts);
  find(testdata, {".ddp"}, &tapes);
  find(testdata, {".dsk"}, &disks);
  find(asm_dir, {".bin"}, &programs);
  carts.insert(carts.end(), programs.begin(), programs.end());
  carts.push_back(argv[4]);
  const Bytes script_code = fuzz_read(argv[5]);
  if (script_code.empty()) {
    fprintf(stderr, "make_seeds: cannot read %s\n", argv[5]);
    return 1;
  }
  for (const std::string &c : carts) {
    Bytes bytes = fuzz_read(c);
    if (bytes.empty()) continue;
    seed("cartridge", base(c), bytes);
    seed("machine", base(c), bytes);
    Bytes snap = snapshot_after(c, 90, false);
    snap.insert(snap.end(), bytes.begin(), bytes.end());
    seed("snapshot", base(c) + ".snap", snap);
  }
  // The same machine as a 32-bit build writes it: page-table entries of 4
  // bytes instead of 8.
  {
    enum { ENTRIES_AT = 147816, ENTRIES = 128 };
    Bytes wide = snapshot_after(argv[4], 90, false), narrow(wide.begin(), wide.begin() + ENTRIES_AT);
    for (int i = 0; i < ENTRIES; i++)
      narrow.insert(narrow.end(), wide.begin() + ENTRIES_AT + 8 * i, wide.begin() + ENTRIES_AT + 8 * i + 4);
    narrow.insert(narrow.end(), wide.begin() + ENTRIES_AT + 8 * ENTRIES, wide.end());
    seed("snapshot", "demo.snap32", narrow);
  }

  // The same in archives: deflated and stored, after a file that is not a
  // cartridge and inside a folder.
  const Bytes demo = fuzz_read(argv[4]);
  const Bytes small = fuzz_read(asm_dir + "/e2e_cart.bin");
  seed("cartridge", "demo.zip", zip_of({{"demo.rom", demo}}, Z_DEFLATED));
  seed("cartridge", "stored.zip", zip_of({{"readme.txt", {'h', 'i', '\n'}}, {"GAME.COL", small}}, 0));
  seed("cartridge", "folder.zip", zip_of({{"games/", {}}, {"games/e2e.bin", small}}, Z_DEFLATED));
  seed("cartridge", "none.zip", zip_of({{"notes.txt", small}}, Z_DEFLATED));

  // Activision cartridges driving the bus: writes and reads of both parts.
  const Script small_rw = transfer(false, 0x12, {0x34, 0x56, 0x78}, 3);
  const Script large_rw = transfer(true, 0x0123, {0x9A, 0xBC}, 2);
  const Script small_prime = transfer(false, 0x40, {}, 0);  // a dummy write setting the address
  const Script wrap = transfer(true, 0x7FFF, {1, 2}, 0);
  const struct { const char *name; const Script &s; bool large; } eeprom_seeds[] = {
    {"eeprom_small_rw", small_rw, false}, {"eeprom_large_rw", large_rw, true},
    {"eeprom_small_prime", small_prime, false}, {"eeprom_large_wrap", wrap, true},
  };
  for (const auto &e : eeprom_seeds) {
    session_part p{e.large ? KIND_ACTIVISION_LARGE : KIND_ACTIVISION_SMALL, 1, eeprom_cart(script_code, e.s)};
    seed("cartridge", std::string(e.name) + ".rom", session_file(p));
    seed("machine", std::string(e.name) + ".rom", session_file(p));
  }

  // Mapping files: what the machine writes on the desktop and the Pi, and
  // one with every kind of line.
  for (int pi = 0; pi < 2; pi++) {
    fuzz_fresh_machine();
    platform = pi ? PLATFORM_PI : PLATFORM_DESKTOP;
    load_mapping();
    seed("mapping", pi ? "default_pi.txt" : "default.txt", fuzz_read(fuzz_path("tervox_mapping.txt")));
  }
  platform = PLATFORM_DESKTOP;
  const char every_line[] =
      "' edited by hand\n"
      "FullScreen yes\n"
      "joystick_1_vert joy1 axis3 neg1\n"
      "joystick_2_horiz\tjoy0\taxis0\tneg0\n"
      "up_1 key1073741906 joy0_3\n"
      "up_1 key119 key97 joy1_0 joy1_1\n"
      "UP_1 key5\n"
      "key_save key1073741882 key1073742049\n"
      "adam_shift_i shift alt key49\n"
      "adam_del ctrl alt key100\n"
      "adam_home key999\n"
      "no_such_name key1\n";
  seed("mapping", "every_line.txt", Bytes(every_line, every_line + sizeof every_line - 1));

  // Adam media: whole images and their first blocks only.
  for (const std::string &d : disks) {
    Bytes b = fuzz_read(d);
    b.insert(b.begin(), MEDIA_DISK);
    seed("adam_media", base(d), b);
    b.resize(std::min(b.size(), (size_t)8 * 1024 + 1));
    seed("adam_media", base(d) + ".head", b);
  }
  for (const std::string &t : tapes) {
    Bytes b = fuzz_read(t);
    b.insert(b.begin(), MEDIA_TAPE);
    seed("adam_media", base(t), b);
    b.resize(std::min(b.size(), (size_t)4 * 1024 + 1));
    seed("adam_media", base(t) + ".head", b);
  }
  for (const std::string &m : disks) {
    Bytes snap = snapshot_after(m, 120, true);
    seed("snapshot", base(m) + ".snap", snap);
  }
  for (const std::string &m : tapes) {
    Bytes snap = snapshot_after(m, 120, true);
    seed("snapshot", base(m) + ".snap", snap);
  }

  // AdamNet: the OS's own sequence (network reset and status requests,
  // block and keyboard reads, a block write, the PCB moved), and requests
  // at the edges: the last blocks, negative ones, buffers across 0xFFFF.
  const int pcb = 0xFEC0;
  const std::vector<Dcb> status = {{1, 1, 0, 0, 0}, {2, 1, 0, 0, 0}, {4, 1, 0, 0, 0},
                                   {5, 1, 0, 0, 0}, {8, 1, 0, 0, 0}};
  const std::vector<Dcb> reads = {{1, 4, 0xD000, 4, 0}, {2, 3, 0xD000, 10, 0}, {4, 4, 0xC800, 1024, 0},
                                  {5, 4, 0xC800, 1024, 0}, {8, 4, 0xC400, 1024, 1}};
  const std::vector<Dcb> edges = {{4, 3, 0xFE00, 1024, 159}, {8, 3, 0xFF00, 1024, 255},
                                  {4, 4, 0x8000, 1024, 160}, {8, 4, 0x8000, 1024, -1},
                                  {3, 4, 0x8000, 0, 0}, {1, 3, 0, 0, 0}, {2, 4, 0, 0, 0}};
  Bytes os = adamnet_header(7, 0x01, pcb, "dir\r");
  for (const Bytes &b : {control_blocks(1, 0, status), control_blocks(0, 0, reads),
                         control_blocks(0, 0, reads), control_blocks(3, 0xFD00, reads)})
    os.insert(os.end(), b.begin(), b.end());
  seed("adamnet", "os_sequence", os);
  Bytes edge = adamnet_header(3, 0x0D, 0xFFF0, "");
  for (const Bytes &b : {control_blocks(0, 0, edges), control_blocks(2, 0, edges)})
    edge.insert(edge.end(), b.begin(), b.end());
  seed("adamnet", "edges", edge);

  // Sessions: a cartridge after another, the media, an archive and a file
  // that is not there, and the EEPROM cartridges in every order.
  auto part = [&](int kind, const Bytes &bytes, int frames = 2) { return session_part{kind, frames, bytes}; };
  Bytes disk_head = disks.empty() ? Bytes() : fuzz_read(disks[0]);
  Bytes tape_head = tapes.empty() ? Bytes() : fuzz_read(tapes[0]);
  disk_head.resize(std::min(disk_head.size(), (size_t)8192));
  tape_head.resize(std::min(tape_head.size(), (size_t)4096));
  const Bytes sgm = carts.empty() ? small : fuzz_read(carts[0]);
  const Bytes ee_small = eeprom_cart(script_code, small_rw), ee_large = eeprom_cart(script_code, large_rw);
  const Bytes ee_prime = eeprom_cart(script_code, small_prime);
  const std::vector<std::pair<const char *, std::vector<session_part>>> sessions = {
      {"cart_cart", {part(KIND_ROM, sgm), part(KIND_ROM, small)}},
      {"demo_disk_cart", {part(KIND_ROM, demo), part(KIND_DISK, disk_head), part(KIND_COL, small)}},
      {"tape_cart", {part(KIND_TAPE, tape_head, 4), part(KIND_ROM, small)}},
      {"zip_missing_cart", {part(KIND_ZIP, zip_of({{"a.rom", small}}, Z_DEFLATED)), part(KIND_MISSING, {}),
                            part(KIND_ROM, small)}},
      {"eeprom_small_large", {part(KIND_ACTIVISION_SMALL, ee_small), part(KIND_ACTIVISION_LARGE, ee_large)}},
      {"eeprom_large_small", {part(KIND_ACTIVISION_LARGE, ee_large), part(KIND_ACTIVISION_SMALL, ee_small)}},
      {"eeprom_prime_large", {part(KIND_ACTIVISION_SMALL, ee_prime), part(KIND_ACTIVISION_LARGE, ee_large)}},
      {"eeprom_demo", {part(KIND_ACTIVISION_LARGE, ee_large), part(KIND_ROM, demo), part(KIND_ACTIVISION_SMALL, ee_small)}},
  };
  for (const auto &s : sessions) seed("session", s.first, session_input(s.second));

  printf("make_seeds: %d seeds in %s (%zu shared cartridges, %zu tapes, %zu disks)\n", written,
         out_dir.c_str(), carts.size() - programs.size() - 1, tapes.size(), disks.size());
  return 0;
}
