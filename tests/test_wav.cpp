// WAV recorder: header, sample layout, patched sizes, read back by soxi.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "support/harness.h"
#include "video/present.h"

namespace {

uint32_t u32(const std::vector<uint8_t> &d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | (uint32_t)d[at + 3] << 24;
}

bool have_soxi(void) { return system("soxi --version >/dev/null 2>&1") == 0 || system("command -v soxi >/dev/null 2>&1") == 0; }

std::string soxi(const std::string &option, const std::string &path) {
  std::string out;
  FILE *p = popen(("soxi " + option + " '" + path + "' 2>/dev/null").c_str(), "r");
  char buf[256];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  if (p) pclose(p);
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string start(const std::string &name) {
  std::string path = private_home() + "/" + name;
  FILE *f = fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  wav_start(f);
  return path;
}

TEST(Wav, RecordingStoppedAtOnceIsAnEmptyValidFile) {
  std::string path = start("audio001.wav");
  end_sound_recording();
  EXPECT_EQ(sound_file, nullptr);
  std::vector<uint8_t> d = read_file(path);
  ASSERT_EQ(d.size(), 44u);
  EXPECT_EQ(memcmp(d.data(), "RIFF", 4), 0);
  EXPECT_EQ(u32(d, 4), 36u);
  EXPECT_EQ(memcmp(d.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(u32(d, 16), 16u);
  EXPECT_EQ(u32(d, 20), 1u | 2u << 16);          // PCM, 2 channels
  EXPECT_EQ(u32(d, 24), 44100u);
  EXPECT_EQ(u32(d, 28), 176400u);
  EXPECT_EQ(u32(d, 32), 4u | 16u << 16);         // frame size, bits
  EXPECT_EQ(memcmp(d.data() + 36, "data", 4), 0);
  EXPECT_EQ(u32(d, 40), 0u);
  if (!have_soxi()) GTEST_SKIP() << "soxi (package sox) is not installed";
  EXPECT_EQ(soxi("-s", path), "0");
}

TEST(Wav, BlocksAreWrittenAsStereoFramesAndReadBackBySoxi) {
  std::string path = start("audio002.wav");
  int16_t block[440];
  for (int i = 0; i < 440; i++) block[i] = (int16_t)(i * 149 - 30000);
  block[1] = -1;
  block[2] = 0x1234;
  wav_append(block, 440);
  block[0] = 32767;
  wav_append(block, 440);
  end_sound_recording();
  std::vector<uint8_t> d = read_file(path);
  ASSERT_EQ(d.size(), 44u + 2 * 1760);
  EXPECT_EQ(u32(d, 4), d.size() - 8);
  EXPECT_EQ(u32(d, 40), 3520u);
  const uint8_t one[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0x34, 0x12};
  EXPECT_EQ(memcmp(d.data() + 44 + 4, one, 8), 0);
  const uint8_t max[4] = {0xFF, 0x7F, 0xFF, 0x7F};
  EXPECT_EQ(memcmp(d.data() + 44 + 1760, max, 4), 0);
  if (!have_soxi()) GTEST_SKIP() << "soxi (package sox) is not installed";
  EXPECT_EQ(soxi("-r", path), "44100");
  EXPECT_EQ(soxi("-c", path), "2");
  EXPECT_EQ(soxi("-b", path), "16");
  EXPECT_EQ(soxi("-s", path), "880");
  EXPECT_EQ(soxi("-e", path), "Signed Integer PCM");
}

// A full disk: the recording stops and says so, and the file keeps its
// whole blocks with sizes that match them. A file that takes no byte at all
// is given up at the start.
#ifndef _WIN32  // a full disk is made with a POSIX file size limit
TEST(Wav, AFullDiskStopsTheRecordingWithMatchingSizes) {
  std::string path = start("audio003.wav");
  record_sound = 1;
  recording_failed = 0;
  int16_t block[440];
  for (int i = 0; i < 440; i++) block[i] = (int16_t)(i * 70);
  {
    FileSizeLimit disk(44 + 1760 * 10 + 1000);
    for (int i = 0; i < 20; i++) wav_append(block, 440);
  }
  EXPECT_EQ(sound_file, nullptr);
  EXPECT_EQ(record_sound, 0);
  EXPECT_EQ(recording_failed, 1);
  EXPECT_STREQ(current_message, "Sound recording stopped: write failed");
  end_sound_recording();
  std::vector<uint8_t> d = read_file(path);
  ASSERT_EQ(d.size(), 44u + 1760 * 10);
  EXPECT_EQ(u32(d, 4), d.size() - 8);
  EXPECT_EQ(u32(d, 40), 17600u);
  EXPECT_EQ(memcmp(d.data() + d.size() - 4, "\x0A\x78\x0A\x78", 4), 0);  // sample 439 twice

  recording_failed = 0;
  wav_start(fopen("/dev/full", "wb"));
  EXPECT_EQ(sound_file, nullptr);
  EXPECT_EQ(recording_failed, 1);
  if (!have_soxi()) GTEST_SKIP() << "soxi (package sox) is not installed";
  EXPECT_EQ(soxi("-s", path), "4400");
}
#endif

TEST(Wav, NothingIsWrittenWithoutAnOpenFile) {
  wav_start(nullptr);
  EXPECT_EQ(sound_file, nullptr);
  int16_t block[440] = {};
  wav_append(block, 440);
  end_sound_recording();
  EXPECT_EQ(sound_file, nullptr);
}

}  // namespace
