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
  psg_sync();  // the lines before a reset are made with the state they had
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
  psg_sync();  // the lines before the write are made with the old registers
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

// The noise register's shift (a register at 0 restarts at 1).
static inline uint32_t psg_noise_shifted(uint32_t r, bool white) {
  r |= r == 0;
  const uint32_t feedback = white ? ((r >> 14) ^ (r >> 13)) & 1 : (r >> 14) & 1;
  return (r << 1) | feedback;
}

// A divider's expiry: the output toggles; the noise register shifts as it
// rises. Without branches: the noise's output is random, and a branch on it
// mispredicts half the time.
static inline void psg_expire(int32_t &channel, int bit, uint32_t *noise, bool white) {
  channel ^= bit;
  if (noise != nullptr) {
    const uint32_t rising = (channel & bit) != 0;
    *noise ^= (*noise ^ psg_noise_shifted(*noise, white)) & (0u - rising);
  }
}

// One divider's output over the line, for a tone (noise == nullptr: the
// channel bit itself) or the noise (the register's output bit 0 sounds;
// every second expiry shifts the register). Stepping skips from expiry to
// expiry when each sub-step can hold at most one (the reload exceeds a
// sub-step); anything else, such as a damaged snapshot's counter, is
// stepped one sub-step at a time.
static __attribute__((noinline)) uint32_t psg_divider_step(int64_t &counter, int64_t reload, int32_t d,
                                                           int substeps, int32_t &channel, int bit, uint32_t *noise,
                                                           bool white) {
  const uint32_t all = (uint32_t)((1ull << substeps) - 1);
  auto sounds = [&]() { return noise != nullptr ? (*noise & 0x4000) == 0 : (channel & bit) != 0; };
  auto expire = [&]() { psg_expire(channel, bit, noise, white); };
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

// A running divider that expires within the line. Commonly it does so
// once (the reload outlasts the rest of the line), found by one division:
// a line has 2 or 3 samples, so the sub-step is one of two constants.
static_assert(SAMPLES_PER_PERIOD >= 2 * LINES_PER_SOUND_PERIOD && SAMPLES_PER_PERIOD < 3 * LINES_PER_SOUND_PERIOD,
              "a line has 2 or 3 samples");
// `single` is psg_single_expiry(reload), worked out once per run.
static inline bool psg_single_expiry(int64_t reload) { return reload > UNITS_PER_LINE / 8 && reload <= INT32_MAX; }
static inline __attribute__((always_inline)) uint32_t psg_divider_expiry(int64_t &counter, int64_t reload,
                                                                         bool single, int32_t d, int substeps,
                                                                         int32_t &channel, int bit, uint32_t *noise,
                                                                         bool white) {
  const uint32_t all = (uint32_t)((1ull << substeps) - 1);
  // All ones when the output sounds.
  auto sounds = [&]() { return 0u - (noise != nullptr ? (~*noise >> 14) & 1 : (uint32_t)((channel & bit) != 0)); };
  if (single && counter >= 1 && counter + reload - UNITS_PER_LINE >= 1) {
    // Sub-steps before `held` keep the output; the expiry's sub-step has the new one.
    const uint32_t left = (uint32_t)(counter - 1);
    const int held = (int)(substeps == 8 ? left / (UNITS_PER_LINE / 8) : left / (UNITS_PER_LINE / 12));
    const uint32_t before = (1u << held) - 1;
    uint32_t mask = before & sounds();
    psg_expire(channel, bit, noise, white);
    mask |= all & ~before & sounds();
    counter += reload - UNITS_PER_LINE;
    return mask;
  }
  return psg_divider_step(counter, reload, d, substeps, channel, bit, noise, white);
}

// Advances a divider whose output is not heard by `units` in one go. It
// ends where stepping would: the counter goes down by `units` and, once it
// fell below 1, up by whole reloads into 1 .. reload; every reload is an
// expiry (a toggle, and for the noise a shift on every rising toggle).
static void psg_divider_skip(int64_t &counter, int64_t reload, int64_t units, int32_t &channel, int bit,
                             uint32_t *noise, bool white) {
  int64_t c = counter - units;
  if (c >= 1) {
    counter = c;
    return;
  }
  const int64_t expiries = (reload - c) / reload;
  counter = c + expiries * reload;
  if (noise != nullptr) {
    int64_t shifts = (channel & bit) ? expiries / 2 : (expiries + 1) / 2;
    for (; shifts > 0; shifts--) *noise = psg_noise_shifted(*noise, white);
  }
  if (expiries & 1) channel ^= bit;
}

// Four sub-steps a sample share the scanline's counter units evenly (a line
// has 2 or 3 samples).
static int32_t psg_units_per_substep(int n) {
  return n == 2 ? UNITS_PER_LINE / PSG_SUBSTEPS / 2 : UNITS_PER_LINE / PSG_SUBSTEPS / 3;
}
static_assert(UNITS_PER_LINE % (PSG_SUBSTEPS * 2) == 0 && UNITS_PER_LINE % (PSG_SUBSTEPS * 3) == 0,
              "every line, of 2 or 3 samples, moves the counters by the same units");

// Lines first .. last - 1 of the sound period into psg_buffer. What only a
// register write changes is worked out once for the run: a channel at
// volume 15 is not heard, so its divider is skipped over the whole run;
// a line on which no heard divider expires writes a level known before.
static void psg_run(int first, int last) {
  if (first < 0) first = 0;
  if (last > LINES_PER_SOUND_PERIOD) last = LINES_PER_SOUND_PERIOD;
  if (first >= last) return;

  // A step that is not positive holds its channel (0 by derivation; anything
  // else only comes from a damaged snapshot and must not spin forever).
  int64_t reload[4] = {psg_step1 > 0 ? (int64_t)psg_step1 * 65536 : 0, psg_step2 > 0 ? (int64_t)psg_step2 * 65536 : 0,
                       psg_step3 > 0 ? (int64_t)psg_step3 * 65536 : 0, psg_step4 > 0 ? (int64_t)psg_step4 * 65536 : 0};
  int64_t c[4] = {psg_counter1, psg_counter2, psg_counter3, psg_counter4};
  int32_t channel = psg_channel;
  uint32_t noise = (uint32_t)psg_noise;
  const bool white = (psg_reg[6] & 4) != 0;
  const int32_t a[4] = {psg_reg[1], psg_reg[3], psg_reg[5], psg_reg[7]};

  // Per divider: a heard, running one expires on a line when its counter is
  // at most one line's units; the others never do (limit INT64_MIN).
  int64_t limit[4], units[4];
  bool single[4];
  for (int i = 0; i < 4; i++) {
    if (reload[i] > 0 && a[i] == 0) {
      psg_divider_skip(c[i], reload[i], (int64_t)UNITS_PER_LINE * (last - first), channel, 1 << i,
                       i == 3 ? &noise : nullptr, white);
      reload[i] = 0;
    }
    limit[i] = reload[i] > 0 ? UNITS_PER_LINE : INT64_MIN;
    units[i] = reload[i] > 0 ? UNITS_PER_LINE : 0;
    single[i] = psg_single_expiry(reload[i]);
  }
  auto level = [&]() {
    return ((channel & 1) ? a[0] : 0) + ((channel & 2) ? a[1] : 0) + ((channel & 4) ? a[2] : 0) +
           ((noise & 0x4000) == 0 ? a[3] : 0);
  };
  int32_t held = level();

  int s0 = first * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
  if (limit[0] == INT64_MIN && limit[1] == INT64_MIN && limit[2] == INT64_MIN && limit[3] == INT64_MIN) {
    // Nothing heard changes: the whole run is one level.
    const int s_end = last * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
    for (int i = s0; i < s_end; i++) psg_buffer[i] = (int16_t)held;
    first = last;
  }
  // The counters in registers, not in an array, for the line loop.
  int64_t c0 = c[0], c1 = c[1], c2 = c[2], c3 = c[3];
  for (int line = first; line < last; line++) {
    const int s1 = (line + 1) * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
    const int n = s1 - s0;
    int16_t *out = psg_buffer + s0;
    s0 = s1;
    const bool e0 = c0 <= limit[0], e1 = c1 <= limit[1], e2 = c2 <= limit[2], e3 = c3 <= limit[3];
    if (!(e0 | e1 | e2 | e3)) {
      c0 -= units[0];
      c1 -= units[1];
      c2 -= units[2];
      c3 -= units[3];
      for (int i = 0; i < n; i++) out[i] = (int16_t)held;
      continue;
    }
    const int32_t d = psg_units_per_substep(n);
    const int substeps = n * PSG_SUBSTEPS;
    const uint32_t all = (uint32_t)((1ull << substeps) - 1);
    // An expiry changes only its own channel's output: each divider's
    // output before its own step is the one it had at the line's start.
    const uint32_t m1 = !e0 ? (c0 -= units[0], all & (0u - (channel & 1)))
                            : psg_divider_expiry(c0, reload[0], single[0], d, substeps, channel, 1, nullptr, false);
    const uint32_t m2 = !e1 ? (c1 -= units[1], all & (0u - ((channel >> 1) & 1)))
                            : psg_divider_expiry(c1, reload[1], single[1], d, substeps, channel, 2, nullptr, false);
    const uint32_t m3 = !e2 ? (c2 -= units[2], all & (0u - ((channel >> 2) & 1)))
                            : psg_divider_expiry(c2, reload[2], single[2], d, substeps, channel, 4, nullptr, false);
    const uint32_t m4 = !e3 ? (c3 -= units[3], all & (0u - ((~noise >> 14) & 1)))
                            : psg_divider_expiry(c3, reload[3], single[3], d, substeps, channel, 8, &noise, white);
    held = level();
    // Channels that held one output all line give every sample the same
    // value, the one they end with.
    if (((m1 + 1) & all) <= 1 && ((m2 + 1) & all) <= 1 && ((m3 + 1) & all) <= 1 && ((m4 + 1) & all) <= 1) {
      for (int i = 0; i < n; i++) out[i] = (int16_t)held;
    } else {
      for (int i = 0; i < n; i++) {
        const int shift = i * PSG_SUBSTEPS;
        const int32_t sum = a[0] * PSG_NIBBLE_BITS[(m1 >> shift) & 15] + a[1] * PSG_NIBBLE_BITS[(m2 >> shift) & 15] +
                            a[2] * PSG_NIBBLE_BITS[(m3 >> shift) & 15] + a[3] * PSG_NIBBLE_BITS[(m4 >> shift) & 15];
        out[i] = (int16_t)(sum / 4);
      }
    }
  }

  psg_counter1 = (int32_t)c0;
  psg_counter2 = (int32_t)c1;
  psg_counter3 = (int32_t)c2;
  psg_counter4 = (int32_t)c3;
  psg_channel = channel;
  psg_noise = (int32_t)noise;
}

void psg_process(int line) {
  // The line index comes from the caller (or a restored snapshot); out of
  // range it would address samples outside the block.
  if (line < 0 || line >= LINES_PER_SOUND_PERIOD) return;
  psg_run(line, line + 1);
  if (sgm_active != 0) psg2_run(line, line + 1);
}

// The run of lines that have passed and are not synthesised yet: from
// psg_pending_first to the line in psg_pending_key (see psg.h), under the
// AY's state (on or off) in its bit 0.
int32_t psg_pending_key;
static int32_t psg_pending_first;

void psg_sync(void) {
  const int32_t next = psg_pending_key >> 1;
  if (psg_pending_first < next) {
    psg_run(psg_pending_first, next);
    if (psg_pending_key & 1) psg2_run(psg_pending_first, next);
  }
  psg_pending_first = next;
}

void psg_advance_run(int line) {
  if (line < 0 || line >= LINES_PER_SOUND_PERIOD) return;
  psg_sync();
  psg_pending_first = line;
  psg_pending_key = (line + 1) * 2 + (sgm_active != 0);
}
