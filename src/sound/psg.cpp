// SN76489: port decoding and per-scanline synthesis into psg_buffer.
#include "sound/psg.h"

#include <cstdint>

#include "core/timing.h"
#include "memory/memory.h"

int32_t psg_address, psg_reg[8], psg_vol[16];
int32_t psg_step1, psg_counter1, psg_step2, psg_counter2;
int32_t psg_step3, psg_counter3, psg_step4, psg_counter4;
int32_t psg_channel, psg_noise;
int16_t psg_buffer[SAMPLES_PER_PERIOD];

// Counter units in one scanline: 228 cycles are 14.25 ticks of the tone
// clock (the CPU clock / 16), 65536 units each.
static const int32_t UNITS_PER_LINE = 933888;

static int32_t *const psg_tone_step[3] = {&psg_step1, &psg_step2, &psg_step3};
static int32_t *const psg_tone_counter[3] = {&psg_counter1, &psg_counter2, &psg_counter3};

void psg_init(void) {
  // 2 dB per code, each value truncated before the next is derived.
  int32_t v = 4681;  // a seventh of 32767: seven channels at full level never overflow
  psg_vol[0] = v;
  for (int i = 1; i < 15; i++) {
    v = (int32_t)(v / 1.25893);
    psg_vol[i] = v;
  }
  psg_vol[15] = 0;

  psg_address = 0;
  psg_reg[0] = psg_reg[2] = psg_reg[4] = 0;
  psg_reg[1] = psg_reg[3] = psg_reg[5] = psg_reg[7] = psg_vol[15];
  psg_reg[6] = 15;
}

static void psg_derive_tone(int address) {
  const int k = address >> 1;
  const int32_t period = psg_reg[address];
  if (period > 7) {
    *psg_tone_step[k] = period;
  } else {
    // Periods below 8 are above hearing: the output is held high.
    *psg_tone_step[k] = 0;
    psg_channel |= 1 << k;
    if (period == 0) *psg_tone_counter[k] = 0;
  }
}

static void psg_derive_noise(int address) {
  static const int32_t rates[3] = {16, 32, 64};
  const int rate = psg_reg[6] & 3;
  const int32_t period = rate == 3 ? psg_reg[4] : rates[rate];
  if (period > 0) {
    psg_step4 = period;
  } else {
    psg_step4 = 0;
    psg_counter4 = 0;
  }
  if (address == 6) psg_noise = 1;
}

int psg_write(int value) {
  const int v = value & 0xFF;
  if (v & 0x80) {
    psg_address = (v >> 4) & 7;
    if (psg_address & 1)
      psg_reg[psg_address] = psg_vol[v & 15];
    else
      psg_reg[psg_address] = (psg_reg[psg_address] & ~15) | (v & 15);
  } else {
    psg_address &= 7;  // a restored snapshot may hold anything here
    if (psg_address == 6)
      psg_reg[6] = (psg_reg[6] & ~15) | (v & 15);
    else if (psg_address & 1)
      psg_reg[psg_address] = psg_vol[v & 15];
    else
      psg_reg[psg_address] = (psg_reg[psg_address] & 15) | ((v & 63) << 4);
  }
  if (psg_address == 0 || psg_address == 2 || psg_address == 4) psg_derive_tone(psg_address);
  if (psg_address == 4 || psg_address == 6) psg_derive_noise(psg_address);
  return 26;
}

// A line is a few samples of four sub-steps each; a channel's output over
// it is a bit mask, bit j for sub-step j. Most lines see no expiry at all
// (a divider period is hundreds of sub-steps): those take one compare, and
// only a line with an expiry in it is stepped.
enum { PSG_SUBSTEPS = 4 };
static_assert((SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD + 1) * PSG_SUBSTEPS <= 32,
              "a line's sub-steps fit a 32-bit mask");

// One divider's output over the line, for a tone (noise == nullptr: the
// channel bit itself) or the noise (the register's output bit 0 sounds;
// every second expiry shifts the register). Stepping skips from expiry to
// expiry when each sub-step can hold at most one (the reload exceeds a
// sub-step); anything else, such as a damaged snapshot's counter, is
// stepped one sub-step at a time.
static uint32_t psg_divider_step(int64_t &counter, int64_t reload, int32_t d, int substeps, int32_t &channel,
                                 int bit, uint32_t *noise, bool white) {
  const uint32_t all = (uint32_t)((1ull << substeps) - 1);
  auto sounds = [&]() { return noise != nullptr ? (*noise & 0x4000) == 0 : (channel & bit) != 0; };
  auto expire = [&]() {
    channel ^= bit;
    if (noise != nullptr && (channel & bit)) {
      uint32_t &r = *noise;
      if (r == 0) r = 1;
      const uint32_t feedback = white ? ((r >> 14) ^ (r >> 13)) & 1 : (r >> 14) & 1;
      r = (r << 1) | feedback;
    }
  };
  uint32_t mask = 0;
  if (counter >= 1 && counter <= INT32_MAX && reload > d && reload <= INT32_MAX) {
    // Sub-step j ends with counter - (j + 1) * d: the first below 1 expires.
    for (int j = 0;;) {
      const int held = (int)((uint32_t)(counter - 1) / (uint32_t)d);
      if (j + held >= substeps) {
        counter -= (int64_t)d * (substeps - j);
        if (sounds()) mask |= all & ~((1u << j) - 1);
        return mask;
      }
      if (sounds()) mask |= ((1u << held) - 1) << j;
      j += held;
      counter += reload - (int64_t)d * (held + 1);
      expire();
      if (sounds()) mask |= 1u << j;
      if (++j == substeps) return mask;
    }
  }
  for (int j = 0; j < substeps; j++) {
    counter -= d;
    while (counter < 1) {
      counter += reload;
      expire();
    }
    if (sounds()) mask |= 1u << j;
  }
  return mask;
}

// The common line: a stopped divider, or one that does not expire.
static inline uint32_t psg_divider_mask(int64_t &counter, int64_t reload, int32_t d, int substeps,
                                        int32_t &channel, int bit, uint32_t *noise, bool white) {
  const int64_t line_units = (int64_t)d * substeps;
  if (reload > 0 && counter - line_units < 1)
    return psg_divider_step(counter, reload, d, substeps, channel, bit, noise, white);
  if (reload > 0) counter -= line_units;
  const bool sounds = noise != nullptr ? (*noise & 0x4000) == 0 : (channel & bit) != 0;
  return sounds ? (uint32_t)((1ull << substeps) - 1) : 0;
}

void psg_process(int line) {
  // The line index comes from the interpreter (or a restored snapshot); out
  // of range it would address samples outside the block.
  if (line < 0 || line >= LINES_PER_SOUND_PERIOD) return;
  const int s0 = line * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
  const int s1 = (line + 1) * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
  const int n = s1 - s0;
  // Four sub-steps a sample share the scanline's counter units evenly
  // (a line has 2 or 3 samples; the table spares a division).
  static const int32_t units_per_substep[4] = {UNITS_PER_LINE / PSG_SUBSTEPS, UNITS_PER_LINE / PSG_SUBSTEPS,
                                               UNITS_PER_LINE / PSG_SUBSTEPS / 2, UNITS_PER_LINE / PSG_SUBSTEPS / 3};
  const int32_t d = n < 4 ? units_per_substep[n] : UNITS_PER_LINE / PSG_SUBSTEPS / n;
  const int substeps = n * PSG_SUBSTEPS;

  // A step that is not positive holds its channel (0 by derivation; anything
  // else only comes from a damaged snapshot and must not spin forever).
  const int64_t reload1 = psg_step1 > 0 ? (int64_t)psg_step1 * 65536 : 0;
  const int64_t reload2 = psg_step2 > 0 ? (int64_t)psg_step2 * 65536 : 0;
  const int64_t reload3 = psg_step3 > 0 ? (int64_t)psg_step3 * 65536 : 0;
  const int64_t reload4 = psg_step4 > 0 ? (int64_t)psg_step4 * 65536 : 0;
  int64_t c1 = psg_counter1, c2 = psg_counter2, c3 = psg_counter3, c4 = psg_counter4;
  int32_t channel = psg_channel;
  uint32_t noise = (uint32_t)psg_noise;
  const bool white = (psg_reg[6] & 4) != 0;
  const int64_t a1 = psg_reg[1], a2 = psg_reg[3], a3 = psg_reg[5], a4 = psg_reg[7];

  const uint32_t m1 = psg_divider_mask(c1, reload1, d, substeps, channel, 1, nullptr, false);
  const uint32_t m2 = psg_divider_mask(c2, reload2, d, substeps, channel, 2, nullptr, false);
  const uint32_t m3 = psg_divider_mask(c3, reload3, d, substeps, channel, 4, nullptr, false);
  const uint32_t m4 = psg_divider_mask(c4, reload4, d, substeps, channel, 8, &noise, white);

  // Channels that held one output all line give every sample the same value.
  const uint32_t all = (uint32_t)((1ull << substeps) - 1);
  if (((m1 + 1) & all) <= 1 && ((m2 + 1) & all) <= 1 && ((m3 + 1) & all) <= 1 && ((m4 + 1) & all) <= 1) {
    const int64_t sum = PSG_SUBSTEPS * ((m1 ? a1 : 0) + (m2 ? a2 : 0) + (m3 ? a3 : 0) + (m4 ? a4 : 0));
    for (int i = 0; i < n; i++) psg_buffer[s0 + i] = (int16_t)(sum / 4);
  } else {
    for (int i = 0; i < n; i++) {
      const int shift = i * PSG_SUBSTEPS;
      const int64_t sum = a1 * PSG_NIBBLE_BITS[(m1 >> shift) & 15] + a2 * PSG_NIBBLE_BITS[(m2 >> shift) & 15] +
                          a3 * PSG_NIBBLE_BITS[(m3 >> shift) & 15] + a4 * PSG_NIBBLE_BITS[(m4 >> shift) & 15];
      psg_buffer[s0 + i] = (int16_t)(sum / 4);
    }
  }

  psg_counter1 = (int32_t)c1;
  psg_counter2 = (int32_t)c2;
  psg_counter3 = (int32_t)c3;
  psg_counter4 = (int32_t)c4;
  psg_channel = channel;
  psg_noise = (int32_t)noise;

  if (sgm_active != 0) psg2_process(line);
}
