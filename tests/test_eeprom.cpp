// The Activision cartridge: detection, bank switching and its EEPROM,
// driven bit by bit through CPU writes to 0xFF80-0xFFFF.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/machine.h"
#include "core/z80.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "support/posix.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum { CLK_LO = 0xFFC0, CLK_HI = 0xFFD0, DAT_LO = 0xFFE0, DAT_HI = 0xFFF0, DATA_OUT = 0xFF80 };
enum { CODE = 0x8200, RECORD = 0x7100 };

// Z80 code built from two instructions: LD (nn),A drives a bus line, and
// LD A,(0xFF80) + LD (nn),A records the EEPROM's data output in RAM.
struct Bus {
  Bytes code;
  int recorded = 0;

  void drive(int a) { code.insert(code.end(), {0x32, (uint8_t)a, (uint8_t)(a >> 8)}); }
  void record() {
    int to = RECORD + recorded++;
    code.insert(code.end(), {0x3A, (uint8_t)DATA_OUT, (uint8_t)(DATA_OUT >> 8), 0x32,
                             (uint8_t)to, (uint8_t)(to >> 8)});
  }
  // Both lines high, the bus idle, whatever came before.
  void idle() { drive(CLK_LO); drive(DAT_LO); drive(CLK_HI); drive(DAT_HI); }
  void start() { drive(DAT_HI); drive(CLK_HI); drive(DAT_LO); drive(CLK_LO); }
  void stop() { drive(DAT_LO); drive(CLK_HI); drive(DAT_HI); }
  void bit(int b) { drive(b ? DAT_HI : DAT_LO); drive(CLK_HI); drive(CLK_LO); }
  // Eight bits, then the acknowledge clock with the answer recorded.
  void send(int v) {
    for (int i = 7; i >= 0; i--) bit((v >> i) & 1);
    drive(CLK_HI);
    record();
    drive(CLK_LO);
  }
  // Eight bits recorded, then the program's acknowledge clock (none after
  // the last byte of a read).
  void receive(bool last = false) {
    drive(DAT_HI);  // released for the chip
    for (int i = 0; i < 8; i++) { drive(CLK_HI); record(); drive(CLK_LO); }
    bit(last ? 1 : 0);
  }
};

std::string write_file(const std::string &path, const Bytes &data) {
  FILE *f = fopen(path.c_str(), "wb");
  if (f) {
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
  }
  return path;
}

Bytes activision_image(bool large) {
  Bytes b(0x10000);
  for (size_t i = 0; i < b.size(); i++) b[i] = (uint8_t)(i >> 8);
  b[0] = 0xAA;
  b[1] = 0x55;
  b[0xBF80] = 0x00;
  b[0xFF80] = 0x01;
  b[0xFF7F] = large ? 0xC0 : 0x00;
  return b;
}

struct Eeprom : ::testing::Test {
  std::string home;
  void SetUp() override {
    home = private_home();
    machine_fresh();
  }
  void load(bool large, const std::string &name = "Demo.rom") {
    ASSERT_EQ(open_rom_file(write_file(home + "/" + name, activision_image(large)).c_str()), 0);
    init_peripheral(0);
  }
  // Runs the code from 0x8200 (bank 0) until it has all executed.
  void run(Bus &bus) {
    Bytes code = bus.code;
    code.push_back(0x76);
    ASSERT_LT(code.size(), 0x3000u);
    memcpy(rom + (CODE - 0x8000), code.data(), code.size());
    emulator_registers[REG_PC] = CODE;
    emulator_registers[REG_SP] = 0x7FF0;
    int end = CODE + (int)code.size() - 1;
    for (int i = 0; i < 1000000 && emulator_registers[REG_PC] != end; i++) z80_step();
    ASSERT_EQ(emulator_registers[REG_PC], end) << "program did not run to its end";
  }
  int recorded(int i) { return memory_read(RECORD + i); }
  int recorded_byte(int first) {
    int v = 0;
    for (int i = 0; i < 8; i++) v = v * 2 + (recorded(first + i) & 1);
    return v;
  }
};

TEST_F(Eeprom, DetectionAndSaveFileName) {
  load(false);
  EXPECT_EQ(megacart_mapper, 1);
  EXPECT_EQ(megacart, 0xFFFF);
  EXPECT_EQ(nmi_use, 1);
  EXPECT_EQ(eeprom_small, 1);
  EXPECT_EQ(std::string(eeprom_filename), home + "/Demo.bin");
  mkdir((home + "/saves.v2").c_str(), 0755);
  load(true, "saves.v2/Big.game.rom");
  EXPECT_EQ(eeprom_small, 0);
  EXPECT_EQ(std::string(eeprom_filename), home + "/Big.bin");
  // One marker byte off, or a different size: a MegaCart or plain cartridge.
  Bytes b = activision_image(false);
  b[0xBF80] = 0x01;
  ASSERT_EQ(open_rom_file(write_file(home + "/x.rom", b).c_str()), 0);
  EXPECT_EQ(megacart_mapper, 0);
  b = activision_image(false);
  b.push_back(0);
  ASSERT_EQ(open_rom_file(write_file(home + "/x.rom", b).c_str()), 0);
  EXPECT_EQ(megacart_mapper, 0);
  EXPECT_EQ(megacart, 0);
}

TEST_F(Eeprom, BanksSwitchAtTheTopAddresses) {
  load(false);
  EXPECT_EQ(memory_read(0x8100), 0x01);  // bank 0 fixed
  EXPECT_EQ(memory_read(0xC100), 0x41);  // bank 1 after reset
  const struct { int address, page_byte; } switches[] = {
    {0xFFA5, 0x81}, {0xFF85, 0x81}, {0xFFBF, 0xC1}, {0xFF9A, 0x41}};
  for (const auto &s : switches) {
    memory_write(s.address, 0);
    EXPECT_EQ(memory_read(0xC100), s.page_byte) << std::hex << s.address;
  }
  // Writes at the top never reach the image, and reads there never switch.
  EXPECT_EQ(rom[0xFFA5], 0xFF);
  memory_read(0xFFA0);
  EXPECT_EQ(memory_read(0xC100), 0x41);
}

TEST_F(Eeprom, SmallWriteReadBackThroughAResetAndWrap) {
  load(false);
  Bus w;
  w.idle();
  w.start();
  w.send(0xA0);
  w.send(0x10);
  for (int v : {0x12, 0x34, 0x56}) w.send(v);
  w.stop();
  run(w);
  EXPECT_EQ(eeprom[0x10], 0x12);
  EXPECT_EQ(eeprom[0x11], 0x34);
  EXPECT_EQ(eeprom[0x12], 0x56);
  for (int i = 0; i < 5; i++) EXPECT_EQ(recorded(i), 0) << "acknowledge " << i;
  EXPECT_NE(eeprom_modified, 0);

  init_peripheral(0);  // the bus state and contents survive a reset
  Bus r;
  r.start();
  r.send(0xA0);  // acknowledge polling: nothing is written
  r.stop();
  r.start();
  r.send(0xA0);
  r.send(0x10);
  r.stop();  // an address-only write sets the address for the read
  r.start();
  r.send(0xA1);
  for (int i = 0; i < 3; i++) r.receive();
  r.stop();
  run(r);
  EXPECT_EQ(eeprom_reading, 0);
  EXPECT_EQ(recorded_byte(4), 0x12);
  EXPECT_EQ(recorded_byte(12), 0x34);
  EXPECT_EQ(recorded_byte(20), 0x56);

  Bus wrap;
  wrap.start();
  wrap.send(0xA0);
  wrap.send(0xFF);
  wrap.send(0xAB);
  wrap.send(0xCD);
  wrap.stop();
  run(wrap);
  EXPECT_EQ(eeprom[0xFF], 0xAB);
  EXPECT_EQ(eeprom[0x00], 0xCD);
  EXPECT_EQ(eeprom[0x100], 0xFF);  // nothing beyond 256 bytes
}

TEST_F(Eeprom, LargeWriteReadBackAndWrap) {
  load(true);
  eeprom_flush();
  ASSERT_EQ(eeprom_modified, 0);
  Bus w;
  w.idle();
  w.start();
  w.send(0xA0);
  w.send(0x7F);
  w.send(0xFF);
  w.send(0x5A);
  w.send(0xA5);
  w.stop();
  run(w);
  EXPECT_EQ(eeprom[0x7FFF], 0x5A);
  EXPECT_EQ(eeprom[0x0000], 0xA5);
  EXPECT_EQ((uint32_t)eeprom_modified, 0x80000001u);
  EXPECT_EQ(eeprom_address_1, 0);
  EXPECT_EQ(eeprom_address_2, 1);

  init_peripheral(0);
  Bus r;
  r.start();
  r.send(0xA0);
  r.stop();
  r.start();
  r.send(0xA0);
  r.send(0x7F);
  r.send(0xFF);
  r.stop();
  r.start();
  r.send(0xA1);
  r.receive();
  r.receive();
  r.stop();
  run(r);
  EXPECT_EQ(recorded_byte(5), 0x5A);
  EXPECT_EQ(recorded_byte(13), 0xA5);

  // A high address byte with its top bit set stays inside the 32 KB.
  Bus hi;
  hi.start();
  hi.send(0xA0);
  hi.stop();
  hi.start();
  hi.send(0xA0);
  hi.send(0xFF);
  hi.send(0x00);
  hi.send(0x77);
  hi.stop();
  run(hi);
  EXPECT_EQ(eeprom[0x7F00], 0x77);
}

// A device byte of another type is not acknowledged, and what follows it
// (an address, data) is for another chip: nothing moves or is stored.
TEST_F(Eeprom, WrongDeviceByteIsNotAcknowledgedAndItsTransferIgnored) {
  load(false);
  eeprom[0x42] = 0x11;
  Bus b;
  b.idle();
  b.start();
  b.send(0x50);
  b.send(0x42);
  b.send(0x99);
  b.stop();
  run(b);
  EXPECT_EQ(recorded(0), 1);
  EXPECT_EQ(recorded(1), 1);
  EXPECT_EQ(eeprom_address_1, 0);
  EXPECT_EQ(eeprom[0x42], 0x11);
  EXPECT_EQ(eeprom_state, 0);
}

// The transfers of the 24C08 and 24C256 data sheets, one after another on
// each part: the device byte's low bit alone says read or write, a stop
// ends any transfer, and a start may come in the middle of one.
TEST_F(Eeprom, EveryDataSheetSequence) {
  for (bool large : {false, true}) {
    load(large);
    const int base = large ? 0x1234 : 0x34;
    auto address = [&](Bus &b, int a) {
      if (large) b.send(a >> 8);
      b.send(a & 0xFF);
    };
    Bus w;  // byte write, then a page write, each ended by its stop
    w.idle();
    w.start();
    w.send(0xA0);
    address(w, base);
    w.send(0x11);
    w.stop();
    w.start();
    w.send(0xA0);
    address(w, base + 1);
    for (int i = 0; i < 16; i++) w.send(0x20 + i);
    w.stop();
    w.start();  // acknowledge polling
    w.send(0xA0);
    w.stop();
    run(w);
    EXPECT_EQ(eeprom[base], 0x11) << large;
    for (int i = 0; i < 16; i++) ASSERT_EQ(eeprom[base + 1 + i], 0x20 + i) << large << " page byte " << i;
    for (int i = 0; i < 19; i++) EXPECT_EQ(recorded(i), 0) << large << " acknowledge " << i;

    eeprom[base + 17] = 0x5C;
    Bus r;  // current-address read: the byte after the page
    r.start();
    r.send(0xA1);
    r.receive(true);
    r.stop();
    // Random read through a repeated start, going on sequentially.
    r.start();
    r.send(0xA0);
    address(r, base);
    r.start();
    r.send(0xA1);
    for (int i = 0; i < 3; i++) r.receive(i == 2);
    r.stop();
    // Random read through an address-only write and a stop.
    r.start();
    r.send(0xA0);
    address(r, base + 16);
    r.stop();
    r.start();
    r.send(0xA1);
    r.receive(true);
    r.stop();
    run(r);
    const int reads = large ? 2 : 1;  // acknowledges recorded before each byte
    EXPECT_EQ(recorded_byte(1), 0x5C) << large;
    int at = 9 + 1 + reads + 1;
    EXPECT_EQ(recorded_byte(at), 0x11) << large;
    EXPECT_EQ(recorded_byte(at + 8), 0x20) << large;
    EXPECT_EQ(recorded_byte(at + 16), 0x21) << large;
    at += 24 + 1 + reads + 1;
    EXPECT_EQ(recorded_byte(at), 0x2F) << large;
    EXPECT_EQ(eeprom_state, 0);

    Bus again;  // a write right after a read is a write
    again.start();
    again.send(0xA0);
    address(again, base);
    again.send(0x99);
    again.stop();
    run(again);
    EXPECT_EQ(eeprom[base], 0x99) << large;
  }
}

// A small part can leave its address byte at 0xFF and a read under way; a
// large part loaded next starts from an idle bus, and no address reaches
// past the 32 KB.
TEST_F(Eeprom, LoadingAnImageIdlesTheBus) {
  load(false);
  Bus b;
  b.idle();
  b.start();
  b.send(0xA0);
  b.send(0xFF);
  b.start();
  b.send(0xA1);
  b.drive(CLK_HI);  // the first bit of the read is out
  run(b);
  ASSERT_EQ(eeprom_address_1, 0xFF);
  ASSERT_NE(eeprom_state, 0);
  load(true);
  EXPECT_EQ(eeprom_state, 0);
  EXPECT_EQ(eeprom_reading, 0);
  EXPECT_EQ(eeprom_address_1, 0);
  EXPECT_EQ(eeprom_address_2, 0);

  eeprom[0x7FFF] = 0x3C;
  eeprom_address_1 = eeprom_address_2 = 0xFFFF;  // damaged: still inside the array
  Bus r;
  r.start();
  r.send(0xA1);
  r.receive(true);
  r.stop();
  run(r);
  EXPECT_EQ(recorded_byte(1), 0x3C);
}

TEST_F(Eeprom, BlankSaveCreatedOnceAndReadBackByASecondLoad) {
  load(false);
  std::string save = home + "/Demo.bin";
  EXPECT_EQ(eeprom_modified, -1);
  for (int i = 0; i < 0x8000; i++) ASSERT_EQ(eeprom[i], 0xFF);
  machine_run_frames(1);  // the frame driver flushes at the frame's end
  EXPECT_EQ(eeprom_modified, 0);
  EXPECT_EQ(read_file(save), Bytes(0x8000, 0xFF));
  remove(save.c_str());
  eeprom_flush();  // nothing changed: no write
  EXPECT_TRUE(read_file(save).empty());

  Bus w;
  w.idle();
  w.start();
  w.send(0xA0);
  w.send(0x20);
  w.send(0x99);
  w.stop();
  run(w);
  eeprom_flush();
  Bytes saved = read_file(save);
  ASSERT_EQ(saved.size(), 0x8000u);
  EXPECT_EQ(saved[0x20], 0x99);

  memset(eeprom, 0, sizeof eeprom);
  load(false);
  EXPECT_EQ(eeprom_modified, 0);
  EXPECT_EQ(eeprom[0x20], 0x99);
  EXPECT_EQ(eeprom[0x21], 0xFF);
}

TEST_F(Eeprom, ShortSaveFileIsBlankBeyondItsEnd) {
  memset(eeprom, 0x00, sizeof eeprom);
  write_file(home + "/Demo.bin", Bytes(0x100, 0x42));
  load(false);
  EXPECT_EQ(eeprom[0xFF], 0x42);
  EXPECT_EQ(eeprom[0x100], 0xFF);
  EXPECT_EQ(eeprom[0x7FFF], 0xFF);
  EXPECT_EQ(eeprom_modified, 0);
}

// The save file is never the image itself nor any other file that is not a
// save: where ".bin" names one, "-save.bin" is used, and the file is left.
TEST_F(Eeprom, SaveNeverReplacesAFileThatIsNotASave) {
  const Bytes other_cart = [] { Bytes b(0x8000, 0x11); b[0] = 0x55; b[1] = 0xAA; return b; }();
  const struct { const char *image, *occupant; Bytes occupant_data; const char *save; } cases[] = {
    {"Game.bin", nullptr, {}, "Game-save.bin"},           // the image is its own ".bin"
    {"Game.rom", "Game.bin", other_cart, "Game-save.bin"},  // a 32 KB cartridge there
    {"Game.rom", "Game.bin", Bytes(0x8001, 0), "Game-save.bin"},
    {"Game.rom", "Game.bin", Bytes(0x8000, 0x42), "Game.bin"},  // a real save is used
  };
  for (const auto &c : cases) {
    home = private_home();
    if (c.occupant) write_file(home + "/" + c.occupant, c.occupant_data);
    load(false, c.image);
    Bytes image_before = read_file(home + "/" + c.image);
    machine_run_frames(1);  // the first frame end writes the save
    EXPECT_EQ(std::string(eeprom_filename), home + "/" + c.save) << c.image;
    EXPECT_EQ(read_file(home + "/" + c.save).size(), 0x8000u) << c.image;
    EXPECT_EQ(read_file(home + "/" + c.image), image_before) << c.image;
    if (c.occupant && strcmp(c.save, c.occupant) != 0) {
      EXPECT_EQ(read_file(home + "/" + c.occupant), c.occupant_data) << c.occupant;
    }
  }
  // Both names taken: the EEPROM works but is kept nowhere.
  home = private_home();
  mkdir((home + "/Game.bin").c_str(), 0755);
  mkdir((home + "/Game-save.bin").c_str(), 0755);
  load(false, "Game.rom");
  EXPECT_STREQ(eeprom_filename, "");
  EXPECT_EQ(eeprom[0], 0xFF);
}

TEST_F(Eeprom, FailedSaveIsRetriedAndKeepsThePreviousFile) {
  load(false);
  std::string dir = home + "/later";
  snprintf(eeprom_filename, sizeof eeprom_filename, "%s/Demo.bin", dir.c_str());
  eeprom[0] = 0x11;
  eeprom_flush();
  EXPECT_NE(eeprom_modified, 0);
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  eeprom_flush();
  EXPECT_EQ(eeprom_modified, 0);
  EXPECT_EQ(read_file(dir + "/Demo.bin")[0], 0x11);
  // A save that cannot be replaced stays as it was.
  std::string blocked = home + "/blocked";
  ASSERT_EQ(mkdir(blocked.c_str(), 0755), 0);
  write_file(blocked + "/keep", Bytes(1, 0));
  snprintf(eeprom_filename, sizeof eeprom_filename, "%s", blocked.c_str());
  eeprom_modified = 1;
  eeprom_flush();
  EXPECT_EQ(eeprom_modified, 1);
  EXPECT_EQ(read_file(blocked + "/keep").size(), 1u);
}

TEST_F(Eeprom, LoadingAnotherImageFlushesAPendingSave) {
  load(false);
  eeprom_flush();
  eeprom[5] = 0x55;
  eeprom_modified = 1;
  ASSERT_EQ(open_rom_file(write_file(home + "/other.rom", Bytes(0x4000, 0)).c_str()), 0);
  EXPECT_EQ(read_file(home + "/Demo.bin")[5], 0x55);
  EXPECT_EQ(eeprom_modified, 0);
}

}  // namespace
