// Snapshot file: layout, page-table encoding, round trip, and refusal of
// damaged or hostile files without touching the running machine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <dirent.h>
#include <vector>

#include "adam/adamnet.h"
#include "capture/capture.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "support/harness.h"
#include "support/posix.h"
#include "video/vdp.h"

namespace {

const size_t WIDE = 149872, NARROW = 149872 - 512;
const size_t MAPS = 147816, AFTER_MAPS = 148840;

// A console-like layout built directly, so these checks need no memory map.
void console_tables(void) {
  for (int p = 0; p < 64; p++) {
    if (p < 8) map_page(map1, p, base_rom, p * 1024);
    else if (p < 24) map_page(map1, p, null, 1024);
    else if (p < 32) map_page(map1, p, internal_ram, 0);
    else map_page(map1, p, rom, (p - 32) * 1024);
    if (p >= 24 && p < 32) map_page(map2, p, internal_ram, 0);
    else map_page(map2, p, null, 0);
  }
}

// Every saved value set to a legal value derived from seed.
void legal_state(int seed) {
  for (int i = 0; i < 0x4000; i++) video_ram[i] = (uint8_t)(i * 7 + seed);
  for (int i = 0; i < 0x20000; i++) internal_ram[i] = (uint8_t)(i * 13 + seed);
  for (int i = 0; i < REG_COUNT; i++) emulator_registers[i] = (0x1111 * (i + 1) + seed) & 0xFFFF;
  interrupt_mask = seed % 3;
  interrupt_mask_2 = seed & 1;
  interrupt_mode = (seed + 1) % 3;
  z80_cycles_1 = 228 * (1000 + seed);
  z80_cycles = z80_cycles_1 + 12 + seed % 10;
  z80_cycles_2 = 100 + seed % 50;
  vdp_pal = seed & 1;
  vdp_address = (0x1234 + seed) & 0x3FFF;
  vdp_status = 0x9F;
  vdp_byte = 1;
  for (int i = 0; i < 8; i++) vdp_reg[i] = (0x21 * i + seed) & 0xFF;
  vdp_line = 200 + seed % 50;
  vdp_access = -seed;
  vdp_cycle = 77 + seed;
  vdp_error = 3;
  psg_address = 5;
  for (int i = 0; i < 8; i++) psg_reg[i] = (i & 1) ? 2953 : (i == 6 ? 4 : 0x155 + seed);
  psg_step1 = 0x155; psg_counter1 = 5000 + seed; psg_step2 = 0; psg_counter2 = -40000;
  psg_step3 = 1023; psg_counter3 = 65536 * 1000; psg_step4 = 32; psg_counter4 = 1;
  psg_channel = 9; psg_noise = 0x12345 + seed;
  psg2_address = 13;
  for (int i = 0; i < 16; i++) psg2_reg[i] = (i * 3 + seed) & 0x0F;
  psg2_step1 = 664935 / 300; psg2_counter1 = -123456789; psg2_step2 = 0; psg2_counter2 = 0x80000;
  psg2_step3 = 5; psg2_counter3 = 77; psg2_step4 = 664935; psg2_counter4 = 0xFFFFF;
  psg2_step5 = 1000; psg2_counter5 = 0x1FFFFFF; psg2_noise = 0x840001 + seed;
  console_tables();
  map_page(map1, 48, rom, 0x10000 + seed * 1024);
  megacart = 0x1FFFF;
  megacart_mapper = 0;
  nmi_use = 1;
  map_adam = 0x13;
  pcb_adam = 0xFEC0;
  for (int i = 0; i < 16; i++) adam_keyboard[i] = i < 3 ? ~(0x41 + i + seed) : 0;
  adam_slow = 42;
  for (int i = 0; i < 16; i++) adam_status[i] = i % 5;
  for (int i = 0; i < 440; i++) psg_buffer[i] = (int16_t)(i * 71 - seed);
}

std::vector<uint8_t> bytes_of(const std::string &path) { return read_file(path); }

void write_bytes(const std::string &path, const std::vector<uint8_t> &data) {
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
  fclose(f);
}

uint32_t u32(const std::vector<uint8_t> &d, size_t at) {
  uint32_t v;
  memcpy(&v, &d[at], 4);
  return v;
}
void put32(std::vector<uint8_t> &d, size_t at, uint32_t v) { memcpy(&d[at], &v, 4); }

// The machine state as a file image plus the table pointers themselves.
struct State {
  std::vector<uint8_t> image;
  std::vector<uint8_t *> tables;
};
State capture_state(const std::string &dir) {
  std::string p = dir + "/state.bin";
  EXPECT_EQ(save_snapshot(p.c_str()), 0);
  State s;
  s.image = bytes_of(p);
  s.tables.assign(map1, map1 + 64);
  s.tables.insert(s.tables.end(), map2, map2 + 64);
  unlink(p.c_str());
  return s;
}

class Snapshot : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = private_home();
    slot = dir + "/tervox_snapshot.bin";
  }
  std::string dir, slot;
};

TEST_F(Snapshot, FieldsLandAtTheirOffsetsWithEncodedPages) {
  legal_state(3);
  ASSERT_EQ(save_snapshot(slot.c_str()), 0);
  std::vector<uint8_t> d = bytes_of(slot);
  ASSERT_EQ(d.size(), WIDE);
  EXPECT_EQ(memcmp(d.data(), "Tervox v0.5 :)\r\n", 16), 0);
  for (int i = 16; i < 32; i++) EXPECT_EQ(d[i], 0) << i;
  EXPECT_EQ(d[32 + 0x100], video_ram[0x100]);
  EXPECT_EQ(d[16416 + 0x1FFFF], internal_ram[0x1FFFF]);
  EXPECT_EQ(u32(d, 147488 + 4 * REG_PC), (uint32_t)emulator_registers[REG_PC]);
  EXPECT_EQ(u32(d, 147488 + 4 * REG_IR), (uint32_t)emulator_registers[REG_IR]);
  EXPECT_EQ(u32(d, 147548), (uint32_t)interrupt_mode);
  EXPECT_EQ(u32(d, 147560), (uint32_t)z80_cycles_2);
  EXPECT_EQ(u32(d, 147568), (uint32_t)vdp_address);
  EXPECT_EQ(u32(d, 147580 + 28), (uint32_t)vdp_reg[7]);
  EXPECT_EQ(u32(d, 147612), (uint32_t)vdp_line);
  EXPECT_EQ(u32(d, 147628), (uint32_t)psg_address);
  EXPECT_EQ(u32(d, 147632 + 4), (uint32_t)psg_reg[1]);
  EXPECT_EQ(u32(d, 147700), (uint32_t)psg_noise);
  EXPECT_EQ(u32(d, 147704), (uint32_t)psg2_address);
  EXPECT_EQ(u32(d, 147708 + 52), (uint32_t)psg2_reg[13]);
  EXPECT_EQ(u32(d, 147812), (uint32_t)psg2_noise);
  EXPECT_EQ(u32(d, 148840), (uint32_t)megacart);
  EXPECT_EQ(u32(d, 148856), (uint32_t)pcb_adam);
  EXPECT_EQ(u32(d, 148860), (uint32_t)adam_keyboard[0]);
  EXPECT_EQ(u32(d, 148924), (uint32_t)adam_slow);
  EXPECT_EQ(u32(d, 148928 + 4), (uint32_t)adam_status[1]);
  int16_t last;
  memcpy(&last, &d[148992 + 878], 2);
  EXPECT_EQ(last, psg_buffer[439]);

  auto entry = [&](int table, int page) {
    uint64_t v;
    memcpy(&v, &d[MAPS + (size_t)table * 512 + (size_t)page * 8], 8);
    return v;
  };
  EXPECT_EQ(entry(0, 3), 0x10000000u + 3 * 1024);   // BIOS
  EXPECT_EQ(entry(0, 10), 0x30000000u + 1024);      // 0xFF page
  EXPECT_EQ(entry(1, 10), 0x30000000u);             // write sink
  EXPECT_EQ(entry(0, 27), 0x20000000u);             // RAM mirror
  EXPECT_EQ(entry(1, 31), 0x20000000u);
  EXPECT_EQ(entry(0, 40), 8u * 1024);          // cartridge
  EXPECT_EQ(entry(0, 48), 0x10000u + 3 * 1024);     // selected bank
}

TEST_F(Snapshot, RestoresEveryValueAndBothTables) {
  legal_state(1);
  State saved = capture_state(dir);
  ASSERT_EQ(save_snapshot(slot.c_str()), 0);
  legal_state(2);
  map_page(map1, 5, wp_rom, 0x7000);
  ASSERT_NE(capture_state(dir).image, saved.image);
  ASSERT_EQ(read_snapshot(slot.c_str()), 0);
  State now = capture_state(dir);
  EXPECT_TRUE(now.image == saved.image);
  EXPECT_TRUE(now.tables == saved.tables);
}

TEST_F(Snapshot, AcceptsFourByteEntries) {
  legal_state(4);
  map_page(map1, 2, wp_rom, 0x7C00);
  map_page(map1, 30, eos_rom, 0x1C00);
  State saved = capture_state(dir);
  std::vector<uint8_t> wide = saved.image, narrow(wide.begin(), wide.begin() + MAPS);
  for (int i = 0; i < 128; i++) {
    uint64_t v;
    memcpy(&v, &wide[MAPS + 8 * i], 8);
    uint32_t w = (uint32_t)v;
    narrow.insert(narrow.end(), (uint8_t *)&w, (uint8_t *)&w + 4);
  }
  narrow.insert(narrow.end(), wide.begin() + AFTER_MAPS, wide.end());
  ASSERT_EQ(narrow.size(), NARROW);
  write_bytes(slot, narrow);
  legal_state(5);
  ASSERT_EQ(read_snapshot(slot.c_str()), 0);
  State now = capture_state(dir);
  EXPECT_TRUE(now.image == saved.image);
  EXPECT_TRUE(now.tables == saved.tables);
}

// Each damage is applied to a good file; the read must fail and leave the
// machine exactly as it was.
TEST_F(Snapshot, RefusesDamagedAndHostileFilesWithoutChangingAnything) {
  legal_state(6);
  ASSERT_EQ(save_snapshot(slot.c_str()), 0);
  const std::vector<uint8_t> good = bytes_of(slot);
  ASSERT_EQ(good.size(), WIDE);
  legal_state(7);
  const State before = capture_state(dir);

  struct Damage {
    const char *what;
    size_t at;        // offset of a 32-bit word, or of a byte when byte is set
    uint32_t value;
    bool byte;
  };
  const Damage damages[] = {
      {"magic text", 3, 'X', true},
      {"magic padding", 31, 1, true},
      {"register above 16 bits", 147488 + 4 * REG_SP, 0x10000, false},
      {"negative register", 147488, 0xFFFFFFFF, false},
      {"interrupt mode", 147548, 3, false},
      {"cycles far behind", 147552, 0x7FFFFFFF, false},
      {"sound line index", 147560, 157, false},
      {"vdp address", 147568, 0x4000, false},
      {"vdp register", 147580 + 4, 0x100, false},
      {"vdp line of a PAL frame in NTSC", 147612, 300, false},
      {"psg address", 147628, 8, false},
      {"psg tone period", 147632, 0x400, false},
      {"psg counter", 147664 + 4, 0x80000000, false},
      {"psg2 address", 147704, 16, false},
      {"psg2 envelope shape", 147708 + 52, 0x10, false},
      {"psg2 volume", 147708 + 32, 0x20, false},
      {"psg2 envelope position", 147808, 0x2000000, false},
      {"psg2 noise counter", 147800, 0xFFFFFFFF, false},
      {"tag 6", MAPS + 8 * 3, 0x60000000, false},
      {"tag 15", MAPS + 8 * 3, 0xF0000000, false},
      {"entry above 32 bits", MAPS + 8 * 3 + 4, 1, false},
      {"rom window past its end", MAPS + 8 * 40, 0x7FC01, false},
      {"negative window", MAPS + 8 * 40, 0x0FFFFC00, false},
      {"ram window past its end", MAPS + 8 * 30, 0x2001FC01, false},
      {"null window in the middle", MAPS + 8 * 10, 0x30000200, false},
      {"bios window past its end", MAPS + 8 * 7, 0x10001C01, false},
      {"write page into firmware", MAPS + 512 + 8 * 4, 0x40000000, false},
      {"megacart mask", 148840, 0x12345, false},
      {"megacart mask too large", 148840, 0xFFFFF, false},
      {"mapper", 148844, 2, false},
      {"machine mode", 148848, 3, false},
      {"adam memory map", 148852, 0x20, false},
      {"pcb address", 148856, 0x10000, false},
      {"adam slow counter", 148924, 43, false},
      {"adam device state", 148928 + 16, 5, false},
  };
  for (const Damage &dmg : damages) {
    std::vector<uint8_t> bad = good;
    if (dmg.byte) bad[dmg.at] = (uint8_t)dmg.value;
    else put32(bad, dmg.at, dmg.value);
    write_bytes(slot, bad);
    EXPECT_EQ(read_snapshot(slot.c_str()), 1) << dmg.what;
    State after = capture_state(dir);
    EXPECT_TRUE(after.image == before.image) << dmg.what;
    EXPECT_TRUE(after.tables == before.tables) << dmg.what;
  }

  const size_t sizes[] = {0, 31, 32, 147816, WIDE - 1, WIDE + 1, NARROW - 1, NARROW + 1};
  for (size_t n : sizes) {
    std::vector<uint8_t> cut = good;
    cut.resize(n, 0);
    write_bytes(slot, cut);
    EXPECT_EQ(read_snapshot(slot.c_str()), 1) << n << " bytes";
  }
  EXPECT_EQ(read_snapshot((dir + "/absent.bin").c_str()), 1);
  EXPECT_EQ(read_snapshot(dir.c_str()), 1);
  State after = capture_state(dir);
  EXPECT_TRUE(after.image == before.image);
  EXPECT_TRUE(after.tables == before.tables);
}

#ifndef _WIN32  // links and FIFOs of POSIX file systems
TEST_F(Snapshot, SlotIsPrivateAndNeverWrittenThroughALink) {
  legal_state(8);
  std::string victim = dir + "/victim.txt";
  write_bytes(victim, {'k', 'e', 'e', 'p'});
  ASSERT_EQ(symlink(victim.c_str(), slot.c_str()), 0);
  // Reading through the link is refused too.
  EXPECT_EQ(read_snapshot(slot.c_str()), 1);
  ASSERT_EQ(save_snapshot(slot.c_str()), 0);
  EXPECT_EQ(bytes_of(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  struct stat st;
  ASSERT_EQ(lstat(slot.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ((size_t)st.st_size, WIDE);
  EXPECT_EQ(read_snapshot(slot.c_str()), 0);
}

TEST_F(Snapshot, AFifoInTheSlotIsRefusedWithoutBlocking) {
  ASSERT_EQ(mkfifo(slot.c_str(), 0600), 0);
  EXPECT_EQ(read_snapshot(slot.c_str()), 1);
}
#endif

TEST_F(Snapshot, FailedSaveLeavesNoTemporaryFiles) {
  legal_state(9);
  EXPECT_EQ(save_snapshot((dir + "/missing/folder/slot.bin").c_str()), 1);
  ASSERT_EQ(save_snapshot(slot.c_str()), 0);
  ASSERT_EQ(save_snapshot(slot.c_str()), 0);
  std::string listing;
  DIR *d = opendir(dir.c_str());
  ASSERT_NE(d, nullptr);
  while (const dirent *e = readdir(d))
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) listing += std::string(e->d_name) + "\n";
  closedir(d);
  EXPECT_EQ(listing, "tervox_snapshot.bin\n");
}

}  // namespace
