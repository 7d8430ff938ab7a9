// Snapshots of the running machine: page tags of the real layouts, a mode
// switch by restoring, and a restored game that goes on exactly as the
// uninterrupted one, checked in a separate process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
extern char **environ;
#endif

#include "capture/capture.h"
#include "core/machine.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "support/harness.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

// Runs this test program again, only the child test, with
// TERVOX_SNAPSHOT_CHILD set to dir; its exit status.
int run_child(const std::string &dir) {
  std::string filter = "--gtest_filter=SnapshotMachine.ContinuationChild";
#ifdef _WIN32
  char self[MAX_PATH];
  if (GetModuleFileNameA(nullptr, self, sizeof self) == 0) return -1;
  _putenv_s("TERVOX_SNAPSHOT_CHILD", dir.c_str());
  const char *argv[] = {self, filter.c_str(), nullptr};
  intptr_t status = _spawnv(_P_WAIT, self, argv);
  _putenv_s("TERVOX_SNAPSHOT_CHILD", "");
  return (int)status;
#else
  std::string self = "/proc/self/exe";
  std::string env = "TERVOX_SNAPSHOT_CHILD=" + dir;
  std::vector<char *> envp;
  for (char **e = environ; *e; e++) envp.push_back(*e);
  envp.push_back(&env[0]);
  envp.push_back(nullptr);
  char *argv[] = {&self[0], &filter[0], nullptr};
  pid_t pid;
  int status = 0;
  if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0 || waitpid(pid, &status, 0) != pid)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

const size_t MAPS = 147816;

struct Entry {
  uint32_t tag, offset;
};
Entry entry(const std::vector<uint8_t> &d, int table, int page) {
  uint64_t v;
  memcpy(&v, &d[MAPS + (size_t)table * 512 + (size_t)page * 8], 8);
  return {(uint32_t)(v >> 28), (uint32_t)(v & 0x0FFFFFFF)};
}
bool operator==(Entry a, Entry b) { return a.tag == b.tag && a.offset == b.offset; }
std::ostream &operator<<(std::ostream &o, Entry e) { return o << "tag " << e.tag << " offset " << e.offset; }

std::vector<uint8_t> saved(const std::string &path) {
  EXPECT_EQ(save_snapshot(path.c_str()), 0);
  return read_file(path);
}

TEST(SnapshotMachine, ConsoleResetPagesCarryTheirTags) {
  std::string slot = private_home() + "/slot.bin";
  std::vector<uint8_t> cart = test_program("e2e_cart");
  ASSERT_FALSE(cart.empty());
  machine_load_cartridge(cart);
  std::vector<uint8_t> d = saved(slot);
  ASSERT_EQ(d.size(), 149872u);
  for (int p = 0; p < 64; p++) {
    Entry read = entry(d, 0, p), write = entry(d, 1, p);
    if (p < 8) EXPECT_EQ(read, (Entry{1, (uint32_t)p * 1024})) << p;
    else if (p < 24) EXPECT_EQ(read, (Entry{3, 1024})) << p;
    else if (p < 32) EXPECT_EQ(read, (Entry{2, 0})) << p;
    else EXPECT_EQ(read, (Entry{0, (uint32_t)(p - 32) * 1024})) << p;
    if (p >= 24 && p < 32) EXPECT_EQ(write, (Entry{2, 0})) << p;
    else EXPECT_EQ(write, (Entry{3, 0})) << p;
  }
}

TEST(SnapshotMachine, AdamFirmwarePagesAreRestoredIntoTheFirmware) {
  std::string slot = private_home() + "/slot.bin";
  machine_fresh();
  nmi_use = 2;
  init_peripheral(0);
  adam_rom_enable(0x02);  // operating system at 0x6000-0x7FFF
  std::vector<uint8_t> d = saved(slot);
  for (int p = 0; p < 32; p++) {
    if (p < 24) EXPECT_EQ(entry(d, 0, p), (Entry{4, (uint32_t)p * 1024})) << p;
    else EXPECT_EQ(entry(d, 0, p), (Entry{5, (uint32_t)(p - 24) * 1024})) << p;
  }
  std::vector<uint8_t *> tables(map1, map1 + 64);
  tables.insert(tables.end(), map2, map2 + 64);

  // Restoring over a console switches the machine to Adam mode.
  machine_fresh();
  ASSERT_EQ(nmi_use, 1);
  ASSERT_EQ(read_snapshot(slot.c_str()), 0);
  EXPECT_EQ(nmi_use, 2);
  EXPECT_EQ(map_adam, 0x10);
  for (int p = 0; p < 64; p++) {
    EXPECT_EQ(map1[p], tables[p]) << p;
    EXPECT_EQ(map2[p], tables[64 + p]) << p;
  }
  EXPECT_EQ(memory_read(0x0000), wp_rom[0]);
  EXPECT_EQ(memory_read(0x7FFF), eos_rom[0x1FFF]);
}

TEST(SnapshotMachine, MegaCartBankComesBackWithTheTables) {
  std::string slot = private_home() + "/slot.bin";
  std::vector<uint8_t> image(0x20000);
  for (size_t i = 0; i < image.size(); i++) image[i] = (uint8_t)(i >> 14);  // bank number
  image[0x1C000] = 0x55;  // header in the last bank, seen at 0x8000
  image[0x1C001] = 0xAA;
  machine_load_cartridge(image);
  nmi_use = 1;
  megacart = 0x1FFFF;
  init_peripheral(0);
  ASSERT_EQ(memory_read(0x8002), 7);
  memory_read(0xFFC5);
  ASSERT_EQ(memory_read(0xC000), 5);
  ASSERT_EQ(save_snapshot(slot.c_str()), 0);
  memory_read(0xFFC2);
  ASSERT_EQ(memory_read(0xC000), 2);
  ASSERT_EQ(read_snapshot(slot.c_str()), 0);
  EXPECT_EQ(memory_read(0xC000), 5);
  EXPECT_EQ(memory_read(0xBFFF), 7);
}

// ---- continuation in a fresh process

const int AFTER = 60;  // frames compared after the snapshot

std::vector<uint32_t> frame_pixels(void) { return std::vector<uint32_t>(image, image + 256 * 192); }

// Runs AFTER frames with the WAV recorder on; writes the frames to out.
void continue_and_record(const std::string &frames_out, const std::string &wav_out) {
  FILE *w = fopen(wav_out.c_str(), "wb");
  ASSERT_NE(w, nullptr);
  wav_start(w);
  FILE *f = fopen(frames_out.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  for (int i = 0; i < AFTER; i++) {
    machine_run_frames(1);
    std::vector<uint32_t> px = frame_pixels();
    fwrite(px.data(), 4, px.size(), f);
  }
  fclose(f);
  end_sound_recording();
}


// The half that runs in the fresh process: the same game loaded and run a
// while elsewhere, then the snapshot restored.
TEST(SnapshotMachine, ContinuationChild) {
  const char *dir = getenv("TERVOX_SNAPSHOT_CHILD");
  if (dir == nullptr) GTEST_SKIP() << "runs only as the second process of RestoredGameContinuesExactlyInAFreshProcess";
  std::string d = dir;
  machine_load_cartridge(test_program("snapshot_motion"));
  machine_run_frames(37);
  ASSERT_EQ(read_snapshot((d + "/slot.bin").c_str()), 0);
  continue_and_record(d + "/restored.frames", d + "/restored.wav");
}

TEST(SnapshotMachine, RestoredGameContinuesExactlyInAFreshProcess) {
  std::string dir = private_home();
  std::vector<uint8_t> cart = test_program("snapshot_motion");
  ASSERT_FALSE(cart.empty());
  machine_load_cartridge(cart);
  machine_run_frames(100);
  ASSERT_EQ(sgm_active, 2);
  ASSERT_EQ(save_snapshot((dir + "/slot.bin").c_str()), 0);
  continue_and_record(dir + "/straight.frames", dir + "/straight.wav");

  ASSERT_EQ(run_child(dir), 0);

  std::vector<uint8_t> a = read_file(dir + "/straight.frames"), b = read_file(dir + "/restored.frames");
  ASSERT_EQ(a.size(), (size_t)AFTER * 256 * 192 * 4);
  ASSERT_EQ(b.size(), a.size());
  const size_t frame = 256 * 192 * 4;
  for (int i = 0; i < AFTER; i++)
    ASSERT_EQ(memcmp(&a[i * frame], &b[i * frame], frame), 0) << "frame " << i;
  bool moving = false;
  for (int i = 1; i < AFTER && !moving; i++) moving = memcmp(&a[0], &a[i * frame], frame) != 0;
  EXPECT_TRUE(moving) << "the compared frames should not all be the same picture";
  std::vector<uint8_t> sa = read_file(dir + "/straight.wav"), sb = read_file(dir + "/restored.wav");
  ASSERT_GT(sa.size(), 44u + 1760 * 50);
  bool sounding = false;
  for (size_t i = 46; i < sa.size() && !sounding; i += 2) sounding = sa[i] != sa[44] || sa[i + 1] != sa[45];
  EXPECT_TRUE(sounding) << "the compared sound should not be constant";
  EXPECT_TRUE(sa == sb) << "samples differ";
}

}  // namespace
