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

// ---- the generators against a sub-step model ---------------------------
// The chips' counters stepped one sub-step at a time, four a sample, the
// plain way; the generators skip lines that hold no counter event and must
// give the same samples and the same state, for any state a snapshot holds.
namespace model {

struct Sn {
  int64_t c[4];
  int32_t channel;
  uint32_t noise;
};
struct Ay {
  uint32_t c[3];
  int32_t c4, c5;
  uint32_t noise;
};

void sn_line(Sn &m, int n, int16_t *out) {
  const int32_t d = 933888 / 4 / n;
  const int32_t steps[4] = {psg_step1, psg_step2, psg_step3, psg_step4};
  const int64_t amp[4] = {psg_reg[1], psg_reg[3], psg_reg[5], psg_reg[7]};
  for (int i = 0; i < n; i++) {
    int64_t sum = 0;
    for (int sub = 0; sub < 4; sub++) {
      for (int k = 0; k < 4; k++) {
        if (steps[k] <= 0) continue;
        for (m.c[k] -= d; m.c[k] < 1; m.c[k] += (int64_t)steps[k] * 65536) {
          m.channel ^= 1 << k;
          if (k == 3 && (m.channel & 8)) {
            if (m.noise == 0) m.noise = 1;
            const uint32_t tap = (psg_reg[6] & 4) ? (m.noise >> 13) & 1 : 0;
            m.noise = (m.noise << 1) | (((m.noise >> 14) ^ tap) & 1);
          }
        }
      }
      for (int k = 0; k < 3; k++) sum += (m.channel >> k & 1) ? amp[k] : 0;
      sum += (m.noise & 0x4000) ? 0 : amp[3];
    }
    out[i] = (int16_t)(sum / 4);
  }
}

void ay_line(Ay &m, int n, int16_t *out) {
  const uint32_t st[3] = {(uint32_t)psg2_step1, (uint32_t)psg2_step2, (uint32_t)psg2_step3};
  const int shape = psg2_reg[13] & 15;
  const int32_t wrap = (shape & 11) == 10 ? 0x2000000 : 0x1000000;
  for (int i = 0; i < n; i++) {
    int32_t sum = 0;
    for (int sub = 0; sub < 4; sub++) {
      for (int k = 0; k < 3; k++) m.c[k] += st[k];
      m.c4 = (int32_t)((uint32_t)m.c4 + (uint32_t)psg2_step4);
      m.c5 = (int32_t)((uint32_t)m.c5 + (uint32_t)psg2_step5);
      while (m.c5 > 0x1FFFFFF) m.c5 -= wrap;
      if (m.c4 > 0xFFFFF) {
        m.c4 &= 0xFFFFF;
        if (m.noise == 0) m.noise = 1;
        m.noise = (m.noise & 1) ? (m.noise ^ 0x840000) >> 1 : m.noise >> 1;
      }
      for (int k = 0; k < 3; k++) {
        const int amplitude = psg2_reg[8 + k];
        const bool tone = (m.c[k] >> 19 & 1) || (psg2_reg[7] >> k & 1);
        const bool noisy = (m.noise >> 1 & 1) || (psg2_reg[7] >> (k + 3) & 1);
        if (tone && noisy)
          sum += (amplitude & 16) ? psg2_table[shape][(m.c5 >> 19) & 63] : psg2_vol[amplitude & 15];
      }
    }
    out[i] = (int16_t)(out[i] + sum / 4);
  }
}

}  // namespace model

TEST(Psg, GeneratorsMatchASubStepModel) {
  uint32_t seed = 1;
  auto rnd = [&](uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % range;
  };
  for (int trial = 0; trial < 60; trial++) {
    fresh_chip();
    sgm_active = 1;
    psg2_init();
    // Registers as programs write them: every period from the shortest on.
    for (int r = 0; r < 12; r++) psg_write(rnd(256));
    for (int r = 0; r < 14; r++) {
      psg2_write_address(r);
      psg2_write_data(r == 7 ? rnd(64) : r % 2 == 1 && r < 6 ? rnd(3) : (int)rnd(256));
    }
    if (trial % 4 == 3) {  // and a restored snapshot's odd counters
      psg_counter1 = (int32_t)(rnd(1u << 31) - (1u << 30)) * 2;
      psg_counter4 = -(int32_t)rnd(1 << 20);
      psg2_counter4 = (int32_t)(rnd(1u << 31) * 2);
      psg2_counter5 = -(int32_t)rnd(1 << 26);
      psg_noise = (int32_t)rnd(1 << 16);
    }
    model::Sn sn = {{psg_counter1, psg_counter2, psg_counter3, psg_counter4}, psg_channel, (uint32_t)psg_noise};
    model::Ay ay = {{(uint32_t)psg2_counter1, (uint32_t)psg2_counter2, (uint32_t)psg2_counter3},
                    psg2_counter4, psg2_counter5, (uint32_t)psg2_noise};
    // Odd trials go through the machine's lazy hand-off: lines pile up and
    // are made in runs, cut by register writes (often silencing a channel,
    // which the runs skip) and the period end.
    const bool lazy = trial % 2 == 1;
    int16_t want[440];
    for (int line = 0; line < 3 * 157; line++) {
      const int l = line % 157, s0 = l * 440 / 157, n = (l + 1) * 440 / 157 - s0;
      if (lazy && rnd(12) == 0) {
        const uint32_t k = rnd(4), r = rnd(14);
        if (rnd(2) == 0) {
          psg_write(rnd(3) == 0 ? (int)rnd(256) : 0x9F | (int)k << 5);
        } else {
          psg2_write_address(r);
          psg2_write_data(r >= 8 && r <= 10 && rnd(3) != 0 ? 0 : (int)rnd(r % 2 == 1 && r < 6 ? 3 : 256));
        }
        // A write may restart counters; the samples before it are checked below.
        sn = {{psg_counter1, psg_counter2, psg_counter3, psg_counter4}, psg_channel, (uint32_t)psg_noise};
        ay = {{(uint32_t)psg2_counter1, (uint32_t)psg2_counter2, (uint32_t)psg2_counter3},
              psg2_counter4, psg2_counter5, (uint32_t)psg2_noise};
      }
      model::sn_line(sn, n, want + s0);
      model::ay_line(ay, n, want + s0);
      if (!lazy) {
        psg_process(l);
      } else {
        psg_advance(l);
        if (l != 156 && rnd(40) != 0) continue;
        psg_sync();
      }
      for (int i = lazy ? 0 : s0; i < s0 + n; i++)
        ASSERT_EQ(psg_buffer[i], want[i]) << "trial " << trial << " sample " << i;
      ASSERT_EQ(psg_counter1, (int32_t)sn.c[0]) << trial;
      ASSERT_EQ(psg_counter4, (int32_t)sn.c[3]) << trial;
      ASSERT_EQ(psg_noise, (int32_t)sn.noise) << trial;
      ASSERT_EQ(psg_channel, sn.channel) << trial;
      ASSERT_EQ(psg2_counter2, (int32_t)ay.c[1]) << trial;
      ASSERT_EQ(psg2_counter4, ay.c4) << trial;
      ASSERT_EQ(psg2_counter5, ay.c5) << trial;
      ASSERT_EQ(psg2_noise, (int32_t)ay.noise) << trial;
    }
  }
}

// A snapshot taken or restored while lines are pending holds and replaces
// the sound of exactly the lines run so far.
TEST(Psg, SnapshotsSeeThePendingLines) {
  const std::string slot = private_home() + "/slot.bin";
  auto setup = [] {
    machine_fresh();
    sgm_active = 1;
    psg_counter1 = psg_counter2 = psg_counter3 = psg_counter4 = 1000;  // counters outlive a reset
    psg_channel = psg_noise = 0;
    psg2_counter1 = psg2_counter2 = psg2_counter3 = psg2_counter4 = psg2_counter5 = psg2_noise = 0;
    for (int b : {0x8E, 0x0F, 0x90, 0xA5, 0x03, 0xB2, 0xC7, 0x01, 0xD4, 0xE4, 0xF1}) psg_write(b);
    const int ay_regs[][2] = {{0, 90}, {6, 9}, {7, 0x30}, {8, 12}, {10, 0x10}, {11, 40}, {13, 14}};
    for (auto &r : ay_regs) {
      psg2_write_address(r[0]);
      psg2_write_data(r[1]);
    }
  };
  auto state = [] {
    std::vector<int32_t> s(psg_buffer, psg_buffer + 440);
    for (int32_t v : {psg_counter1, psg_counter3, psg_counter4, psg_noise, psg_channel, psg2_counter1,
                      psg2_counter4, psg2_counter5, psg2_noise})
      s.push_back(v);
    return s;
  };
  setup();
  for (int l = 0; l < 157; l++) psg_process(l);
  const std::vector<int32_t> want = state();

  setup();
  for (int l = 0; l < 80; l++) psg_advance(l);
  ASSERT_EQ(save_snapshot(slot.c_str()), 0);
  for (int l = 80; l < 120; l++) psg_advance(l);  // run on, then go back
  ASSERT_EQ(read_snapshot(slot.c_str()), 0);
  for (int l = 80; l < 157; l++) psg_advance(l);
  psg_sync();
  EXPECT_EQ(state(), want);
}
