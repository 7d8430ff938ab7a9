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

void psg2_process(int line) {
  if (line < 0 || line >= LINES_PER_SOUND_PERIOD) return;
  const int s0 = line * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
  const int n = (line + 1) * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD - s0;

  // Counters wrap modulo 2^32: unsigned arithmetic keeps that defined.
  uint32_t c1 = (uint32_t)psg2_counter1, c2 = (uint32_t)psg2_counter2, c3 = (uint32_t)psg2_counter3;
  const uint32_t st1 = (uint32_t)psg2_step1, st2 = (uint32_t)psg2_step2, st3 = (uint32_t)psg2_step3;
  int32_t c4 = psg2_counter4, c5 = psg2_counter5;
  const uint32_t st4 = (uint32_t)psg2_step4, st5 = (uint32_t)psg2_step5;
  uint32_t noise = (uint32_t)psg2_noise;

  // Per channel: tone forced on (tone off), noise forced on (noise off),
  // envelope mode, fixed amplitude. The mixer gates both modes alike: with
  // tone and noise off a channel gives its level itself, which is how music
  // plays the envelope as a waveform.
  const int32_t mixer = psg2_reg[7];
  uint32_t tone_on[3], noise_on[3];
  bool envelope[3];
  int32_t fixed[3];
  for (int c = 0; c < 3; c++) {
    const int32_t amplitude = psg2_reg[8 + c];
    envelope[c] = (amplitude & 16) != 0;
    tone_on[c] = (mixer & (1 << c)) ? 1 : 0;
    noise_on[c] = (mixer & (8 << c)) ? 1 : 0;
    fixed[c] = psg2_vol[amplitude & 15];
  }
  const int16_t *shape = psg2_table[psg2_reg[13] & 15];
  const int32_t wrap = psg2_envelope_wrap(psg2_reg[13]);

  // Most cartridges never use this chip: with every channel at level 0 only
  // the counters and the noise register move, so skip the mixing.
  if (!envelope[0] && !envelope[1] && !envelope[2] && (fixed[0] | fixed[1] | fixed[2]) == 0) {
    const uint32_t steps = 4u * (uint32_t)n;
    c1 += steps * st1;
    c2 += steps * st2;
    c3 += steps * st3;
    for (uint32_t k = 0; k < steps; k++) {
      c4 = (int32_t)((uint32_t)c4 + st4);
      c5 = (int32_t)((uint32_t)c5 + st5);
      while (c5 > ENVELOPE_END) c5 -= wrap;
      if (c4 > 0xFFFFF) {
        c4 &= 0xFFFFF;
        if (noise == 0) noise = 1;
        noise = (noise & 1) ? (noise ^ 0x840000) >> 1 : noise >> 1;
      }
    }
    psg2_counter1 = (int32_t)c1;
    psg2_counter2 = (int32_t)c2;
    psg2_counter3 = (int32_t)c3;
    psg2_counter4 = c4;
    psg2_counter5 = c5;
    psg2_noise = (int32_t)noise;
    return;
  }

  for (int i = 0; i < n; i++) {
    int32_t sum = 0;
    for (int sub = 0; sub < 4; sub++) {
      c1 += st1;
      c2 += st2;
      c3 += st3;
      c4 = (int32_t)((uint32_t)c4 + st4);
      c5 = (int32_t)((uint32_t)c5 + st5);
      while (c5 > ENVELOPE_END) c5 -= wrap;
      if (c4 > 0xFFFFF) {
        c4 &= 0xFFFFF;
        if (noise == 0) noise = 1;
        noise = (noise & 1) ? (noise ^ 0x840000) >> 1 : noise >> 1;
      }
      const uint32_t noise_bit = (noise >> 1) & 1;
      const int32_t level = shape[(c5 >> 19) & 63];
      const uint32_t t[3] = {(c1 >> 19) & 1, (c2 >> 19) & 1, (c3 >> 19) & 1};
      for (int c = 0; c < 3; c++) {
        // Branch-free: the noise makes the gate unpredictable.
        const int32_t gate = (int32_t)((t[c] | tone_on[c]) & (noise_bit | noise_on[c]));
        sum += (envelope[c] ? level : fixed[c]) & -gate;
      }
    }
    psg_buffer[s0 + i] = (int16_t)(psg_buffer[s0 + i] + sum / 4);
  }

  psg2_counter1 = (int32_t)c1;
  psg2_counter2 = (int32_t)c2;
  psg2_counter3 = (int32_t)c3;
  psg2_counter4 = c4;
  psg2_counter5 = c5;
  psg2_noise = (int32_t)noise;
}
