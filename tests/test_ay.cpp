// The Super Game Module's AY-3-8910: tables, registers, mixing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture.h"

#include "memory/memory.h"
#include "sound/psg.h"
#include "support/harness.h"

namespace {

const int kLevels[32] = {0,   22,  27,  33,  40,  48,  58,   70,   84,   100,  120,
                         143, 171, 204, 243, 290, 345, 411,  489,  582,  693,  825,
                         982, 1168, 1389, 1653, 1966, 2339, 2782, 3309, 3936, 4681};

void fresh_chips() {
  sound_pacing = 0;
  sgm_active = 1;
  psg_init();
  psg2_init();
  for (int r = 0; r < 16; r++) psg2_reg[r] = 0;
  psg2_init();
  psg2_step1 = psg2_step2 = psg2_step3 = psg2_step4 = psg2_step5 = 0;
  psg2_counter1 = psg2_counter2 = psg2_counter3 = psg2_counter4 = psg2_counter5 = 0;
  psg2_noise = 0;
}

void ay(int reg, int value) {
  psg2_write_address(reg);
  psg2_write_data(value);
}

// AY output alone over one sound period.
std::vector<int> run_ay_period() {
  for (int16_t &s : psg_buffer) s = 0;
  for (int line = 0; line < 157; line++) psg2_process(line);
  return std::vector<int>(psg_buffer, psg_buffer + 440);
}

}  // namespace

TEST(Ay, FixedVolumesAndEnvelopeLevels) {
  fresh_chips();
  const int volumes[16] = {0, 35, 50, 71, 101, 144, 205, 291, 412, 583, 825, 1168, 1653, 2339, 3309, 4681};
  for (int i = 0; i < 16; i++) EXPECT_EQ(psg2_vol[i], volumes[i]) << "volume " << i;
  // The rising shape walks through all 32 levels.
  for (int i = 0; i < 32; i++) EXPECT_EQ(psg2_table[4][i], kLevels[i]) << "level " << i;
}

// The level at step k after a shape write, as the data sheet draws the four
// bits of register 13: the first ramp rises with attack and falls without;
// then without continue the level drops to 0 for good; with hold it stays
// where the ramp ended, or at the other end with alternate; otherwise the
// ramps repeat, each turned round from the last with alternate.
int datasheet_level(int shape, int k) {
  const bool cont = shape & 8, attack = shape & 4, alternate = shape & 2, hold = shape & 1;
  const int ramp = k / 32, i = k % 32;
  if (ramp == 0) return attack ? i : 31 - i;
  if (!cont) return 0;
  if (hold) {
    const int end = attack ? 31 : 0;
    return alternate ? 31 - end : end;
  }
  const bool rising = alternate && ramp % 2 == 1 ? !attack : attack;
  return rising ? i : 31 - i;
}

TEST(Ay, EveryEnvelopeShapePlaysAsTheDataSheetDrawsIt) {
  fresh_chips();
  psg2_init();  // building the table twice must change nothing
  ay(7, 0x3E);  // tone A on, held high by period 0; no noise
  ay(0, 0);
  ay(8, 0x10);
  ay(11, 649 & 0xFF);  // 664935 / 649 = 1024 a sub-step: one step every 128 samples
  ay(12, 649 >> 8);
  for (int shape = 0; shape < 16; shape++) {
    ay(13, shape);
    std::vector<int> played;
    while (played.size() < 160 * 128) {
      std::vector<int> period = run_ay_period();
      played.insert(played.end(), period.begin(), period.end());
    }
    for (int k = 0; k < 160; k++)  // five ramps: the repeats show too
      ASSERT_EQ(played[k * 128 + 64], kLevels[datasheet_level(shape, k)]) << "shape " << shape << " step " << k;
  }
}

TEST(Ay, InitialRegisters) {
  fresh_chips();
  psg2_reg[3] = 9;
  psg2_address = 5;
  psg2_init();
  EXPECT_EQ(psg2_address, 0);
  EXPECT_EQ(psg2_reg[7], 191);
  EXPECT_EQ(psg2_reg[8], 0);
  EXPECT_EQ(psg2_reg[10], 0);
  EXPECT_EQ(psg2_reg[14], 255);
  EXPECT_EQ(psg2_reg[3], 9);  // other registers are kept
}

TEST(Ay, WriteMasksAndReads) {
  fresh_chips();
  ay(8, 0x1F);
  EXPECT_EQ(psg2_reg[8], 0x1F);  // envelope mode
  ay(8, 0x2F);
  EXPECT_EQ(psg2_reg[8], 0x0F);  // only five bits: fixed volume 15
  ay(1, 0xFF);
  EXPECT_EQ(psg2_reg[1], 0x0F);
  ay(13, 0xFE);
  EXPECT_EQ(psg2_reg[13], 0x0E);
  ay(6, 0xFF);
  EXPECT_EQ(psg2_reg[6], 0x1F);
  for (int r : {0, 2, 4, 7, 11, 12, 15}) {
    ay(r, 0xA5);
    EXPECT_EQ(psg2_reg[r], 0xA5) << "register " << r;
  }
  ay(14, 0x12);
  EXPECT_EQ(psg2_read(0x51), 255);
  EXPECT_EQ(psg2_read(0x52), 255);
  psg2_write_address(0x1D);
  EXPECT_EQ(psg2_read(0x50), 13);
  EXPECT_EQ(psg2_read(0x51), 0x0E);
  EXPECT_EQ(psg2_read(0x53), 255);
}

TEST(Ay, AbsentModuleIgnoresEverything) {
  fresh_chips();
  sgm_active = 0;
  psg2_write_address(3);
  psg2_write_data(7);
  EXPECT_EQ(psg2_address, 0);
  EXPECT_EQ(psg2_reg[3], 0);
  EXPECT_EQ(psg2_read(0x50), 255);
  EXPECT_EQ(sgm_active, 0);
  sgm_active = 1;
  ay(3, 7);
  EXPECT_EQ(sgm_active, 2);  // the program has used the chip
}

TEST(Ay, DerivedSteps) {
  fresh_chips();
  ay(0, 0xE8);
  ay(1, 0x03);  // 1000
  EXPECT_EQ(psg2_step1, 664);
  ay(5, 1);  // channel C: 256
  EXPECT_EQ(psg2_step3, 664935 / 256);
  ay(6, 0);
  EXPECT_EQ(psg2_step4, 664935);  // noise period 0 behaves as 1
  ay(6, 10);
  EXPECT_EQ(psg2_step4, 66493);
  ay(11, 0);
  ay(12, 0);
  EXPECT_EQ(psg2_step5, 664935);
  ay(12, 2);
  EXPECT_EQ(psg2_step5, 664935 / 512);
  ay(13, 8);
  psg2_counter5 = 0x1234567;
  ay(13, 8);  // the same shape again still restarts
  EXPECT_EQ(psg2_counter5, 0);
}

TEST(Ay, PeriodsUpToFourHoldTheChannelHigh) {
  fresh_chips();
  ay(7, 0x3E);  // tone A on, every noise off; B and C silent at volume 0
  ay(8, 15);
  for (int period = 0; period <= 4; period++) {
    psg2_counter1 = 0;
    ay(0, period);
    EXPECT_EQ(psg2_step1, 0);
    EXPECT_EQ(psg2_counter1, 0x80000);
    for (int s : run_ay_period()) ASSERT_EQ(s, 4681) << "period " << period;
  }
  ay(0, 5);
  EXPECT_EQ(psg2_step1, 664935 / 5);
}

// The mixer gates a channel the same way whether its level is fixed or the
// envelope's: at the envelope's top level the two modes give equal samples
// for every setting of the tone-off and noise-off bits.
TEST(Ay, MixerGatesEnvelopeModeLikeFixedVolume) {
  for (int mixer : {0x3E, 0x3F, 0x37, 0x36}) {  // tone, none, noise, both on channel A
    std::vector<int> out[2];
    for (int mode = 0; mode < 2; mode++) {
      fresh_chips();
      ay(0, 100);
      ay(6, 3);
      ay(11, 0);
      ay(12, 0);  // fastest envelope: shape 13 holds 31 after 26 sub-steps
      ay(13, 13);
      ay(7, mixer);
      ay(8, mode ? 0x10 : 15);
      run_ay_period();
      out[mode] = run_ay_period();
    }
    EXPECT_EQ(out[0], out[1]) << "mixer " << std::hex << mixer;
    if (mixer == 0x3F) {
      for (int s : out[1]) ASSERT_EQ(s, 4681);  // tone and noise off: the level itself
    }
  }
}

// Tone and noise off, shape 14 and period 35: the envelope itself is the
// waveform, a triangle at the chip's clock / (512 x period), about 100 Hz,
// with no gap where a tone would have silenced it. Measured in a WAV file.
TEST(Ay, EnvelopeBassIsAContinuousTriangleInTheWav) {
  fresh_chips();
  ay(0, 100);  // a tone period a game left behind: it must not gate
  ay(7, 0x3F);
  ay(11, 35);
  ay(13, 14);
  ay(8, 0x10);
  const std::string path = private_home() + "/bass.wav";
  wav_start(fopen(path.c_str(), "wb"));
  for (int p = 0; p < 100; p++) {  // one second
    for (int16_t &s : psg_buffer) s = 0;
    for (int line = 0; line < 157; line++) psg2_process(line);
    wav_append(psg_buffer, 440);
  }
  end_sound_recording();
  std::vector<uint8_t> wav = read_file(path);
  ASSERT_EQ(wav.size(), 44u + 44000 * 4);
  std::vector<int> left;
  for (size_t at = 44; at < wav.size(); at += 4) left.push_back((int16_t)(wav[at] | wav[at + 1] << 8));

  // Cycles: upward crossings of the middle level; gaps: runs of silence.
  int crossings = 0, first = -1, last = -1, zeros = 0, longest = 0, top = 0;
  for (size_t i = 1; i < left.size(); i++) {
    if (left[i - 1] < 2341 && left[i] >= 2341) {
      crossings++;
      if (first < 0) first = (int)i;
      last = (int)i;
    }
    zeros = left[i] == 0 ? zeros + 1 : 0;
    longest = std::max(longest, zeros);
    top = std::max(top, left[i]);
  }
  const double hz = (crossings - 1) * 44100.0 / (last - first);
  const double datasheet_hz = 3579545.0 / 2 / (512 * 35);  // 99.9
  EXPECT_NEAR(hz, datasheet_hz, datasheet_hz * 0.01) << "measured " << hz << " Hz";
  EXPECT_EQ(top, 4681);
  EXPECT_LE(longest, 14) << "a silent gap longer than the triangle's lowest two steps";
}

TEST(Ay, EnvelopeRepeatsTheSecondHalf) {
  fresh_chips();
  ay(7, 0x3E);
  ay(0, 0);      // held high
  ay(11, 1);     // fastest envelope
  ay(13, 0);     // fall once, then silence
  ay(8, 0x10);
  std::vector<int> first = run_ay_period();
  EXPECT_GT(first[0], 2500);
  EXPECT_EQ(first[439], 0);
  ay(13, 12);    // rising saw keeps going
  for (int p = 0; p < 5; p++) run_ay_period();
  EXPECT_GE(psg2_counter5, 0x1000000);
  EXPECT_LE(psg2_counter5, 0x1FFFFFF);
  int top = 0;
  for (int s : run_ay_period()) top = s > top ? s : top;
  EXPECT_GT(top, 3000);
}

TEST(Ay, NoiseGatesItsChannels) {
  fresh_chips();
  ay(7, 0x37);  // tone A off, noise A on
  ay(6, 1);
  ay(8, 15);
  int silent = 0, full = 0;
  for (int s : run_ay_period()) {
    ASSERT_GE(s, 0);
    ASSERT_LE(s, 4681);
    silent += s == 0;
    full += s == 4681;
  }
  EXPECT_GT(silent, 10);
  EXPECT_GT(full, 10);
}

TEST(Ay, BothChipsAtFullLevelReach32767) {
  fresh_chips();
  // SN76489: tones held high by period 0, noise divider stopped with bit 14 clear.
  for (int tone = 0; tone < 3; tone++) psg_write(0x80 | (tone << 5));
  psg_write(0x00);
  psg_write(0xE3);
  for (int channel = 0; channel < 4; channel++) psg_write(0x90 | (channel << 5));
  // AY: tones held high, noise off, fixed volume 15.
  ay(7, 0x38);
  for (int r = 0; r < 6; r++) ay(r, 0);
  for (int r = 8; r < 11; r++) ay(r, 15);
  for (int line = 0; line < 157; line++) psg_process(line);
  for (int s : psg_buffer) ASSERT_EQ(s, 32767);

  sgm_active = 0;  // without the module only the SN76489 sounds
  for (int line = 0; line < 157; line++) psg_process(line);
  for (int s : psg_buffer) ASSERT_EQ(s, 4 * 4681);
}

TEST(Ay, DamagedStateIsHandledSafely) {
  fresh_chips();
  psg2_address = -7;
  psg2_read(0x51);
  psg2_write_data(1);
  psg2_reg[13] = 999;
  psg2_reg[8] = -1;
  psg2_counter5 = -123456789;
  psg2_step5 = -5;
  psg2_counter1 = INT32_MAX;
  psg2_step1 = INT32_MAX;
  psg2_step4 = INT32_MAX;
  for (int16_t &s : psg_buffer) s = 3;
  psg2_process(157);
  for (int16_t s : psg_buffer) ASSERT_EQ(s, 3);
  run_ay_period();
  SUCCEED();
}
