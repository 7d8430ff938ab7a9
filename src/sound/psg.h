// SN76489, the Super Game Module's AY-3-8910, and the audio ring.
#pragma once
#include <atomic>
#include <cstdint>

#include "core/timing.h"
#include "memory/memory.h"

// SN76489 (psg.cpp).
extern int32_t psg_address;
extern int32_t psg_reg[8];
extern int32_t psg_vol[16];
extern int32_t psg_step1, psg_counter1, psg_step2, psg_counter2;
extern int32_t psg_step3, psg_counter3, psg_step4, psg_counter4;
extern int32_t psg_channel, psg_noise;
extern int16_t psg_buffer[SAMPLES_PER_PERIOD];

// AY-3-8910 (psg2.cpp).
extern int32_t psg2_address;
extern int32_t psg2_reg[16];
extern int32_t psg2_step1, psg2_counter1, psg2_step2, psg2_counter2;
extern int32_t psg2_step3, psg2_counter3, psg2_step4, psg2_counter4;
extern int32_t psg2_step5, psg2_counter5, psg2_noise;
extern int16_t psg2_vol[16];         // fixed-volume amplitudes
extern int16_t psg2_table[16][64];   // envelope amplitude per shape and step

void psg_init(void);                // synthesises what is pending first
int psg_write(int value);          // returns the extra CPU cycles (26)
// Generates the samples of scanline `line` (0-156) of the sound period
// into psg_buffer, the AY's included; line 156 completes the block.
void psg_process(int line);
// The machine's hand-off: psg_advance(line) after scanline `line` has run.
// Lines are synthesised lazily, many in one call, by psg_sync: on a write
// to either chip, a reset, a snapshot, and from the machine at the end of
// a sound period and whenever it returns. Everything that reads the
// generators' state or psg_buffer syncs first.
void psg_sync(void);
// A new period, a jump (snapshot) or the AY switched on or off starts a new
// run of pending lines, after making the old one under what held before.
// Otherwise a line only extends the run, inline: psg_pending_key is the
// next line * 2 + whether the AY is on.
extern int32_t psg_pending_key;
void psg_advance_run(int line);
inline void psg_advance(int line) {
  const int32_t key = line * 2 + (sgm_active != 0);
  if (key == psg_pending_key) psg_pending_key = key + 2;
  else psg_advance_run(line);
}
void psg2_init(void);
void psg2_write_address(int value);
void psg2_write_data(int value);
int psg2_read(int port);
void psg2_process(int line);
// Adds the AY's samples of lines first .. last - 1 into psg_buffer.
void psg2_run(int first, int last);
// Set bits of a nibble: the sub-steps a channel sounds within one sample.
constexpr uint8_t PSG_NIBBLE_BITS[16] = {0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4};

// Audio ring and device (audio.cpp).
extern int32_t sound_pacing;       // 0: never wait for the device (headless)
extern uint8_t megabuffer[65536];  // ring of 16-bit little-endian mono samples
extern int32_t audio_write_pos;    // producer's byte offset
extern int32_t audio_read_pos;     // callback's byte offset
extern std::atomic<uint32_t> audio_bytes_written;  // running totals
extern std::atomic<uint32_t> audio_bytes_read;

int audio_open(void);              // reopens the device with an empty ring; 0 on success
void audio_close(void);
void audio_reset_ring(void);
// Bytes queued and not yet consumed by the callback (producer side).
uint32_t audio_unplayed(void);
// Copies one block of samples into the ring and publishes it; never waits.
void audio_ring_write(const int16_t *block);
// End of a sound period: waits for the device (or the pacing timer) while
// the ring is full, calling poll every 3 ms and giving up when *stop
// becomes non-zero; then queues the block and keeps the device playing.
void audio_push_block(const int16_t *block, void (*poll)(void), const int32_t *stop);
// SDL's audio callback (audio thread): copies unplayed samples out of the ring.
void fill_audio(void *userdata, uint8_t *stream, int len);
