// SN76489: port decoding and per-scanline synthesis into psg_buffer.
#include "sound/psg.h"

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

// One channel's down-counter over one sub-step; returns how often it expired.
// 64-bit so that any restored counter value is handled without overflow.
static inline int psg_count(int64_t &counter, int64_t reload, int32_t d) {
  int expiries = 0;
  counter -= d;
  while (counter < 1) {
    counter += reload;
    expiries++;
  }
  return expiries;
}

void psg_process(int line) {
  // The line index comes from the interpreter (or a restored snapshot); out
  // of range it would address samples outside the block.
  if (line < 0 || line >= LINES_PER_SOUND_PERIOD) return;
  const int s0 = line * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
  const int s1 = (line + 1) * SAMPLES_PER_PERIOD / LINES_PER_SOUND_PERIOD;
  const int n = s1 - s0;
  // Four sub-steps a sample share the scanline's counter units evenly.
  const int32_t d = UNITS_PER_LINE / 4 / (n != 0 ? n : 1);

  // A step that is not positive holds its channel (0 by derivation; anything
  // else only comes from a damaged snapshot and must not spin forever).
  const bool run1 = psg_step1 > 0, run2 = psg_step2 > 0, run3 = psg_step3 > 0;
  const bool run4 = psg_step4 > 0;
  const int64_t reload1 = (int64_t)psg_step1 * 65536, reload2 = (int64_t)psg_step2 * 65536;
  const int64_t reload3 = (int64_t)psg_step3 * 65536, reload4 = (int64_t)psg_step4 * 65536;
  int64_t c1 = psg_counter1, c2 = psg_counter2, c3 = psg_counter3, c4 = psg_counter4;
  int32_t channel = psg_channel;
  uint32_t noise = (uint32_t)psg_noise;
  const bool white = (psg_reg[6] & 4) != 0;
  const int64_t a1 = psg_reg[1], a2 = psg_reg[3], a3 = psg_reg[5], a4 = psg_reg[7];

  for (int i = 0; i < n; i++) {
    int64_t sum = 0;
    for (int sub = 0; sub < 4; sub++) {
      if (run1 && (psg_count(c1, reload1, d) & 1)) channel ^= 1;
      if (run2 && (psg_count(c2, reload2, d) & 1)) channel ^= 2;
      if (run3 && (psg_count(c3, reload3, d) & 1)) channel ^= 4;
      if (run4) {
        c4 -= d;
        while (c4 < 1) {
          c4 += reload4;
          channel ^= 8;
          if (channel & 8) {  // every second expiry shifts the register
            if (noise == 0) noise = 1;
            const uint32_t feedback = white ? ((noise >> 14) ^ (noise >> 13)) & 1 : (noise >> 14) & 1;
            noise = (noise << 1) | feedback;
          }
        }
      }
      if (channel & 1) sum += a1;
      if (channel & 2) sum += a2;
      if (channel & 4) sum += a3;
      if (!(noise & 0x4000)) sum += a4;
    }
    psg_buffer[s0 + i] = (int16_t)(sum / 4);
  }

  psg_counter1 = (int32_t)c1;
  psg_counter2 = (int32_t)c2;
  psg_counter3 = (int32_t)c3;
  psg_counter4 = (int32_t)c4;
  psg_channel = channel;
  psg_noise = (int32_t)noise;

  if (sgm_active != 0) psg2_process(line);
}
