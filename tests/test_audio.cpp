// The audio ring between the emulation and the audio callback, and pacing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "core/machine.h"
#include "host/sdl.h"
#include "sound/psg.h"
#include "support/posix.h"
#include "video/vdp.h"

namespace {

// One block through the pacing wait, with no events to poll.
void push(const int16_t *block) { audio_push_block(block, [] {}, &quit); }

typedef std::chrono::steady_clock test_clock;

double seconds_since(test_clock::time_point start) {
  return std::chrono::duration<double>(test_clock::now() - start).count();
}

void block_of(int16_t *block, int first) {
  for (int i = 0; i < 440; i++) block[i] = (int16_t)(first + i);
}

}  // namespace

TEST(Audio, BlockStraddlingTheEndOfTheRing) {
  audio_reset_ring();
  audio_write_pos = audio_read_pos = 65536 - 400;
  int16_t block[440];
  block_of(block, 1);
  audio_ring_write(block);
  EXPECT_EQ(audio_write_pos, 480);
  EXPECT_EQ(audio_bytes_written.load(), 880u);
  EXPECT_EQ(memcmp(megabuffer + 65136, block, 400), 0);
  EXPECT_EQ(memcmp(megabuffer, reinterpret_cast<uint8_t *>(block) + 400, 480), 0);

  uint8_t out[880];
  fill_audio(nullptr, out, 880);
  EXPECT_EQ(memcmp(out, block, 880), 0);
  EXPECT_EQ(audio_read_pos, 480);
  EXPECT_EQ(audio_bytes_read.load(), 880u);
  EXPECT_EQ(audio_unplayed(), 0u);
}

TEST(Audio, ShortRingPlaysSilenceAndConsumesNothing) {
  audio_reset_ring();
  audio_bytes_written.store(1000);
  audio_write_pos = 1000;
  memset(megabuffer, 0x55, 1000);
  uint8_t out[1024];
  memset(out, 0xAA, sizeof out);
  fill_audio(nullptr, out, 1024);
  for (uint8_t b : out) ASSERT_EQ(b, 0);
  EXPECT_EQ(audio_bytes_read.load(), 0u);
  EXPECT_EQ(audio_read_pos, 0);
  // Exactly enough is played whole.
  audio_bytes_written.store(1024);
  fill_audio(nullptr, out, 1024);
  EXPECT_EQ(out[999], 0x55);
  EXPECT_EQ(audio_bytes_read.load(), 1024u);
  EXPECT_EQ(audio_read_pos, 1024);
}

TEST(Audio, TotalsWrapAroundTwoToThe32) {
  audio_reset_ring();
  audio_bytes_written.store(0xFFFFFE00u);
  audio_bytes_read.store(0xFFFFFE00u);
  int16_t block[440];
  block_of(block, 100);
  audio_ring_write(block);
  audio_ring_write(block);
  EXPECT_EQ(audio_bytes_written.load(), 0xFFFFFE00u + 1760u);  // wrapped past zero
  EXPECT_EQ(audio_unplayed(), 1760u);
  uint8_t out[1024];
  fill_audio(nullptr, out, 1024);
  EXPECT_EQ(memcmp(out, block, 880), 0);
  EXPECT_EQ(audio_unplayed(), 736u);
  fill_audio(nullptr, out, 1024);  // 736 left: silence
  EXPECT_EQ(audio_unplayed(), 736u);
}

TEST(Audio, ReopeningEmptiesTheRing) {
  int16_t block[440];
  block_of(block, 1);
  audio_ring_write(block);
  audio_write_pos = 5000;
  EXPECT_EQ(audio_open(), 1);  // the null host has no device
  EXPECT_EQ(audio, 0u);
  EXPECT_EQ(audio_write_pos, 0);
  EXPECT_EQ(audio_read_pos, 0);
  EXPECT_EQ(audio_bytes_written.load(), 0u);
  EXPECT_EQ(audio_bytes_read.load(), 0u);
  audio_close();
}

// The callback on its own thread against the producer, as SDL runs them.
// Every sample is checked in order; ThreadSanitizer builds check the
// ordering of the ring's bytes against the totals.
TEST(Audio, ProducerAndCallbackOnTwoThreads) {
  audio_reset_ring();
  const int blocks = 1280;  // 1100 callback requests of 1024 bytes
  const uint32_t total = blocks * 880u;
  std::thread producer([&] {
    int16_t block[440];
    int next = 0;
    for (int b = 0; b < blocks; b++) {
      while (audio_unplayed() > 1759) std::this_thread::yield();
      for (int i = 0; i < 440; i++, next++) block[i] = (int16_t)(next % 30000 + 1);
      audio_ring_write(block);
    }
  });
  uint32_t consumed = 0;
  int expected = 0, silent = 0, bad = 0;
  while (consumed < total) {
    int16_t out[512];
    fill_audio(nullptr, reinterpret_cast<uint8_t *>(out), 1024);
    if (out[0] == 0) {
      for (int16_t s : out) bad += s != 0;
      silent++;
      std::this_thread::yield();
      continue;
    }
    for (int16_t s : out) {
      bad += s != (int16_t)(expected % 30000 + 1);
      expected++;
    }
    consumed += 1024;
  }
  producer.join();
  EXPECT_EQ(bad, 0);
  EXPECT_EQ(audio_bytes_read.load(), total);
  EXPECT_EQ(audio_unplayed(), 0u);
}

TEST(Audio, WithoutPacingNothingWaits) {
  audio_reset_ring();
  sound_pacing = 0;
  int16_t block[440];
  block_of(block, 1);
  const test_clock::time_point start = test_clock::now();
  for (int b = 0; b < 1000; b++) push(block);  // ten seconds of sound
  EXPECT_LT(seconds_since(start), 5.0);
  EXPECT_EQ(audio_bytes_written.load(), 880000u);
}

TEST(Audio, WithoutADeviceATimerKeepsRealTime) {
  audio_reset_ring();
  audio_close();
  sound_pacing = 1;
  quit = 0;
  int16_t block[440];
  block_of(block, 1);
  test_clock::time_point start = test_clock::now();
  // Block k waits until (k - 1) x 880 - 2199 bytes have played at 88200 bytes
  // a second: 30 blocks take at least 264 ms.
  for (int b = 0; b < 30; b++) push(block);
  EXPECT_GE(seconds_since(start), 0.26);

  // After a stall the timer does not race to catch up.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  start = test_clock::now();
  for (int b = 0; b < 30; b++) push(block);
  EXPECT_GE(seconds_since(start), 0.26);

  // A block that the frame's end follows waits for room for one more: with
  // the frame ending right after every block, block k waits for
  // (k - 1) x 880 - 1319 bytes, so 30 blocks take at least 274 ms.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  vdp_line = LINES_PER_FRAME_NTSC - 1;
  start = test_clock::now();
  for (int b = 0; b < 30; b++) push(block);
  EXPECT_GE(seconds_since(start), 0.273);
  vdp_line = 0;

  // A quit request ends every wait.
  quit = 1;
  start = test_clock::now();
  for (int b = 0; b < 500; b++) push(block);
  EXPECT_LT(seconds_since(start), 2.0);
  quit = 0;
  sound_pacing = 0;
}

// SDL's dummy driver calls back on a coarse timer of its own; the emulation
// keeps the exact rate by its own timer and the callback still drains the ring.
TEST(Audio, DummyDriverIsPacedByTheTimer) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) GTEST_SKIP() << "no SDL dummy audio: " << SDL_GetError();
  ASSERT_STREQ(SDL_GetCurrentAudioDriver(), "dummy");
  audio_reset_ring();
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = 44100;
  want.format = AUDIO_S16LSB;
  want.channels = 1;
  want.samples = 512;
  want.callback = fill_audio;
  audio = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  ASSERT_NE(audio, 0u) << SDL_GetError();
  sound_pacing = 1;
  quit = 0;
  int16_t block[440];
  block_of(block, 1);
  const test_clock::time_point start = test_clock::now();
  for (int b = 0; b < 30; b++) push(block);
  EXPECT_GE(seconds_since(start), 0.26);
  EXPECT_EQ(SDL_GetAudioDeviceStatus(audio), SDL_AUDIO_PLAYING);
  audio_close();
  EXPECT_EQ(audio, 0u);
  EXPECT_GT(audio_bytes_read.load(), 0u);
  sound_pacing = 0;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
