// SN76489: register decoding, tone and noise generation, sample ranges.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <vector>

#include "capture/capture.h"
#include "core/machine.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "support/harness.h"

namespace {

const int kFull = 4681;  // amplitude of attenuation code 0
const double kCyclesPerSample = 35796.0 / 440.0;

// A silent chip with every counter and the shift register at rest.
void fresh_chip() {
  sgm_active = 0;
  sound_pacing = 0;
  psg_init();
  psg_step1 = psg_step2 = psg_step3 = psg_step4 = 0;
  psg_counter1 = psg_counter2 = psg_counter3 = psg_counter4 = 0;
  psg_channel = 0;
  psg_noise = 0;
}

void set_period(int tone, int period) {  // tone 0, 1, 2
  psg_write(0x80 | (tone << 5) | (period & 15));
  psg_write((period >> 4) & 63);
}

void set_attenuation(int channel, int code) {  // channel 0-2 tones, 3 noise
  psg_write(0x90 | (channel << 5) | code);
}

// One sound period (440 samples).
std::vector<int> run_period() {
  for (int line = 0; line < 157; line++) psg_process(line);
  return std::vector<int>(psg_buffer, psg_buffer + 440);
}

}  // namespace

TEST(Psg, VolumeTableAndInitialRegisters) {
  fresh_chip();
  psg_step2 = 321;
  psg_counter2 = 999;
  psg_init();
  const int expected[16] = {4681, 3718, 2953, 2345, 1862, 1479, 1174, 932,
                            740,  587,  466,  370,  293,  232,  184,  0};
  for (int i = 0; i < 16; i++) EXPECT_EQ(psg_vol[i], expected[i]) << "code " << i;
  EXPECT_EQ(psg_address, 0);
  for (int r : {0, 2, 4}) EXPECT_EQ(psg_reg[r], 0);
  for (int r : {1, 3, 5, 7}) EXPECT_EQ(psg_reg[r], 0);
  EXPECT_EQ(psg_reg[6], 15);
  // Steps and counters survive a reset, but every channel is silent.
  EXPECT_EQ(psg_step2, 321);
  EXPECT_EQ(psg_counter2, 999);
  for (int s : run_period()) ASSERT_EQ(s, 0);
}

TEST(Psg, LatchAndDataBytes) {
  fresh_chip();
  EXPECT_EQ(psg_write(0x8A), 26);  // tone 1, low bits 0xA
  EXPECT_EQ(psg_write(0x3F), 26);  // high six bits
  EXPECT_EQ(psg_reg[0], 0x3FA);
  EXPECT_EQ(psg_step1, 0x3FA);
  psg_write(0x85);  // a new latch keeps the high bits
  EXPECT_EQ(psg_reg[0], 0x3F5);
  psg_write(0x7F);  // bit 6 of a data byte is not part of the period
  EXPECT_EQ(psg_reg[0], 0x3F5);
  psg_write(0xC0);
  psg_write(0x0F);
  EXPECT_EQ(psg_reg[4], 0x0F0);

  psg_write(0xB3);  // tone 2 attenuation 3
  EXPECT_EQ(psg_address, 3);
  EXPECT_EQ(psg_reg[3], 2345);
  psg_write(0x05);  // a data byte after an attenuation latch sets it again
  EXPECT_EQ(psg_reg[3], 1479);
  psg_write(0xFF);  // noise attenuation 15: silent
  EXPECT_EQ(psg_reg[7], 0);

  psg_write(0xE5);
  EXPECT_EQ(psg_reg[6], 5);
  psg_write(0x02);  // a data byte after a noise latch replaces the low bits
  EXPECT_EQ(psg_reg[6], 2);
}

TEST(Psg, ToneTogglesAtTheExpectedSamples) {
  fresh_chip();
  const int period = 100;
  set_attenuation(0, 0);
  set_period(0, period);
  ASSERT_EQ(psg_step1, period);
  psg_channel = 0;  // the latch byte alone made a period of 4, which holds high
  // Counter starts at 0: the first sub-step toggles at once, then one toggle
  // every `period` ticks (65536 units each) of accumulated decrement.
  const int64_t half = int64_t(period) * 65536;
  int64_t elapsed = 0;
  std::vector<int> expected;
  for (int line = 0; line < 157; line++) {
    const int n = (line + 1) * 440 / 157 - line * 440 / 157;
    for (int i = 0; i < n; i++) {
      int sum = 0;
      for (int sub = 0; sub < 4; sub++) {
        elapsed += 233472 / n;
        if ((elapsed / half + 1) % 2 == 1) sum += kFull;
      }
      expected.push_back(sum / 4);
    }
  }
  EXPECT_EQ(run_period(), expected);
}

TEST(Psg, ToneFrequencyIsClockOver32N) {
  for (int period : {50, 100, 333, 1000}) {
    fresh_chip();
    set_attenuation(0, 0);
    set_period(0, period);
    std::vector<int> rises;
    int previous = 0, index = 0;
    for (int p = 0; p < 30; p++)
      for (int s : run_period()) {
        if (s >= kFull / 2 && previous < kFull / 2) rises.push_back(index);
        previous = s;
        index++;
      }
    ASSERT_GE(rises.size(), 3u) << "period " << period;
    const double measured = double(rises.back() - rises.front()) / double(rises.size() - 1);
    const double expected = 32.0 * period / kCyclesPerSample;  // CPU clock / (32 N)
    EXPECT_NEAR(measured / expected, 1.0, 0.002) << "period " << period;
  }
}

TEST(Psg, ShortPeriodsHoldHighAndOnlyZeroResetsTheCounter) {
  fresh_chip();
  set_attenuation(1, 0);
  set_period(1, 200);
  run_period();
  const int32_t counter = psg_counter2;
  ASSERT_NE(counter, 0);
  for (int period = 1; period <= 7; period++) {
    psg_channel = 0;
    set_period(1, period);
    EXPECT_EQ(psg_step2, 0);
    EXPECT_EQ(psg_channel & 2, 2) << "period " << period;
    EXPECT_EQ(psg_counter2, counter) << "period " << period;
    for (int s : run_period()) ASSERT_EQ(s, kFull);
  }
  set_period(1, 0);
  EXPECT_EQ(psg_step2, 0);
  EXPECT_EQ(psg_counter2, 0);
  for (int s : run_period()) ASSERT_EQ(s, kFull);
  set_period(1, 8);  // the lowest running period
  EXPECT_EQ(psg_step2, 8);
}

TEST(Psg, NoiseShiftsOnEverySecondDividerExpiry) {
  for (bool white : {false, true}) {
    fresh_chip();
    psg_write(white ? 0xE4 : 0xE0);  // rate 0: a divider of 16 ticks
    ASSERT_EQ(psg_step4, 16);
    ASSERT_EQ(psg_noise, 1);
    psg_counter4 = 16 * 65536;
    psg_channel = 0;
    // 10 lines are 14.25 x 10 ticks: 8 expiries, so 4 shifts.
    for (int line = 0; line < 10; line++) psg_process(line);
    EXPECT_EQ(psg_noise, 1 << 4);
    // 31 lines: 27 expiries, 14 shifts. Bit 13 reached bit 14 on the last
    // shift; only white noise feeds it back.
    for (int line = 10; line < 31; line++) psg_process(line);
    EXPECT_EQ(psg_noise, white ? 0x4001 : 0x4000);
  }
}

TEST(Psg, NoiseRestartsOnEveryRegister6Write) {
  fresh_chip();
  psg_write(0xE5);
  psg_noise = 0x1234;
  psg_write(0xE5);  // the same value again
  EXPECT_EQ(psg_noise, 1);
  psg_noise = 0x1234;
  psg_write(0x05);  // a data byte to register 6
  EXPECT_EQ(psg_noise, 1);
  psg_noise = 0x1234;
  psg_write(0xF0);  // the noise attenuation is not the control register
  EXPECT_EQ(psg_noise, 0x1234);
}

TEST(Psg, NoiseRateThreeFollowsToneThree) {
  fresh_chip();
  set_period(2, 0x123);
  psg_write(0xE3);
  EXPECT_EQ(psg_step4, 0x123);
  psg_noise = 77;
  set_period(2, 0x200);  // re-derives the rate, keeps the shift register
  EXPECT_EQ(psg_step4, 0x200);
  EXPECT_EQ(psg_noise, 77);
  psg_write(0xE1);
  EXPECT_EQ(psg_step4, 32);
  psg_write(0xE2);
  EXPECT_EQ(psg_step4, 64);
}

TEST(Psg, StoppedNoiseDividerHoldsTheOutput) {
  fresh_chip();
  set_period(2, 0);
  psg_counter4 = 5000;
  psg_write(0xE3);
  EXPECT_EQ(psg_step4, 0);
  EXPECT_EQ(psg_counter4, 0);
  set_attenuation(3, 0);
  // Bit 14 clear after the restart: full level on every sample.
  for (int s : run_period()) ASSERT_EQ(s, kFull);
  EXPECT_EQ(psg_noise, 1);
  psg_noise = 0x4000;
  for (int s : run_period()) ASSERT_EQ(s, 0);
}

TEST(Psg, SamplesPerLineAndOnlyTheLastLineFlushes) {
  fresh_chip();
  std::vector<int> per_line;
  for (int line = 0; line < 157; line++) {
    for (int16_t &s : psg_buffer) s = -1;
    psg_process(line);
    int n = 0;
    for (int16_t s : psg_buffer) n += s != -1;
    per_line.push_back(n);
  }
  EXPECT_EQ(std::vector<int>(per_line.begin(), per_line.begin() + 6),
            (std::vector<int>{2, 3, 3, 3, 3, 2}));
  int total = 0, twos = 0;
  for (int n : per_line) {
    total += n;
    twos += n == 2;
    EXPECT_TRUE(n == 2 || n == 3);
  }
  EXPECT_EQ(total, 440);
  EXPECT_EQ(twos, 31);

  // The scanline loop hands the block on after line 156 only, to a WAV
  // recording and the audio ring at the same moment.
  machine_fresh();
  audio_reset_ring();
  sound_file = tmpfile();
  ASSERT_NE(sound_file, nullptr);
  machine_run_scanlines(156);
  EXPECT_EQ(audio_bytes_written.load(), 0u);
  EXPECT_EQ(ftell(sound_file), 0);
  machine_run_lines(1);
  EXPECT_EQ(audio_bytes_written.load(), 880u);
  EXPECT_EQ(ftell(sound_file), 440 * 4);
  fclose(sound_file);
  sound_file = nullptr;
}

TEST(Psg, DamagedStateIsHandledSafely) {
  // What a corrupt snapshot could leave behind: nothing may write outside
  // the block or loop forever.
  fresh_chip();
  for (int16_t &s : psg_buffer) s = 7;
  psg_process(157);
  psg_process(-1);
  psg_process(INT_MAX);
  for (int16_t s : psg_buffer) ASSERT_EQ(s, 7);

  psg_address = 12345;
  psg_write(0x05);
  EXPECT_GE(psg_address, 0);
  EXPECT_LT(psg_address, 8);

  psg_step1 = -5;
  psg_counter1 = INT_MIN;
  psg_step2 = INT_MAX;
  psg_counter2 = INT_MIN;
  psg_step4 = 1;
  psg_counter4 = INT_MIN;
  psg_noise = -1;
  run_period();
  SUCCEED();
}

// A headerless cartridge writes the chip through port 0x7F; the interpreter
// drives generation and hands over one block per 157 scanlines.
TEST(Psg, ProgramDrivesTheChipThroughTheMachine) {
  const std::vector<uint8_t> program = {
      0x3E, 0x8E, 0xD3, 0x7F,  // tone 1, low bits 0xE
      0x3E, 0x0F, 0xD3, 0x7F,  // high bits: period 0xFE
      0x3E, 0x90, 0xD3, 0x7F,  // tone 1 at full level
      0x18, 0xFE,              // spin
  };
  machine_load_cartridge(program);
  ASSERT_EQ(nmi_use, 0);
  audio_reset_ring();
  machine_run_scanlines(3 * 157);
  EXPECT_EQ(psg_reg[0], 0xFE);
  EXPECT_EQ(psg_reg[1], kFull);
  EXPECT_EQ(audio_bytes_written.load(), 3 * 880u);
  int high = 0, low = 0;
  for (int16_t s : psg_buffer) {
    high += s == kFull;
    low += s == 0;
  }
  EXPECT_GT(high, 150);
  EXPECT_GT(low, 150);
}
