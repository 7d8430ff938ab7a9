// The Super Game Module's AY-3-8910: register access and per-scanline
// synthesis, added into the samples the SN76489 has just written.
#include <cstdint>

#include "core/timing.h"
#include "memory/memory.h"
#include "sound/psg.h"

int32_t psg2_address, psg2_reg[16];
int32_t psg2_step1, psg2_counter1, psg2_step2, psg2_counter2;
int32_t psg2_step3, psg2_counter3, psg2_step4, psg2_counter4;
int32_t psg2_step5, psg2_counter5, psg2_noise;
int16_t psg2_vol[16];
int16_t psg2_table[16][64];

static int psg2_table_built;

// Bits of register 13, the envelope shape.
enum : int {
  ENVELOPE_HOLD = 1,       // after the first ramp, stay at one level
  ENVELOPE_ALTERNATE = 2,  // each ramp runs the other way than the one before
  ENVELOPE_ATTACK = 4,     // the first ramp rises
  ENVELOPE_CONTINUE = 8,   // without it the envelope falls silent after one ramp
};
enum : int32_t {
  ENVELOPE_RAMP = 0x1000000,  // 32 steps of the envelope counter
  ENVELOPE_END = 0x1FFFFFF,   // the counter's last position, step 63
};

// Every shape as 64 steps of levels: the first ramp, then the second. After
// step 63 the counter goes back one ramp (steps 32-63 repeat), or two for
// the triangles, whose cycle is both ramps.
static void psg2_build_table(void) {
  // 1.5 dB per level, each value truncated before the next is derived.
  int16_t level[32];
  int32_t v = 4681;
  level[31] = (int16_t)v;
  for (int i = 30; i >= 1; i--) {
    v = (int32_t)(v / 1.18921);
    level[i] = (int16_t)v;
  }
  level[0] = 0;

  for (int shape = 0; shape < 16; shape++) {
    const bool attack = (shape & ENVELOPE_ATTACK) != 0;
    const bool alternate = (shape & ENVELOPE_ALTERNATE) != 0;
    for (int i = 0; i < 32; i++) {
      const int first = attack ? i : 31 - i;
      int second;
      if (!(shape & ENVELOPE_CONTINUE)) second = 0;
      else if (shape & ENVELOPE_HOLD) second = attack != alternate ? 31 : 0;  // the ramp's end, or its inverse
      else second = alternate ? 31 - first : first;
      psg2_table[shape][i] = level[first];
      psg2_table[shape][32 + i] = level[second];
    }
  }
}

// How far the envelope counter goes back after its last step.
static int32_t psg2_envelope_wrap(int32_t shape) {
  const int32_t triangle = ENVELOPE_CONTINUE | ENVELOPE_ALTERNATE;
  return (shape & (triangle | ENVELOPE_HOLD)) == triangle ? 2 * ENVELOPE_RAMP : ENVELOPE_RAMP;
}

void psg2_init(void) {
  psg_sync();  // the lines before a reset are made with the state they had
  psg2_address = 0;
  psg2_reg[7] = 191;
  psg2_reg[8] = psg2_reg[9] = psg2_reg[10] = 0;
  psg2_reg[14] = 255;

  // 3 dB per volume step down from the same full level as the SN76489.
  int32_t v = 4681;
  psg2_vol[15] = (int16_t)v;
  for (int i = 14; i >= 1; i--) {
    v = (int32_t)(v / 1.41421);
    psg2_vol[i] = (int16_t)v;
  }
  psg2_vol[0] = 0;

  if (!psg2_table_built) {
    psg2_build_table();
    psg2_table_built = 1;
  }
}

void psg2_write_address(int value) {
  if (sgm_active == 0) return;
  psg2_address = value & 15;
}

static void psg2_derive_tone(int channel) {
  static int32_t *const step[3] = {&psg2_step1, &psg2_step2, &psg2_step3};
  static int32_t *const counter[3] = {&psg2_counter1, &psg2_counter2, &psg2_counter3};
  const int32_t period = psg2_reg[channel * 2] + 256 * psg2_reg[channel * 2 + 1];
  if (period > 4) {
    *step[channel] = 664935 / period;
  } else {
    // Too high to hear: bit 19 of the phase set holds the channel high.
    *step[channel] = 0;
    *counter[channel] = 0x80000;
  }
}

void psg2_write_data(int value) {
  if (sgm_active == 0) return;
  psg_sync();  // the lines before the write are made with the old registers
  sgm_active = 2;
  const int r = psg2_address & 15;
  const int v = value & 0xFF;
  switch (r) {
    case 1: case 3: case 5: case 13: psg2_reg[r] = v & 15; break;
    case 6: case 8: case 9: case 10: psg2_reg[r] = v & 31; break;
    case 14: break;  // the input port: never written
    default: psg2_reg[r] = v; break;
  }
  switch (r) {
    case 0: case 1: psg2_derive_tone(0); break;
    case 2: case 3: psg2_derive_tone(1); break;
    case 4: case 5: psg2_derive_tone(2); break;
    case 6: psg2_step4 = psg2_reg[6] != 0 ? 664935 / psg2_reg[6] : 664935; break;
    case 11: case 12: {
      const int32_t period = psg2_reg[11] + 256 * psg2_reg[12];
      psg2_step5 = period != 0 ? 664935 / period : 664935;
      break;
    }
    case 13: psg2_counter5 = 0; break;  // any shape write restarts the envelope
    default: break;
  }
}

int psg2_read(int port) {
  if (sgm_active == 0) return 255;
  switch (port & 0xFF) {
    case 0x50: return psg2_address & 15;
    case 0x51: case 0x52: return psg2_reg[psg2_address & 15] & 0xFF;
    default: return 255;
  }
}

// A line's sub-steps as bit masks (bit j for sub-step j), as for the
// SN76489: a counter that crosses no boundary within the line costs one
// compare; only a line with a crossing in it is stepped.
constexpr int PSG2_SUBSTEPS = 4, PHASE_BIT = 19;
constexpr int32_t NOISE_WRAP = 0xFFFFF;

// The three tones' phase bit 19 after each sub-step, side by side in the
// lanes of one vector (lane 3 idle). A line where no phase crosses a half
// period keeps every output; others are stepped, each sub-step's bit
// entering at the top.
typedef uint32_t u32x4 __attribute__((vector_size(16)));
typedef uint64_t u64x2 __attribute__((vector_size(16)));
// Whether every lane of a comparison's result is true (all ones).
static inline bool psg2_all_lanes(u32x4 v) {
  const u64x2 halves = (u64x2)v;
  return (halves[0] & halves[1]) == ~0ull;
}
// Only the lanes set in `watched` (all ones) are heard through their tone:
// a crossing elsewhere needs no stepping. A lane whose phase moves less
// than a half period in the line crosses at most once, at the sub-step
// one division finds; faster tones are stepped.
// `line_steps` is steps * substeps (SSE2 has no 32-bit vector multiply).
static u32x4 psg2_tone_masks(u32x4 &counters, u32x4 steps, u32x4 line_steps, int substeps, u32x4 watched) {
  const uint32_t all = (uint32_t)((1ull << substeps) - 1);
  const u32x4 first = counters + steps, last = counters + line_steps;
  const u32x4 short_span = (line_steps - steps) < (1u << PHASE_BIT);
  const u32x4 same = ((((first ^ last) >> PHASE_BIT) == 0) & short_span) | ~watched;
  u32x4 mask = (0 - ((first >> PHASE_BIT) & 1)) & all;
  if (psg2_all_lanes(same)) {  // lane 3 is never watched
    counters = last;
    return mask;
  }
  if (psg2_all_lanes(short_span | same)) {
    for (int lane = 0; lane < 3; lane++) {
      if (same[lane]) continue;
      // Sub-step j is at first + j * step; the first past the half period:
      const uint32_t to_half = ((first[lane] | ((1u << PHASE_BIT) - 1)) + 1) - first[lane];
      const uint32_t before = (1u << ((to_half + steps[lane] - 1) / steps[lane])) - 1;
      mask[lane] ^= all & ~before;
    }
    counters = last;
    return mask;
  }
  u32x4 c = counters;
  mask = (u32x4){0, 0, 0, 0};
  for (int j = 0; j < substeps; j++) {
    c += steps;
    mask = (mask >> 1) | ((c << (31 - PHASE_BIT)) & 0x80000000u);
  }
  counters = c;
  return mask >> (32 - substeps);
}

// Noise: the register's bit 1 after each sub-step; the divider shifts the
// register as it passes its end. With a counter in range and a step below
// the end, at most one shift falls in a sub-step and the line goes from
// shift to shift; anything else (a damaged snapshot) is stepped.
static inline void psg2_noise_shift(uint32_t &noise) {
  if (noise == 0) noise = 1;
  noise = (noise >> 1) ^ ((0 - (noise & 1)) & 0x420000);
}

// `in_range` says the counter and step are within the range; a line keeps
// the counter there, so it holds for a whole run.
static uint32_t psg2_noise_mask(int32_t &counter, uint32_t step, uint32_t &noise, int substeps, bool in_range) {
  const uint32_t all = (uint32_t)((1ull << substeps) - 1);
  const int64_t at = counter + (int64_t)step * substeps;
  // Selections by the output bit without branches: it is random.
  if (in_range && at <= NOISE_WRAP) {
    counter = (int32_t)at;
    return all & (0u - ((noise >> 1) & 1));
  }
  if (in_range && at <= 2 * NOISE_WRAP + 1) {
    // One shift: sub-steps before `held` stay within the range.
    const int held = (int)((uint32_t)(NOISE_WRAP - counter) / step);
    const uint32_t before = (1u << held) - 1;
    uint32_t mask = before & (0u - ((noise >> 1) & 1));
    psg2_noise_shift(noise);
    mask |= all & ~before & (0u - ((noise >> 1) & 1));
    counter = (int32_t)((uint32_t)counter + step * (uint32_t)substeps) & NOISE_WRAP;
    return mask;
  }
  uint32_t mask = 0;
  if (counter >= 0 && counter <= NOISE_WRAP && step > 0 && step <= NOISE_WRAP) {
    uint32_t c = (uint32_t)counter;
    for (int j = 0;;) {
      // Sub-steps j .. j + held - 1 stay within the range; the next passes it.
      const int held = (int)((NOISE_WRAP - c) / step);
      if (j + held >= substeps) {
        counter = (int32_t)(c + step * (uint32_t)(substeps - j));
        if ((noise >> 1) & 1) mask |= all & ~((1u << j) - 1);
        return mask;
      }
      if ((noise >> 1) & 1) mask |= ((1u << held) - 1) << j;
      j += held;
      c = (c + step * (uint32_t)(held + 1)) & NOISE_WRAP;
      psg2_noise_shift(noise);
      mask |= ((noise >> 1) & 1) << j;
      if (++j == substeps) {
        counter = (int32_t)c;
        return mask;
      }
    }
  }
  int32_t c = counter;
  for (int j = 0; j < substeps; j++) {
    c = (int32_t)((uint32_t)c + step);
    if (c > NOISE_WRAP) {
      c &= NOISE_WRAP;
      psg2_noise_shift(noise);
    }
    mask |= ((noise >> 1) & 1) << j;
  }
  counter = c;
  return mask;
}

// Envelope: where its level (bits 24..19 of the counter) goes within the
// line. Commonly it holds one level, or moves once: to the next level from
// the sub-steps in `*after` on. Otherwise (a fast envelope, or the counter
// going back a ramp) every sub-step's counter is put into positions[].
// positions[0] is the first sub-step's counter in all cases.
enum EnvelopeLine { ENVELOPE_HELD, ENVELOPE_MOVES_ONCE, ENVELOPE_STEPPED };
static EnvelopeLine psg2_envelope(int32_t &counter, uint32_t step, int32_t wrap, int substeps, int32_t *positions,
                                  uint32_t *after) {
  if (counter >= 0 && counter + (int64_t)step * substeps <= ENVELOPE_END) {
    const int32_t first = counter + (int32_t)step;
    counter += (int32_t)(step * (uint32_t)substeps);
    positions[0] = first;
    const int32_t level = first >> PHASE_BIT;
    if (level == counter >> PHASE_BIT) return ENVELOPE_HELD;
    if (level + 1 == counter >> PHASE_BIT) {
      // Sub-step j is at first + j * step; the first at the next level:
      const uint32_t to_next = (uint32_t)((level + 1) << PHASE_BIT) - (uint32_t)first;
      *after = ~((1u << ((to_next + step - 1) / step)) - 1);
      return ENVELOPE_MOVES_ONCE;
    }
    for (int j = 1; j < substeps; j++) positions[j] = positions[j - 1] + (int32_t)step;
    return ENVELOPE_STEPPED;
  }
  int32_t c = counter;
  for (int j = 0; j < substeps; j++) {
    c = (int32_t)((uint32_t)c + step);
    while (c > ENVELOPE_END) c -= wrap;
    positions[j] = c;
  }
  counter = c;
  return ENVELOPE_STEPPED;
}

// A run of lines in which a divider is not heard advances it at once, as
// stepping each sub-step would: these return false for a counter or step
// out of range (a damaged snapshot), which is then stepped line by line.
static bool psg2_noise_skip(int32_t &counter, uint32_t step, uint32_t &noise, uint32_t substeps) {
  if (counter < 0 || counter > NOISE_WRAP || step > NOISE_WRAP) return false;
  // Each sub-step passes the end at most once, and each pass shifts.
  const int64_t at = counter + (int64_t)step * substeps;
  for (int64_t shifts = at >> 20; shifts > 0; shifts--) psg2_noise_shift(noise);
  counter = (int32_t)(at & NOISE_WRAP);
  return true;
}
static bool psg2_envelope_skip(int32_t &counter, uint32_t step, int32_t wrap, uint32_t substeps) {
  if (counter < 0 || counter > ENVELOPE_END || step > (uint32_t)ENVELOPE_RAMP) return false;
  // Once past the end, the counter stays within the last `wrap` positions.
  int64_t at = counter + (int64_t)step * substeps;
  if (at > ENVELOPE_END) at -= (at - ENVELOPE_END + wrap - 1) / wrap * wrap;
  counter = (int32_t)at;
  return true;
}

void psg2_run(int first, int last) {
  if (first < 0) first = 0;
  if (last > LINES_PER_SOUND_PERIOD) last = LINES_PER_SOUND_PERIOD;
  if (first >= last) return;
  int s0 = first * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
  const uint32_t substeps_of_run = PSG2_SUBSTEPS * (uint32_t)(last * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD - s0);

  // Per channel: the gate (tone or tone off, and noise or noise off) as a
  // mask, and a fixed amplitude or the envelope's level. The mixer gates
  // both modes alike: with tone and noise off a channel gives its level
  // itself, which is how music plays the envelope as a waveform. A channel
  // at fixed level 0 is not heard; most cartridges never use this chip.
  const int32_t mixer = psg2_reg[7];
  const int16_t *shape = psg2_table[psg2_reg[13] & 15];
  const bool any_envelope = ((psg2_reg[8] | psg2_reg[9] | psg2_reg[10]) & 16) != 0;
  u32x4 fixed = {0, 0, 0, 0}, envelope = {0, 0, 0, 0};  // envelope: all ones in its lanes
  u32x4 tone_off = {0, 0, 0, 0}, noise_off = {0, 0, 0, 0}, heard_gate = {0, 0, 0, 0};
  u32x4 watched = {0, 0, 0, 0};
  bool heard = false, noise_heard = false;
  for (int c = 0; c < 3; c++) {
    const int32_t amplitude = psg2_reg[8 + c];
    envelope[c] = (amplitude & 16) ? ~0u : 0;
    fixed[c] = envelope[c] ? 0 : (uint32_t)psg2_vol[amplitude & 15];
    tone_off[c] = (mixer & (1 << c)) ? ~0u : 0;
    noise_off[c] = (mixer & (8 << c)) ? ~0u : 0;
    if (envelope[c] || fixed[c] != 0) {
      heard_gate[c] = ~0u;
      heard = true;
      if (!tone_off[c]) watched[c] = ~0u;
      if (!noise_off[c]) noise_heard = true;
    }
  }

  // Counters wrap modulo 2^32: unsigned arithmetic keeps that defined.
  u32x4 phases = {(uint32_t)psg2_counter1, (uint32_t)psg2_counter2, (uint32_t)psg2_counter3, 0};
  const u32x4 steps = {(uint32_t)psg2_step1, (uint32_t)psg2_step2, (uint32_t)psg2_step3, 0};
  int32_t c4 = psg2_counter4, c5 = psg2_counter5;
  uint32_t noise = (uint32_t)psg2_noise;
  const uint32_t step4 = (uint32_t)psg2_step4, step5 = (uint32_t)psg2_step5;
  const int32_t wrap = psg2_envelope_wrap(psg2_reg[13]);
  const bool noise_in_range = c4 >= 0 && c4 <= NOISE_WRAP && step4 <= NOISE_WRAP;
  const bool noise_lines = (heard && noise_heard) || !psg2_noise_skip(c4, step4, noise, substeps_of_run);
  const bool envelope_lines = any_envelope || !psg2_envelope_skip(c5, step5, wrap, substeps_of_run);
  if (!heard) phases += steps * substeps_of_run;
  const u32x4 steps_8 = steps * (uint32_t)(2 * PSG2_SUBSTEPS), steps_12 = steps * (uint32_t)(3 * PSG2_SUBSTEPS);

  if (heard || noise_lines || envelope_lines) {
    for (int line = first; line < last; line++) {
      const int s1 = (line + 1) * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
      const int n = s1 - s0;
      int16_t *out = psg_buffer + s0;
      s0 = s1;
      const int substeps = n * PSG2_SUBSTEPS;
      const uint32_t all = (uint32_t)((1ull << substeps) - 1);

      const uint32_t noise_mask = noise_lines ? psg2_noise_mask(c4, step4, noise, substeps, noise_in_range) : 0;
      int32_t positions[32];
      uint32_t after = 0;  // sub-steps at the envelope's second level
      const EnvelopeLine moves =
          envelope_lines ? psg2_envelope(c5, step5, wrap, substeps, positions, &after) : ENVELOPE_HELD;
      if (!heard) continue;
      const u32x4 tone = psg2_tone_masks(phases, steps, n == 2 ? steps_8 : steps_12, substeps, watched);

      // The channels side by side: a gate open all line or shut all line
      // gives every sample the same sum.
      const u32x4 gate = (tone | tone_off) & (noise_mask | noise_off) & heard_gate & all;
      const int32_t level = any_envelope ? (positions[0] >> PHASE_BIT) & 63 : 0;
      const u32x4 amplitude = fixed | (envelope & (uint32_t)(any_envelope ? shape[level] : 0));
      if (!any_envelope || moves == ENVELOPE_HELD) {
        const u32x4 full = gate == all, steady = full | (gate == 0);
        if (psg2_all_lanes(steady)) {  // lane 3's gate is shut
          const u32x4 on = amplitude & full;
          const int32_t sum = (int32_t)(on[0] + on[1] + on[2]);
          for (int i = 0; i < n; i++) out[i] = (int16_t)(out[i] + sum);
          continue;
        }
        for (int i = 0; i < n; i++) {
          const int shift = i * PSG2_SUBSTEPS;
          const int32_t sum = (int32_t)(amplitude[0] * PSG_NIBBLE_BITS[(gate[0] >> shift) & 15] +
                                        amplitude[1] * PSG_NIBBLE_BITS[(gate[1] >> shift) & 15] +
                                        amplitude[2] * PSG_NIBBLE_BITS[(gate[2] >> shift) & 15]);
          out[i] = (int16_t)(out[i] + sum / 4);
        }
        continue;
      }
      if (moves == ENVELOPE_MOVES_ONCE) {
        // The sub-steps before the move at one amplitude, the rest at the other.
        const u32x4 second = fixed | (envelope & (uint32_t)shape[(level + 1) & 63]);
        const u32x4 early = gate & ~after, late = gate & after;
        for (int i = 0; i < n; i++) {
          const int shift = i * PSG2_SUBSTEPS;
          const int32_t sum = (int32_t)(amplitude[0] * PSG_NIBBLE_BITS[(early[0] >> shift) & 15] +
                                        second[0] * PSG_NIBBLE_BITS[(late[0] >> shift) & 15] +
                                        amplitude[1] * PSG_NIBBLE_BITS[(early[1] >> shift) & 15] +
                                        second[1] * PSG_NIBBLE_BITS[(late[1] >> shift) & 15] +
                                        amplitude[2] * PSG_NIBBLE_BITS[(early[2] >> shift) & 15] +
                                        second[2] * PSG_NIBBLE_BITS[(late[2] >> shift) & 15]);
          out[i] = (int16_t)(out[i] + sum / 4);
        }
        continue;
      }
      // The envelope's level moves within the line: each sub-step its own.
      for (int i = 0; i < n; i++) {
        const int shift = i * PSG2_SUBSTEPS;
        int32_t levels[PSG2_SUBSTEPS];
        for (int k = 0; k < PSG2_SUBSTEPS; k++) levels[k] = shape[(positions[shift + k] >> PHASE_BIT) & 63];
        int32_t sum = 0;
        for (int c = 0; c < 3; c++) {
          const uint32_t g = (gate[c] >> shift) & 15;
          if (!envelope[c]) {
            sum += (int32_t)amplitude[c] * PSG_NIBBLE_BITS[g];
          } else {
            for (int k = 0; k < PSG2_SUBSTEPS; k++) sum += (g >> k & 1) ? levels[k] : 0;
          }
        }
        out[i] = (int16_t)(out[i] + sum / 4);
      }
    }
  }

  psg2_counter1 = (int32_t)phases[0];
  psg2_counter2 = (int32_t)phases[1];
  psg2_counter3 = (int32_t)phases[2];
  psg2_counter4 = c4;
  psg2_counter5 = c5;
  psg2_noise = (int32_t)noise;
}

void psg2_process(int line) {
  if (line < 0 || line >= LINES_PER_SOUND_PERIOD) return;
  psg2_run(line, line + 1);
}
