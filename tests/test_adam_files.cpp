// The Adam's file manager end to end: volumes built here, boot blocks that
// call the operating system, and the directory read back from the image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "adam/adamnet.h"
#include "core/machine.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

const int BLOCK = 1024, ENTRY = 26;

enum : uint16_t {
  INIT_TAPE_DIR = 0xFCBD, OPEN_FILE = 0xFCC0, CLOSE_FILE = 0xFCC3, RESET_FILE = 0xFCC6,
  MAKE_FILE = 0xFCC9, QUERY_FILE = 0xFCCC, READ_FILE = 0xFCD2, WRITE_FILE = 0xFCD5,
  SET_DATE = 0xFCD8, GET_DATE = 0xFCDB, RENAME_FILE = 0xFCDE, DELETE_FILE = 0xFCE1,
  TRIM_FILE = 0xFCED, SCAN_FOR_FILE = 0xFCFC,
};

struct Entry {
  std::string name;  // without its 03h
  int attr;
  uint32_t start;
  int alloc, used, last;
  int year, month, day;
};

// A volume as 1 KB blocks in order; images interleave a disk's sectors.
using Blocks = std::vector<uint8_t>;

long sector_offset(bool disk, int s) {
  static const int interleave[8] = {0, 5, 2, 7, 4, 1, 6, 3};
  return disk ? (long)((s & ~7) | interleave[s & 7]) * 512 : (long)s * 512;
}

std::vector<uint8_t> convert(const std::vector<uint8_t> &from, bool disk, bool to_image) {
  std::vector<uint8_t> to(from.size());
  for (int s = 0; s < (int)from.size() / 512; s++) {
    long img = sector_offset(disk, s), lin = (long)s * 512;
    memcpy(&to[to_image ? img : lin], &from[to_image ? lin : img], 512);
  }
  return to;
}

void put_entry(Blocks &v, int block, int index, const Entry &e) {
  uint8_t *p = &v[block * BLOCK + index * ENTRY];
  memset(p, 0, ENTRY);
  memcpy(p, e.name.data(), e.name.size());
  p[e.name.size()] = 3;
  p[12] = e.attr;
  for (int i = 0; i < 4; i++) p[13 + i] = e.start >> (8 * i);
  int words[3] = {e.alloc, e.used, e.last};
  for (int i = 0; i < 3; i++) p[17 + 2 * i] = words[i], p[18 + 2 * i] = words[i] >> 8;
  p[23] = e.year, p[24] = e.month, p[25] = e.day;
}

Entry parse_entry(const uint8_t *p) {
  Entry e{};
  int n = 0;
  while (n < 12 && p[n] != 3) n++;
  e.name.assign((const char *)p, n);
  e.attr = p[12];
  e.start = p[13] | p[14] << 8 | p[15] << 16 | (uint32_t)p[16] << 24;
  e.alloc = p[17] | p[18] << 8;
  e.used = p[19] | p[20] << 8;
  e.last = p[21] | p[22] << 8;
  e.year = p[23], e.month = p[24], e.day = p[25];
  return e;
}

// The directory as the medium holds it: the volume entry, then every entry
// up to and including BLOCKS LEFT (missing if the directory has no end).
std::vector<Entry> directory(const Blocks &v) {
  std::vector<Entry> out{parse_entry(&v[BLOCK])};
  for (int b = 1; b <= v[BLOCK + 13]; b++)
    for (int i = b == 1 ? 1 : 0; i < 39; i++) {
      out.push_back(parse_entry(&v[b * BLOCK + i * ENTRY]));
      if (out.back().attr & 1) return out;
    }
  return out;
}

std::vector<uint8_t> file_data(const Blocks &v, const Entry &e) {
  size_t size = e.used ? (e.used - 1) * BLOCK + e.last : 0;
  return std::vector<uint8_t>(v.begin() + e.start * BLOCK, v.begin() + e.start * BLOCK + size);
}

std::vector<uint8_t> pattern(int n, int seed) {
  std::vector<uint8_t> d(n);
  for (int i = 0; i < n; i++) d[i] = (uint8_t)(i * seed + i / 251);
  return d;
}

// A fresh volume: the boot block, one directory block and the files given
// (laid out from block 2, with their data), ended by BLOCKS LEFT.
Blocks volume(int total, const std::vector<uint8_t> &boot, std::vector<Entry> files,
              const std::vector<std::vector<uint8_t>> &data) {
  Blocks v(total * BLOCK, 0);
  memcpy(v.data(), boot.data(), std::min<size_t>(boot.size(), BLOCK));
  put_entry(v, 1, 0, {"TESTVOL", 0, 1, total, 0, 0, 0, 0, 0});
  put_entry(v, 1, 1, {"BOOT", 0x88, 0, 1, 1, 1024, 0, 0, 0});
  put_entry(v, 1, 2, {"DIRECTORY", 0x88, 1, 1, 1, 1024, 0, 0, 0});
  uint32_t next = 2;
  for (size_t i = 0; i < files.size(); i++) {
    files[i].start = next;
    next += files[i].alloc;
    put_entry(v, 1, 3 + i, files[i]);
    if (i < data.size()) memcpy(&v[files[i].start * BLOCK], data[i].data(), data[i].size());
  }
  put_entry(v, 1, 3 + files.size(), {"BLOCKS LEFT", 1, next, total - (int)next, 0, 0, 0, 0, 0});
  return v;
}

struct Step {
  uint16_t call;
  int a, bc, de, hl;
  int want_a, want_bc, want_de;  // -1: not checked
};

class AdamFiles : public ::testing::Test {
 protected:
  std::string path;
  bool disk = true;
  uint16_t strings = 0xA800;

  void TearDown() override {
    if (tape1) fclose(tape1);
    if (disk1) fclose(disk1);
    tape1 = disk1 = nullptr;
    adam_fast = 0;
    if (!path.empty()) remove(path.c_str());
  }

  void boot(const Blocks &v, bool on_disk) {
    disk = on_disk;
    char tmpl[] = "/tmp/tervox-files-XXXXXX";
    close(mkstemp(tmpl));
    remove(tmpl);
    path = std::string(tmpl) + (disk ? ".dsk" : ".ddp");
    std::vector<uint8_t> img = convert(v, disk, true);
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(img.data(), 1, img.size(), f);
    fclose(f);
    private_home();
    machine_fresh();
    open_rom_file(path.c_str());
    init_peripheral(0);
    adam_fast = 1;
  }

  Blocks medium() { return convert(read_file(path), disk, false); }

  // A name ended by 03h, placed in RAM for the calls.
  int name(const std::string &s) {
    int at = strings;
    memcpy(&internal_ram[at], s.data(), s.size());
    internal_ram[at + s.size()] = 3;
    strings += s.size() + 1;
    return at;
  }

  // Runs the steps through the call-list boot block and checks each answer.
  void run(const std::vector<Step> &steps, int frames) {
    uint8_t *s = &internal_ram[0xA000];
    for (const Step &st : steps) {
      int regs[] = {st.call, st.call >> 8, st.a, st.bc, st.bc >> 8, st.de, st.de >> 8, st.hl, st.hl >> 8};
      for (int r : regs) *s++ = (uint8_t)r;
    }
    s[0] = s[1] = 0;
    int f = 0;
    while (internal_ram[0xC7FF] != 0xAA && f++ < frames) machine_run_frames(1);
    ASSERT_EQ(internal_ram[0xC7FF], 0xAA) << "the calls did not finish";
    for (size_t i = 0; i < steps.size(); i++) {
      const uint8_t *r = &internal_ram[0xC000 + 6 * i];
      const Step &st = steps[i];
      bool success = st.want_a == 0 || (st.call == OPEN_FILE && st.want_a <= 3);
      EXPECT_EQ(r[0], st.want_a) << "step " << i;
      EXPECT_EQ((r[1] & 0x40) != 0, success) << "Z flag, step " << i;
      if (st.want_bc >= 0) {
        EXPECT_EQ(r[2] | r[3] << 8, st.want_bc) << "BC, step " << i;
      }
      if (st.want_de >= 0) {
        EXPECT_EQ(r[4] | r[5] << 8, st.want_de) << "DE, step " << i;
      }
    }
  }
};

void expect_entry(const Entry &e, const Entry &want) {
  EXPECT_EQ(e.name, want.name);
  EXPECT_EQ(e.attr, want.attr) << want.name;
  EXPECT_EQ(e.start, want.start) << want.name;
  EXPECT_EQ(e.alloc, want.alloc) << want.name;
  EXPECT_EQ(e.used, want.used) << want.name;
  EXPECT_EQ(e.last, want.last) << want.name;
  EXPECT_EQ(e.year * 10000 + e.month * 100 + e.day, want.year * 10000 + want.month * 100 + want.day)
      << want.name;
}

TEST_F(AdamFiles, CallsReadWriteAndChangeTheDirectory) {
  std::vector<uint8_t> hello = pattern(2500, 7), data = pattern(100, 3);
  Blocks v = volume(160, test_program("adam_file_calls"),
                    {{"HELLO", 0x10, 0, 3, 3, 452, 86, 1, 2},
                     {"DATA", 0x10, 0, 1, 1, 100, 86, 1, 2},
                     {"OLD", 0x14, 0, 4, 4, 1024, 85, 5, 5}},
                    {hello, data});
  boot(v, true);
  std::vector<uint8_t> written = pattern(1500, 13);
  memcpy(&internal_ram[0xB000], written.data(), written.size());
  int HELLO = name("HELLO"), NEW = name("NEW"), TRIM = name("TRIM"), DATA = name("DATA"),
      INFO = name("INFO");
  const int END = 10, BAD_FILE = 9, NO_FILE = 5, EXISTS = 6, NO_FCB = 7, MATCH = 8,
            MEDIUM_FULL = 13, RENAME = 15, DELETE = 16;
  run({
          {SET_DATE, 0, 0x080C, 0x1A00, 0, 0, -1, -1},  // 8 December (19)26
          {OPEN_FILE, 4, 0x0100, 0, HELLO, 1, -1, -1},
          {READ_FILE, 1, 2000, 0, 0x9000, 0, 2000, -1},
          {READ_FILE, 1, 1000, 0, 0x9000 + 2000, END, 500, -1},
          {RESET_FILE, 1, 0, 0, 0, 0, -1, -1},
          {READ_FILE, 1, 10, 0, 0x9C00, 0, 10, -1},
          {CLOSE_FILE, 1, 0, 0, 0, 0, -1, -1},
          {CLOSE_FILE, 1, 0, 0, 0, BAD_FILE, -1, -1},
          {OPEN_FILE, 4, 0x0100, 0, name("NOPE"), NO_FILE, -1, -1},
          // 3000 bytes fit the deleted OLD's 4 blocks, which are reused.
          {MAKE_FILE, 4, 0, 3000, NEW, 0, -1, -1},
          {MAKE_FILE, 4, 0, 10, NEW, EXISTS, -1, -1},
          {OPEN_FILE, 4, 0x0200, 0, NEW, 1, -1, -1},
          {WRITE_FILE, 1, 1500, 0, 0xB000, 0, 1500, -1},
          {CLOSE_FILE, 1, 0, 0, 0, 0, -1, -1},
          {OPEN_FILE, 4, 0x0100, 0, NEW, 1, -1, -1},
          {WRITE_FILE, 1, 5, 0, 0xB000, BAD_FILE, 0, -1},  // opened to read
          {OPEN_FILE, 4, 0x0200, 0, NEW, MATCH, -1, -1},   // a writer behind a reader
          {READ_FILE, 1, 4000, 0, 0x8000, END, 1500, -1},
          {CLOSE_FILE, 1, 0, 0, 0, 0, -1, -1},
          {MAKE_FILE, 4, 0, 5000, TRIM, 0, -1, -1},  // 5 blocks from the free run
          {OPEN_FILE, 4, 0x0300, 0, TRIM, 1, -1, -1},
          {WRITE_FILE, 1, 100, 0, 0xB000, 0, 100, -1},
          {CLOSE_FILE, 1, 0, 0, 0, 0, -1, -1},
          {TRIM_FILE, 4, 0, TRIM, 0, 0, -1, -1},  // 4 blocks back to the free run
          {RENAME_FILE, 4, 0, DATA, INFO, 0, -1, -1},
          {RENAME_FILE, 4, 0, INFO, HELLO, EXISTS, -1, -1},
          {RENAME_FILE, 4, 0, name("GONE"), name("X"), NO_FILE, -1, -1},
          {RENAME_FILE, 4, 0, name("BOOT"), name("Y"), RENAME, -1, -1},
          {DELETE_FILE, 4, 0, 0, INFO, 0, -1, -1},
          {DELETE_FILE, 4, 0, 0, INFO, NO_FILE, -1, -1},
          {DELETE_FILE, 4, 0, 0, name("DIRECTORY"), DELETE, -1, -1},
          {QUERY_FILE, 4, 0, HELLO, 0x9F00, 0, 0, 2},
          {MAKE_FILE, 4, 3, 0x2000, name("HUGE"), MEDIUM_FULL, -1, -1},  // 200 KB
          {OPEN_FILE, 4, 0x0100, 0, HELLO, 1, -1, -1},
          {OPEN_FILE, 4, 0x0100, 0, HELLO, 2, -1, -1},  // readers share a file
          {OPEN_FILE, 4, 0x0100, 0, TRIM, 3, -1, -1},
          {OPEN_FILE, 4, 0x0100, 0, NEW, NO_FCB, -1, -1},
          {QUERY_FILE, 4, 0, HELLO, 0x9F00, NO_FCB, -1, -1},
          {CLOSE_FILE, 1, 0, 0, 0, 0, -1, -1},
          {CLOSE_FILE, 2, 0, 0, 0, 0, -1, -1},
          {CLOSE_FILE, 3, 0, 0, 0, 0, -1, -1},
          {MAKE_FILE, 4, 0, 0, name("BIG"), 0, -1, -1},  // size 0: all that is free
          {MAKE_FILE, 4, 0, 2048, name("MORE"), MEDIUM_FULL, -1, -1},  // the deleted INFO is too small
          {GET_DATE, 0, 0, 0, 0, 0, 0x080C, 0x1A00},
          {READ_FILE, 7, 1, 0, 0x8000, BAD_FILE, 0, -1},
          {SCAN_FOR_FILE, 4, 0, 0, NEW, 0, 0, 6},
      },
      3000);

  EXPECT_EQ(std::vector<uint8_t>(&internal_ram[0x9000], &internal_ram[0x9000 + 2500]), hello);
  EXPECT_EQ(std::vector<uint8_t>(&internal_ram[0x9C00], &internal_ram[0x9C00 + 10]),
            std::vector<uint8_t>(hello.begin(), hello.begin() + 10));
  EXPECT_EQ(std::vector<uint8_t>(&internal_ram[0x8000], &internal_ram[0x8000 + 1500]), written);
  Entry queried = parse_entry(&internal_ram[0x9F00]);
  expect_entry(queried, {"HELLO", 0x10, 2, 3, 3, 452, 86, 1, 2});

  Blocks after = medium();
  std::vector<Entry> dir = directory(after);
  std::vector<Entry> want = {
      {"TESTVOL", 0, 1, 160, 0, 0, 0, 0, 0},
      {"BOOT", 0x88, 0, 1, 1, 1024, 0, 0, 0},
      {"DIRECTORY", 0x88, 1, 1, 1, 1024, 0, 0, 0},
      {"HELLO", 0x10, 2, 3, 3, 452, 86, 1, 2},
      {"INFO", 0x14, 5, 1, 1, 100, 86, 1, 2},
      {"NEW", 0x10, 6, 4, 2, 476, 26, 12, 8},
      {"TRIM", 0x10, 10, 1, 1, 100, 26, 12, 8},
      {"BIG", 0x10, 11, 149, 0, 0, 26, 12, 8},
      {"BLOCKS LEFT", 1, 160, 0, 0, 0, 0, 0, 0},
  };
  ASSERT_EQ(dir.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) expect_entry(dir[i], want[i]);
  EXPECT_EQ(file_data(after, dir[5]), written);
  EXPECT_EQ(file_data(after, dir[6]), std::vector<uint8_t>(written.begin(), written.begin() + 100));
  EXPECT_EQ(file_data(after, dir[3]), hello);
}

TEST_F(AdamFiles, NewTapeDirectoryFillsUpWithoutDamage) {
  Blocks v(256 * BLOCK, 0);
  std::vector<uint8_t> boot_block = test_program("adam_file_calls");
  memcpy(v.data(), boot_block.data(), boot_block.size());
  boot(v, false);
  // Two directory blocks: the volume, BOOT, DIRECTORY and BLOCKS LEFT
  // leave room for 74 files; the 36th moves BLOCKS LEFT to the second block.
  std::vector<Step> steps = {{INIT_TAPE_DIR, 8, 2, 256, name("MYTAPE"), 0, -1, -1},
                             {INIT_TAPE_DIR, 8, 2, 3, name("SMALL"), 17, -1, -1},
                             {OPEN_FILE, 8, 0x0100, 0, name("NONE"), 5, -1, -1}};
  for (int i = 0; i < 74; i++)
    steps.push_back({MAKE_FILE, 8, 0, 1024 * (i % 3 + 1), name("F" + std::to_string(i)), 0, -1, -1});
  steps.push_back({MAKE_FILE, 8, 0, 1, name("ONE MORE"), 12, -1, -1});
  steps.push_back({MAKE_FILE, 8, 0, 1, name("TWELVE CHARS"), 17, -1, -1});  // no room for 03h
  run(steps, 3000);

  Blocks after = medium();
  std::vector<Entry> dir = directory(after);
  ASSERT_EQ(dir.size(), 78u);
  expect_entry(dir[0], {"MYTAPE", 0, 2, 256, 0, 0, 0, 0, 0});
  expect_entry(dir[2], {"DIRECTORY", 0x88, 1, 2, 2, 1024, 0, 0, 0});
  uint32_t next = 3;
  for (int i = 0; i < 74; i++) {
    expect_entry(dir[3 + i], {"F" + std::to_string(i), 0x10, next, i % 3 + 1, 0, 0, 0, 0, 0});
    next += i % 3 + 1;
  }
  expect_entry(dir[77], {"BLOCKS LEFT", 1, next, 256 - (int)next, 0, 0, 0, 0, 0});
  EXPECT_EQ(std::vector<uint8_t>(after.begin() + 3 * BLOCK, after.end()),
            std::vector<uint8_t>(after.size() - 3 * BLOCK, 0));  // nothing past the directory
}

TEST_F(AdamFiles, BootBlockLoadsAProgramByName) {
  std::vector<uint8_t> program = test_program("adam_file_prog");
  ASSERT_GT(program.size(), 1024u);
  Blocks v = volume(160, test_program("adam_file_boot"),
                    {{"README", 0x10, 0, 1, 1, 5, 0, 0, 0},
                     {"PROGRAM", 0x10, 0, 3, 2, (int)program.size() - 1024, 0, 0, 0}},
                    {{'h', 'e', 'l', 'l', 'o'}, program});
  boot(v, true);
  std::string screen;
  for (int f = 0; f < 400 && screen.find("Loaded PROGRAM by name") == std::string::npos; f++) {
    machine_run_frames(1);
    screen.assign((const char *)&video_ram[0x1800], 32 * 24);
  }
  EXPECT_NE(screen.find("Loaded PROGRAM by name"), std::string::npos) << screen;
}

}  // namespace
