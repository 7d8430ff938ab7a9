// Image loading: raw images, ZIP archives, header search, tape and disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include <zip.h>

#include "common/paths.h"
#include "core/machine.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "support/posix.h"
#include "video/present.h"

extern char host_null_title[256];

namespace {

using Bytes = std::vector<uint8_t>;

std::string write_file(const std::string &path, const Bytes &data) {
  FILE *f = open_file(path.c_str(), "wb");
  EXPECT_NE(f, nullptr) << path;
  if (f) {
    if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
    fclose(f);
  }
  return path;
}

struct Entry {
  std::string name;
  Bytes data;
  int method = Z_DEFLATED;
};

// Builds an archive with minizip's writer, entries in the given order.
std::string write_zip(const std::string &path, const std::vector<Entry> &entries) {
  zipFile zf = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  EXPECT_NE(zf, nullptr);
  for (const auto &e : entries) {
    zip_fileinfo info;
    memset(&info, 0, sizeof info);
    EXPECT_EQ(zipOpenNewFileInZip(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  e.method, Z_DEFAULT_COMPRESSION), ZIP_OK);
    if (!e.data.empty()) zipWriteInFileInZip(zf, e.data.data(), (unsigned)e.data.size());
    zipCloseFileInZip(zf);
  }
  zipClose(zf, nullptr);
  return path;
}

// Gives the named entry another compression method in both of its headers
// (the writer only makes stored and deflated entries).
void set_method(Bytes &zip, const std::string &name, int method) {
  const uint8_t local[] = {'P', 'K', 3, 4}, central[] = {'P', 'K', 1, 2};
  for (size_t i = 0; i + 46 + name.size() <= zip.size(); i++) {
    bool is_local = memcmp(&zip[i], local, 4) == 0, is_central = memcmp(&zip[i], central, 4) == 0;
    size_t name_at = i + (is_local ? 30 : 46), method_at = i + (is_local ? 8 : 10);
    if ((is_local || is_central) && memcmp(&zip[name_at], name.data(), name.size()) == 0) {
      zip[method_at] = (uint8_t)method;
      zip[method_at + 1] = (uint8_t)(method >> 8);
    }
  }
}

// An image of size bytes, each byte a function of its offset, headers where asked.
Bytes image(size_t size, std::vector<size_t> headers = {}) {
  Bytes b(size);
  for (size_t i = 0; i < size; i++) b[i] = (uint8_t)(i * 7 + (i >> 14));
  for (size_t h : headers) { b[h] = 0xAA; b[h + 1] = 0x55; }
  return b;
}

bool rom_is_blank(void) {
  for (size_t i = 0; i < sizeof rom; i++)
    if (rom[i] != 0xFF) return false;
  return true;
}

struct Loader : ::testing::Test {
  std::string home;
  void SetUp() override {
    home = private_home();
    machine_fresh();
  }
  void TearDown() override {
    open_rom_file((home + "/none.rom").c_str());  // closes any tape or disk
  }
};

TEST_F(Loader, RawImagesAndHeaderlessMode) {
  Bytes small = image(0x4000, {0});
  small[0] = 0x55;
  small[1] = 0xAA;  // the other byte order counts too
  EXPECT_EQ(open_rom_file(write_file(home + "/a.col", small).c_str()), 0);
  EXPECT_EQ(nmi_use, 1);
  EXPECT_EQ(megacart, 0);
  EXPECT_EQ(rom_size, 0x4000);
  EXPECT_EQ(memcmp(rom, small.data(), small.size()), 0);
  EXPECT_EQ(rom[0x4000], 0xFF);
  init_peripheral(0);
  EXPECT_EQ(map1[0xC000 >> 10][0xC000], 0xFF);
  EXPECT_EQ(map1[0x8000 >> 10][0x8123], small[0x123]);

  EXPECT_EQ(open_rom_file(write_file(home + "/b", image(0x8000)).c_str()), 0);
  EXPECT_EQ(nmi_use, 0);
  // Any extension that is not an archive, tape or disk is a raw image.
  EXPECT_EQ(open_rom_file(write_file(home + "/c.Rom", image(0x2000, {0})).c_str()), 0);
  EXPECT_EQ(nmi_use, 1);
  EXPECT_EQ(rom_size, 0x2000);
  EXPECT_STREQ(filename_inzip, (home + "/c.Rom").c_str());
}

TEST_F(Loader, HeaderSearchFirstMatchWins) {
  const struct { size_t size, header; int32_t mask; } cases[] = {
    {0x10000, 0x0C000, 0xFFFF}, {0x20000, 0x1C000, 0x1FFFF},
    {0x40000, 0x3C000, 0x3FFFF}, {0x80000, 0x7C000, 0x7FFFF},
  };
  for (const auto &c : cases) {
    std::string path = write_file(home + "/m.rom", image(c.size, {c.header}));
    EXPECT_EQ(open_rom_file(path.c_str()), 0);
    EXPECT_EQ(nmi_use, 1) << c.size;
    EXPECT_EQ(megacart, c.mask) << c.size;
    // The same image with a header at 0 as well is a plain cartridge.
    write_file(path, image(c.size, {0, c.header}));
    EXPECT_EQ(open_rom_file(path.c_str()), 0);
    EXPECT_EQ(megacart, 0) << c.size;
  }
  // A header at the last bank's place of a larger size is not looked for:
  // a 64 KB image with one at 0x8000 only is headerless.
  EXPECT_EQ(open_rom_file(write_file(home + "/h.rom", image(0x10000, {0x8000})).c_str()), 0);
  EXPECT_EQ(nmi_use, 0);
  EXPECT_EQ(megacart, 0);
}

TEST_F(Loader, ImageOfExactly512KbLoads) {
  EXPECT_EQ(open_rom_file(write_file(home + "/max.rom", image(0x80000, {0})).c_str()), 0);
  EXPECT_EQ(rom_size, 0x80000);
  EXPECT_EQ(rom[0x7FFFF], image(0x80000)[0x7FFFF]);
}

// Every image that does not load says why, and leaves the running
// cartridge, its settings and the title exactly as they were.
TEST_F(Loader, FailuresSayWhyAndChangeNothing) {
  Bytes cart = image(0x10000, {0});
  cart[0xBF80] = 0x00;
  cart[0xFF80] = 0x01;  // an Activision cartridge, so the EEPROM is in play
  ASSERT_EQ(open_rom_file(write_file(home + "/Run.rom", cart).c_str()), 0);
  eeprom[7] = 0x77;
  eeprom_modified = 0;
  const std::vector<uint8_t> rom_before(rom, rom + sizeof rom);
  const std::string title = host_null_title, name = filename_inzip, save = eeprom_filename;

  Bytes lzma_cart = read_file(write_zip(home + "/lzma.zip", {{"game.rom", image(0x4000, {0}), 0}}));
  set_method(lzma_cart, "game.rom", 14);
  mkdir((home + "/folder.ddp").c_str(), 0700);
  std::string text = "This is a readme, not a game.\r\n\tNothing to run here.\n";
  struct Case { std::string path; const char *reason; };
  std::vector<Case> cases = {
    {home + "/missing.rom", "file not found"},
    {home, "is a folder"},
    {write_file(home + "/empty.col", {}), "empty file"},
    {write_file(home + "/big.rom", image(0x80001, {0})), "larger than 512 KB"},
    {write_file(home + "/readme.rom", Bytes(text.begin(), text.end())), "is a text file"},
    {home + "/gone.zip", "file not found"},
    {write_file(home + "/empty.ZIP", {}), "empty file"},
    {write_file(home + "/junk.zip", image(0x4000, {0})), "damaged archive"},
    {write_zip(home + "/none.zip", {{"notes.txt", Bytes(10, 'n')}, {"games/", {}}}), "no cartridge in the archive"},
    {write_zip(home + "/media.zip", {{"tape.ddp", Bytes(9, 1)}, {"disk.dsk", Bytes(9, 2)}}), "no cartridge in the archive"},
    {write_zip(home + "/blank.zip", {{"empty.rom", {}}}), "no cartridge in the archive"},
    {write_zip(home + "/nothing.zip", {}), "damaged archive"},  // minizip opens no archive of no entries
    {write_zip(home + "/huge.zip", {{"huge.rom", image(0x90000, {0})}, {"small.rom", image(0x4000, {0})}}), "larger than 512 KB"},
    {write_file(home + "/lzma.zip", lzma_cart), "unsupported compression"},
    {home + "/missing.ddp", "file not found"},
    {home + "/folder.ddp", "is a folder"},
    {home + "/" + std::string(5000, 'x') + ".rom", "name too long"},
    {"", "no file named"},
  };
#ifndef _WIN32
  mkfifo((home + "/fifo.rom").c_str(), 0600);
  mkfifo((home + "/fifo.dsk").c_str(), 0600);
  ASSERT_EQ(symlink("/dev/zero", (home + "/zero.rom").c_str()), 0);
  cases.insert(cases.end(), {{home + "/fifo.rom", "not an ordinary file"},
                             {home + "/zero.rom", "not an ordinary file"},
                             {home + "/fifo.dsk", "not an ordinary file"}});
#endif
  for (const auto &c : cases) {
    EXPECT_EQ(open_rom_file(c.path.c_str()), 1) << c.path;
    EXPECT_STREQ(load_error, c.reason) << c.path;
    EXPECT_TRUE(std::equal(rom_before.begin(), rom_before.end(), rom)) << c.path;
    EXPECT_EQ(rom_size, 0x10000);
    EXPECT_EQ(nmi_use, 1);
    EXPECT_EQ(megacart, 0xFFFF);
    EXPECT_EQ(megacart_mapper, 1);
    EXPECT_EQ(eeprom[7], 0x77);
    EXPECT_EQ(std::string(eeprom_filename), save);
    EXPECT_EQ(std::string(filename_inzip), name);
    EXPECT_EQ(std::string(host_null_title), title);
    EXPECT_EQ(tape1, nullptr);
    EXPECT_EQ(disk1, nullptr);
  }
  // A mounted disk stays mounted through a failed load.
  ASSERT_EQ(open_rom_file(write_file(home + "/d.dsk", Bytes(0x400, 0xE5)).c_str()), 0);
  FILE *disk = disk1;
  EXPECT_EQ(open_rom_file((home + "/missing.col").c_str()), 1);
  EXPECT_EQ(disk1, disk);
  EXPECT_EQ(nmi_use, 2);
}

// The status line holds 41 characters: long names lose their middle, the
// full text goes to the standard error stream.
TEST_F(Loader, FailureReportFitsTheStatusLine) {
  const struct { std::string name; const char *reason; const char *shown; } cases[] = {
    {"Game.rom", "file not found", "Couldn't load Game.rom: file not found"},
    {"Very Long Game Name (1983).rom", "file not found", "Couldn't load Very ...rom: file not found"},
    {"pack.zip", "no cartridge in the archive", "pack.zip: no cartridge in the archive"},
    {"A much longer archive name.zip", "no cartridge in the archive", "A much...zip: no cartridge in the archive"},
  };
  for (const auto &c : cases) {
    std::string path = home + "/" + c.name;
    testing::internal::CaptureStderr();
    load_error = c.reason;
    report_load_error(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Couldn't load " + path + ": " + c.reason + "\n");
    EXPECT_STREQ(current_message, c.shown);
    EXPECT_LE(strlen(current_message), (size_t)STATUS_CELLS);
  }
}

TEST_F(Loader, ExtensionsMatchInAnyCase) {
  ASSERT_EQ(open_rom_file(write_file(home + "/Boot.Dsk", Bytes(0x400, 0xE5)).c_str()), 0);
  EXPECT_EQ(nmi_use, 2);
  EXPECT_NE(disk1, nullptr);
  ASSERT_EQ(open_rom_file(write_file(home + "/Tape.DdP", Bytes(0x400, 0xE5)).c_str()), 0);
  EXPECT_NE(tape1, nullptr);
  Bytes cart = image(0x4000, {0});
  ASSERT_EQ(open_rom_file(write_zip(home + "/Pack.Zip", {{"Baldy.Rom", cart}}).c_str()), 0);
  EXPECT_EQ(rom_size, 0x4000);
  EXPECT_EQ(tape1, nullptr);
  ASSERT_EQ(open_rom_file(write_zip(home + "/p.zip", {{"x.txt", {1}}, {"GAME.Col", cart}}).c_str()), 0);
  EXPECT_STREQ(host_null_title, "Tervox - GAME.Col");
}

TEST_F(Loader, SuperGameModuleDetection) {
  Bytes b = image(0x8000, {0});
  memcpy(&b[0x24], " SUPER DK!", 10);
  EXPECT_EQ(open_rom_file(write_file(home + "/dk.rom", b).c_str()), 0);
  EXPECT_EQ(sgm_active, 0);
  b[0x24] = 'x';
  EXPECT_EQ(open_rom_file(write_file(home + "/dk.rom", b).c_str()), 0);
  EXPECT_EQ(sgm_active, 1);
  // Also without a header.
  Bytes h = image(0x8000);
  memcpy(&h[0x24], " SUPER DK!", 10);
  EXPECT_EQ(open_rom_file(write_file(home + "/dk2.rom", h).c_str()), 0);
  EXPECT_EQ(sgm_active, 0);
}

TEST_F(Loader, ArchiveLoadsItsFirstCartridgeEntry) {
  Bytes cart = image(0x6000, {0});
  std::string zip = write_zip(home + "/pack.zip", {
    {"readme.txt", Bytes(100, 'a'), 0},
    {"games/", {}},
    {"games/Empty.col", {}},
    {"games/Space Game.col", cart},
    {"games/later.rom", image(0x4000, {0})},
  });
  // A readme in a compression minizip cannot open is passed over.
  Bytes packed = read_file(zip);
  set_method(packed, "readme.txt", 14);
  write_file(zip, packed);
  EXPECT_EQ(open_rom_file(zip.c_str()), 0);
  EXPECT_EQ(rom_size, 0x6000);
  EXPECT_EQ(memcmp(rom, cart.data(), cart.size()), 0);
  EXPECT_EQ(rom[0x6000], 0xFF);
  EXPECT_EQ(nmi_use, 1);
  EXPECT_STREQ(filename_inzip, "games/Space Game.col");
  EXPECT_STREQ(host_null_title, "Tervox - Space Game.col");

  // Upper-case extensions of the list count, in either archive extension.
  std::string upper = write_zip(home + "/PACK.ZIP", {{"X.BIN", image(0x2000)}});
  EXPECT_EQ(open_rom_file(upper.c_str()), 0);
  EXPECT_EQ(rom_size, 0x2000);
  EXPECT_EQ(nmi_use, 0);
}

TEST_F(Loader, ArchiveEntryOfExactly512KbLoads) {
  write_zip(home + "/max.zip", {{"max.rom", image(0x80000, {0})}});
  EXPECT_EQ(open_rom_file((home + "/max.zip").c_str()), 0);
  EXPECT_EQ(rom_size, 0x80000);
}

TEST_F(Loader, DamagedArchiveEntryFails) {
  Bytes cart = image(0x4000, {0});
  std::string zip = write_zip(home + "/bad.zip", {{"bad.rom", cart, 0}});
  Bytes file = read_file(zip);
  // The entry is stored: find its bytes and damage one.
  auto at = std::search(file.begin(), file.end(), cart.begin() + 0x100, cart.begin() + 0x120);
  ASSERT_NE(at, file.end());
  at[4] ^= 0xFF;
  write_file(zip, file);
  EXPECT_EQ(open_rom_file(zip.c_str()), 1);
  EXPECT_STREQ(load_error, "damaged archive");
  EXPECT_TRUE(rom_is_blank());
}

TEST_F(Loader, EntryNameLongerThanTheBufferIsSkipped) {
  std::string zip = write_zip(home + "/long.zip", {
    {std::string(5000, 'n') + ".rom", image(0x2000, {0})},
    {"ok.col", image(0x4000, {0})},
  });
  EXPECT_EQ(open_rom_file(zip.c_str()), 0);
  EXPECT_EQ(rom_size, 0x4000);
  EXPECT_STREQ(filename_inzip, "ok.col");
}

TEST_F(Loader, ActivisionEntryTooLongForASaveNameRunsWithoutSave) {
  Bytes b = image(0x10000, {0});
  b[0xBF80] = 0x00;
  b[0xFF80] = 0x01;
  std::string name = std::string(3000, 'a') + ".rom";
  EXPECT_EQ(open_rom_file(write_zip(home + "/act.zip", {{name, b}}).c_str()), 0);
  EXPECT_EQ(megacart_mapper, 1);
  EXPECT_STREQ(eeprom_filename, "");
  EXPECT_EQ(eeprom[0], 0xFF);
  eeprom_flush();
  EXPECT_EQ(eeprom_modified, 0);
  // The save name of an ordinary entry comes from its base name.
  EXPECT_EQ(open_rom_file(write_zip(home + "/act.zip", {{"dir/Act.v1.col", b}}).c_str()), 0);
  EXPECT_EQ(std::string(eeprom_filename), home + "/Act.bin");
}

TEST_F(Loader, TitleNamesTheImageCutTo255Characters) {
  EXPECT_EQ(open_rom_file(write_file(home + "/My Game.rom", image(0x4000, {0})).c_str()), 0);
  EXPECT_STREQ(host_null_title, "Tervox - My Game.rom");
  std::string name(250, 'g');
  EXPECT_EQ(open_rom_file(write_file(home + "/" + name + ".col", image(0x4000, {0})).c_str()), 0);
  EXPECT_EQ(std::string(host_null_title), ("Tervox - " + name + ".col").substr(0, 255));
  EXPECT_EQ(open_rom_file(write_file(home + "/t.ddp", Bytes(0x100)).c_str()), 0);
  EXPECT_STREQ(host_null_title, "Tervox - t.ddp");
}

// Names beyond ASCII arrive in UTF-8 and open as wide names on Windows:
// raw images, archives and disks load from such a folder, and screenshots
// land in one.
TEST_F(Loader, NamesThatAreNotAsciiLoad) {
  const std::string folder = home + "/Spiele \xC3\xA4\xC3\xB6\xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC";
  ASSERT_EQ(make_folder(folder), 0);
  const Bytes cart = image(0x4000, {0});
  const Bytes zip = read_file(write_zip(home + "/plain.zip", {{"game.rom", cart}}));
  const struct { std::string name; Bytes data; int32_t mode; } cases[] = {
    {"J\xC3\xA9u.rom", cart, 1}, {"\xC3\xA9t\xC3\xA9.zip", zip, 1}, {"d\xC3\xAEsk.dsk", Bytes(1024, 0), 2}};
  for (const auto &c : cases) {
    machine_fresh();
    EXPECT_EQ(open_rom_file(write_file(folder + "/" + c.name, c.data).c_str()), 0) << c.name << ": " << load_error;
    EXPECT_EQ(nmi_use, c.mode) << c.name;
  }
  EXPECT_STREQ(host_null_title, "Tervox - d\xC3\xAEsk.dsk");
  set_home(folder);
  save_screenshot();
  EXPECT_STREQ(current_message, "Screenshot saved");
}

TEST_F(Loader, TapeAndDiskImages) {
  std::string tape = write_file(home + "/t.ddp", Bytes(0x40000, 0xE5));
  std::string disk = write_file(home + "/d.DSK", Bytes(0x28000, 0xE5));
  megacart = 0xFFFF;
  EXPECT_EQ(open_rom_file(tape.c_str()), 0);
  EXPECT_EQ(nmi_use, 2);
  EXPECT_EQ(megacart, 0);
  EXPECT_EQ(rom_size, 0x8000);
  ASSERT_NE(tape1, nullptr);
  EXPECT_EQ(disk1, nullptr);
  EXPECT_TRUE(rom_is_blank());
  // Opened for reading and writing.
  EXPECT_EQ(fputc(0x12, tape1), 0x12);

  EXPECT_EQ(open_rom_file(disk.c_str()), 0);
  EXPECT_EQ(tape1, nullptr);
  ASSERT_NE(disk1, nullptr);
  EXPECT_EQ(read_file(tape)[0], 0x12);  // the tape was closed, its write kept

  // A cartridge closes the disk.
  EXPECT_EQ(open_rom_file(write_file(home + "/c.rom", image(0x4000, {0})).c_str()), 0);
  EXPECT_EQ(disk1, nullptr);
  EXPECT_EQ(nmi_use, 1);

  // A disk that cannot be written is refused, and the cartridge stays.
  chmod(disk.c_str(), 0444);
  FILE *probe = fopen(disk.c_str(), "r+b");  // root may write it anyway
  if (probe != nullptr) {
    fclose(probe);
  } else {
    EXPECT_EQ(open_rom_file(disk.c_str()), 1);
    EXPECT_STREQ(load_error, "read-only file");
    EXPECT_EQ(disk1, nullptr);
    EXPECT_EQ(nmi_use, 1);
  }
}

}  // namespace
