// The Adam device service driven directly: control blocks placed in RAM,
// one adam_service() call per frame.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "adam/adamnet.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "support/harness.h"

namespace {

const int PCB = 0xFEC0;
const int BUF = 0x8000;

int dcb_addr(int n, int pcb = PCB) { return pcb + 4 + 21 * n; }

class AdamNet : public ::testing::Test {
 protected:
  std::vector<std::string> files;

  void SetUp() override {
    // Plain RAM everywhere, so buffer bytes land where the CPU would see them.
    for (int p = 0; p < 64; p++) {
      map_page(map1, p, internal_ram, p * 1024);
      map_page(map2, p, internal_ram, p * 1024);
    }
    nmi_use = 2;
    megacart_mapper = 0;
    memset(internal_ram, 0, sizeof internal_ram);
    memset(adam_status, 0, sizeof adam_status);
    memset(adam_keyboard, 0, sizeof adam_keyboard);
    adam_slow = 0;
    adam_fast = 1;
    pcb_adam = PCB;
    tape1 = nullptr;
    disk1 = nullptr;
  }

  void TearDown() override {
    if (tape1) fclose(tape1);
    if (disk1) fclose(disk1);
    tape1 = disk1 = nullptr;
    for (auto &f : files) remove(f.c_str());
  }

  // A host image whose 512-byte file sectors are each filled with their index.
  FILE *make_image(int sectors, std::string *path_out = nullptr) {
    char tmpl[] = "/tmp/tervox-adamnet-XXXXXX";
    int fd = mkstemp(tmpl);
    EXPECT_GE(fd, 0);
    close(fd);
    files.push_back(tmpl);
    FILE *f = fopen(tmpl, "w+b");
    for (int s = 0; s < sectors; s++) {
      std::vector<uint8_t> sec(512, (uint8_t)s);
      fwrite(sec.data(), 1, sec.size(), f);
    }
    fflush(f);
    if (path_out) *path_out = tmpl;
    return f;
  }

  void set_dcb(int d, int dev, int command, int32_t block = 0, int buf = BUF, int len = 1024) {
    internal_ram[d + 16] = (uint8_t)dev;
    internal_ram[d + 1] = buf & 0xFF;
    internal_ram[d + 2] = (uint8_t)(buf >> 8);
    internal_ram[d + 3] = len & 0xFF;
    internal_ram[d + 4] = (uint8_t)(len >> 8);
    uint32_t b = (uint32_t)block;
    for (int i = 0; i < 4; i++) internal_ram[d + 5 + i] = (uint8_t)(b >> (8 * i));
    internal_ram[d] = (uint8_t)command;
  }

  // Frames until byte 0 of the DCB shows a completion code (>= 0x80).
  int frames_to_complete(int d, int limit = 200) {
    for (int f = 1; f <= limit; f++) {
      adam_service();
      if (internal_ram[d] >= 0x80) return f;
    }
    return -1;
  }
};

TEST_F(AdamNet, DiskBlocksFollowTheInterleave) {
  disk1 = make_image(320);
  const int cases[][3] = {{0, 0, 5}, {3, 6, 3}, {4, 8, 13}, {159, 318 & 0xFF, 315 & 0xFF}};
  for (auto &c : cases) {
    int d = dcb_addr(2);
    set_dcb(d, 4, 4, c[0]);
    adam_service();
    ASSERT_EQ(internal_ram[d], 0x80) << "block " << c[0];
    EXPECT_EQ(internal_ram[d + 20], 0);
    EXPECT_EQ(internal_ram[BUF], c[1]) << "block " << c[0];
    EXPECT_EQ(internal_ram[BUF + 511], c[1]);
    EXPECT_EQ(internal_ram[BUF + 512], c[2]) << "block " << c[0];
    EXPECT_EQ(internal_ram[BUF + 1023], c[2]);
  }
}

TEST_F(AdamNet, SlowTransfersComplete43FramesApartAndFastOnesEveryFrame) {
  tape1 = make_image(512);
  adam_fast = 0;
  int d = dcb_addr(4);
  // Put the divider at some arbitrary point of its cycle.
  for (int i = 0; i < 17; i++) adam_service();
  set_dcb(d, 8, 4, 1);
  int first = frames_to_complete(d);
  EXPECT_GE(first, 1);
  EXPECT_LE(first, 43);
  EXPECT_EQ(internal_ram[BUF], 2);
  for (int i = 0; i < 3; i++) {
    set_dcb(d, 8, 4, 2 + i);
    EXPECT_EQ(frames_to_complete(d), 43);
    EXPECT_EQ(internal_ram[BUF], 2 * (2 + i));
  }
  adam_fast = 1;
  for (int i = 0; i < 3; i++) {
    set_dcb(d, 8, 4, 10 + i);
    EXPECT_EQ(frames_to_complete(d), 1);
    EXPECT_EQ(internal_ram[BUF + 1023], 2 * (10 + i) + 1);
  }
}

TEST_F(AdamNet, HeldTransferShowsInProgress) {
  tape1 = make_image(512);
  adam_fast = 0;
  adam_slow = 0;
  int d = dcb_addr(4);
  set_dcb(d, 8, 4, 1);
  adam_service();  // divider now at 1: held
  EXPECT_EQ(internal_ram[d], 0);
  EXPECT_EQ(adam_status[8], 4);
  for (int i = 0; i < 41; i++) adam_service();  // frame 42 of the divider
  EXPECT_EQ(internal_ram[d], 0);
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(adam_status[8], 0);
}

TEST_F(AdamNet, KeyboardReadOfFourWithTwoKeysEndsEarly) {
  adam_keyboard[0] = ~'h' & 0xFF;
  adam_keyboard[1] = ~'i' & 0xFF;
  int d = dcb_addr(0);
  memset(internal_ram + BUF, 0xAA, 8);
  set_dcb(d, 1, 4, 0, BUF, 4);
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x8C);
  EXPECT_EQ(internal_ram[BUF], 'h');
  EXPECT_EQ(internal_ram[BUF + 1], 'i');
  EXPECT_EQ(internal_ram[BUF + 2], 0);
  EXPECT_EQ(internal_ram[BUF + 3], 0xAA);
  for (int i = 0; i < 16; i++) EXPECT_EQ(adam_keyboard[i], 0);
  EXPECT_EQ(adam_status[1], 0);

  // A full read takes exactly its length and leaves the rest queued.
  for (int i = 0; i < 16; i++) adam_keyboard[i] = ~(0x40 + i) & 0xFF;
  set_dcb(d, 1, 4, 0, BUF, 2);
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(internal_ram[BUF], 0x40);
  EXPECT_EQ(internal_ram[BUF + 1], 0x41);
  EXPECT_EQ(adam_keyboard[0], ~0x42 & 0xFF);
  EXPECT_EQ(adam_keyboard[13], ~0x4F & 0xFF);
  EXPECT_EQ(adam_keyboard[14], 0);

  set_dcb(d, 1, 4, 0, BUF, 0);
  internal_ram[BUF] = 0x55;
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(internal_ram[BUF], 0x55);
}

// A read with no key typed waits for one (a program may issue it once and
// wait); a command written over it replaces it.
TEST_F(AdamNet, KeyboardReadWaitsForAKey) {
  int d = dcb_addr(0);
  set_dcb(d, 1, 4, 0, BUF, 1);
  for (int i = 0; i < 300; i++) adam_service();
  EXPECT_EQ(internal_ram[d], 0);
  EXPECT_EQ(adam_status[1], 4);
  adam_keyboard[0] = ~'k' & 0xFF;
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(internal_ram[BUF], 'k');
  EXPECT_EQ(adam_status[1], 0);

  set_dcb(d, 1, 4, 0, BUF, 1);
  adam_service();
  ASSERT_EQ(adam_status[1], 4);
  internal_ram[d] = 1;  // a status request instead
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(adam_status[1], 0);
}

TEST_F(AdamNet, ResetEndsAPendingRead) {
  int d = dcb_addr(6);
  set_dcb(d, 3, 4);  // device 3 never answers a read
  for (int i = 0; i < 50; i++) adam_service();
  EXPECT_EQ(internal_ram[d], 0);
  EXPECT_EQ(adam_status[3], 4);
  internal_ram[d] = 2;
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(adam_status[3], 0);

  // The same for a disk read held by the slow divider.
  disk1 = make_image(320);
  adam_fast = 0;
  adam_slow = 0;
  d = dcb_addr(2);
  set_dcb(d, 4, 4, 1);
  adam_service();
  ASSERT_EQ(adam_status[4], 4);
  internal_ram[d] = 2;
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(adam_status[4], 0);
}

TEST_F(AdamNet, PcbCommands) {
  adam_status[4] = 4;
  adam_status[8] = 3;
  internal_ram[PCB] = 1;
  adam_service();
  EXPECT_EQ(internal_ram[PCB], 0x81);
  for (int i = 0; i < 16; i++) EXPECT_EQ(adam_status[i], 0);

  internal_ram[PCB] = 2;
  adam_service();
  EXPECT_EQ(internal_ram[PCB], 0x82);

  // Moved, and the DCBs at the new place are served in the same frame.
  internal_ram[PCB] = 3;
  internal_ram[PCB + 1] = 0x00;
  internal_ram[PCB + 2] = 0xFD;
  int d = dcb_addr(0, 0xFD00);
  set_dcb(d, 2, 1);
  set_dcb(dcb_addr(0), 1, 1);  // left behind at the old place
  adam_service();
  EXPECT_EQ(pcb_adam, 0xFD00);
  EXPECT_EQ(internal_ram[PCB], 0x83);
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(internal_ram[dcb_addr(0)], 1);
}

TEST_F(AdamNet, BlocksOutOfRangeFail) {
  disk1 = make_image(320);
  tape1 = make_image(512);
  const int32_t disk_bad[] = {160, -1, (int32_t)0x80000000};
  for (int32_t b : disk_bad) {
    int d = dcb_addr(2);
    internal_ram[d + 20] = 0;
    set_dcb(d, 4, 4, b);
    adam_service();
    EXPECT_EQ(internal_ram[d], 0x81) << b;
    EXPECT_EQ(internal_ram[d + 20], 2) << b;
    set_dcb(d, 4, 3, b);
    adam_service();
    EXPECT_EQ(internal_ram[d], 0x81) << b;
  }
  const int32_t tape_bad[] = {256, -1, -256};
  for (int32_t b : tape_bad) {
    int d = dcb_addr(4);
    internal_ram[d + 20] = 0x30;
    set_dcb(d, 8, 4, b);
    adam_service();
    EXPECT_EQ(internal_ram[d], 0x81) << b;
    EXPECT_EQ(internal_ram[d + 20], 0x32) << b;
  }
  // The last good blocks still work, and a good transfer clears the state.
  int d = dcb_addr(4);
  set_dcb(d, 8, 4, 255);
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(internal_ram[d + 20], 0x30);
  EXPECT_EQ(internal_ram[BUF], 510 & 0xFF);  // sector index, truncated to a byte
}

TEST_F(AdamNet, StatusAnswersByDevice) {
  disk1 = make_image(320);
  const int devs[] = {1, 2, 3, 4, 5, 8, 9};
  for (int i = 0; i < 7; i++) set_dcb(dcb_addr(i), devs[i], 1);
  adam_service();
  EXPECT_EQ(internal_ram[dcb_addr(0)], 0x80);
  EXPECT_EQ(internal_ram[dcb_addr(1)], 0x80);
  EXPECT_EQ(internal_ram[dcb_addr(2)], 0x81);
  int disk = dcb_addr(3), disk2 = dcb_addr(4), tape = dcb_addr(5);
  EXPECT_EQ(internal_ram[disk], 0x80);
  EXPECT_EQ(internal_ram[disk + 17], 0x00);
  EXPECT_EQ(internal_ram[disk + 18], 0x04);
  EXPECT_EQ(internal_ram[disk + 20], 0);
  EXPECT_EQ(internal_ram[disk2], 0x80);
  EXPECT_EQ(internal_ram[disk2 + 18], 0x04);
  EXPECT_EQ(internal_ram[disk2 + 20], 3);
  EXPECT_EQ(internal_ram[tape], 0x80);
  EXPECT_EQ(internal_ram[tape + 18], 0x04);
  EXPECT_EQ(internal_ram[tape + 20], 0x33);  // no tape attached
  EXPECT_EQ(internal_ram[dcb_addr(6)], 0x81);

  // Unused DCBs (device 0 or above 15) are left alone.
  set_dcb(dcb_addr(7), 0, 1);
  set_dcb(dcb_addr(8), 16, 1);
  adam_service();
  EXPECT_EQ(internal_ram[dcb_addr(7)], 1);
  EXPECT_EQ(internal_ram[dcb_addr(8)], 1);
}

TEST_F(AdamNet, DevicesThatRefuse) {
  struct Case { int dev, command, code, state; } cases[] = {
      {1, 3, 0x9B, -1},  // keyboard write
      {2, 4, 0x9B, -1},  // printer read
      {2, 3, 0x80, -1},  // printer write: accepted and discarded
      {5, 4, 0x81, 2},   // second disk: never there
      {5, 3, 0x81, 2},
      {4, 4, 0x81, 2},   // disk with no image attached
      {4, 3, 0x81, 2},
      {8, 4, 0x81, 0x32},  // tape with no image attached
      {8, 3, 0x81, 0x32},
  };
  for (auto &c : cases) {
    int d = dcb_addr(1);
    internal_ram[d + 20] = c.dev == 8 ? 0x30 : 0;
    internal_ram[BUF] = 0x5A;
    set_dcb(d, c.dev, c.command);
    adam_service();
    EXPECT_EQ(internal_ram[d], c.code) << c.dev << "/" << c.command;
    if (c.state >= 0) {
      EXPECT_EQ(internal_ram[d + 20], c.state) << c.dev << "/" << c.command;
    }
    EXPECT_EQ(internal_ram[BUF], 0x5A);
    EXPECT_EQ(adam_status[c.dev], 0);
  }
  // Tape unit other than the first.
  tape1 = make_image(512);
  int d = dcb_addr(1);
  set_dcb(d, 8, 4, 1);
  internal_ram[d + 9] = 1;
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x81);
  EXPECT_EQ(internal_ram[BUF], 0x5A);
}

TEST_F(AdamNet, EveryWrittenBlockReachesTheHostFile) {
  std::string tape_path, disk_path;
  tape1 = make_image(512, &tape_path);
  disk1 = make_image(320, &disk_path);
  for (int i = 0; i < 1024; i++) internal_ram[BUF + i] = (uint8_t)(i * 7 + 1);
  int dt = dcb_addr(4), dd = dcb_addr(2);
  set_dcb(dt, 8, 3, 7);
  set_dcb(dd, 4, 3, 3);
  adam_service();
  ASSERT_EQ(internal_ram[dt], 0x80);
  ASSERT_EQ(internal_ram[dd], 0x80);

  // Read through another handle while the images are still open.
  std::vector<uint8_t> t = read_file(tape_path), k = read_file(disk_path);
  ASSERT_EQ(t.size(), 512u * 512);
  for (int i = 0; i < 1024; i++) ASSERT_EQ(t[7 * 1024 + i], (uint8_t)(i * 7 + 1)) << i;
  EXPECT_EQ(t[7 * 1024 - 1], 13);
  EXPECT_EQ(t[8 * 1024], 16);
  // Disk block 3: sectors 6 and 7 at file sectors 6 and 3.
  for (int i = 0; i < 512; i++) {
    ASSERT_EQ(k[6 * 512 + i], (uint8_t)(i * 7 + 1)) << i;
    ASSERT_EQ(k[3 * 512 + i], (uint8_t)((i + 512) * 7 + 1)) << i;
  }
  EXPECT_EQ(k[7 * 512], 7);

  // Written data reads back through the service.
  memset(internal_ram + BUF, 0, 1024);
  set_dcb(dd, 4, 4, 3);
  adam_service();
  for (int i = 0; i < 1024; i++) ASSERT_EQ(internal_ram[BUF + i], (uint8_t)(i * 7 + 1)) << i;
}

TEST_F(AdamNet, BytesBeyondTheImageReadAsZeros) {
  tape1 = make_image(3);  // 1.5 KB
  memset(internal_ram + BUF, 0xAA, 1024);
  int d = dcb_addr(4);
  set_dcb(d, 8, 4, 1);
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(internal_ram[BUF], 2);
  EXPECT_EQ(internal_ram[BUF + 511], 2);
  EXPECT_EQ(internal_ram[BUF + 512], 0);
  EXPECT_EQ(internal_ram[BUF + 1023], 0);

  // An empty disk image reads zeros everywhere.
  disk1 = make_image(0);
  memset(internal_ram + BUF, 0xAA, 1024);
  d = dcb_addr(2);
  set_dcb(d, 4, 4, 100);
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  for (int i = 0; i < 1024; i++) ASSERT_EQ(internal_ram[BUF + i], 0) << i;
}

TEST_F(AdamNet, BuffersGoThroughTheCpuMapAndWrap) {
  tape1 = make_image(512);
  // Top page read-only: a block read there must not change the backing RAM.
  map_page(map2, 63, null, 0);
  pcb_adam = 0x4000;  // keep the control blocks out of the way
  int d = dcb_addr(4, 0x4000);
  set_dcb(d, 8, 4, 4, 0xFE00);
  adam_service();
  EXPECT_EQ(internal_ram[d], 0x80);
  EXPECT_EQ(internal_ram[0xFE00], 0);   // sink
  EXPECT_EQ(internal_ram[0x0000], 9);   // wrapped past 0xFFFF: second half
  EXPECT_EQ(internal_ram[0x01FF], 9);
  EXPECT_EQ(internal_ram[0x0200], 0);
}

TEST_F(AdamNet, PcbAtTheTopStaysInTheIntrinsicRam) {
  pcb_adam = 0xFFF0;
  internal_ram[0xFFF0] = 1;
  adam_service();
  EXPECT_EQ(internal_ram[0xFFF0], 0x81);
  for (int i = 0x10000; i < 0x10200; i++) ASSERT_EQ(internal_ram[i], 0) << i;
}

}  // namespace
