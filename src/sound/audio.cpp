// The audio ring between the emulation thread and SDL's audio callback,
// and the pacing that ties the emulation to the audio clock.
//
// Lock-free: the producer writes only audio_write_pos and
// audio_bytes_written, the callback only audio_read_pos and
// audio_bytes_read. Each side publishes its total with release after
// touching the ring and reads the other's total with acquire before.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "core/timing.h"
#include "host/host.h"
#include "sound/psg.h"
#include "video/vdp.h"

int32_t sound_pacing = 1;
uint8_t megabuffer[65536];
int32_t audio_write_pos, audio_read_pos;
std::atomic<uint32_t> audio_bytes_written{0}, audio_bytes_read{0};

static const uint32_t AUDIO_RING = 65536;
static const uint32_t AUDIO_BLOCK = SAMPLES_PER_PERIOD * 2;  // 16-bit samples
static const uint32_t AUDIO_MAX_UNPLAYED = 1759;               // two blocks, less a byte
static const uint64_t AUDIO_BYTES_PER_SECOND = SAMPLE_RATE * 2;
// Above a PAL frame and the most the queue can be ahead, so a timed wait is
// one sleep; it bounds how long a quit may go unseen.
static const int AUDIO_WAIT_MAX_MS = 30;
// The timer lets the queue run up to half a block further ahead than a
// device does: nothing plays it, and the room makes the frame-end waits
// below safe from late wake-ups.
static const uint32_t TIMER_MAX_UNPLAYED = AUDIO_MAX_UNPLAYED + AUDIO_BLOCK / 2;
// The last block before a frame's end waits until that end is this far
// ahead of real time, which leaves room for the next block: one sleep a
// frame, and frames shown at even intervals ...
static const uint32_t AUDIO_FRAME_LEAD = TIMER_MAX_UNPLAYED - AUDIO_BLOCK;
// ... and the queue is never let closer than 2 ms to running dry, which a
// late wake-up would turn into a restart of the timer.
static const uint32_t AUDIO_FRAME_MARGIN = (uint32_t)(AUDIO_BYTES_PER_SECOND / 500);

// GCC expands small copies inline, unseen by the thread sanitizer; under
// that sanitizer the ring's copies go through the real, intercepted call.
#if defined(__SANITIZE_THREAD__)
static void *(*volatile ring_copy)(void *, const void *, size_t) = memcpy;
#else
static inline void *ring_copy(void *dst, const void *src, size_t n) { return memcpy(dst, src, n); }
#endif

// Timer pacing when no real device consumes the ring: a virtual consumer
// that plays 88200 bytes a second from pace_start.
typedef std::chrono::steady_clock pace_clock;
static pace_clock::time_point pace_start;
static uint64_t pace_queued;  // bytes handed over since pace_start
static bool pace_running;

void audio_reset_ring(void) {
  audio_write_pos = 0;
  audio_read_pos = 0;
  audio_bytes_written.store(0, std::memory_order_relaxed);
  audio_bytes_read.store(0, std::memory_order_relaxed);
  pace_running = false;
}

int audio_open(void) {
  host_audio_close();  // never two callbacks on one ring
  audio_reset_ring();
  host_audio_open();
  return host_audio_opened() ? 0 : 1;
}

void audio_close(void) { host_audio_close(); }

uint32_t audio_unplayed(void) {
  return audio_bytes_written.load(std::memory_order_relaxed) -
         audio_bytes_read.load(std::memory_order_acquire);
}

void audio_ring_write(const int16_t *block) {
  // The ring holds little-endian samples whatever the host's order.
  uint8_t little[AUDIO_BLOCK];
  for (uint32_t i = 0; i < AUDIO_BLOCK / 2; i++) {
    little[2 * i] = (uint8_t)block[i];
    little[2 * i + 1] = (uint8_t)((uint16_t)block[i] >> 8);
  }
  const uint8_t *src = little;
  uint32_t left = AUDIO_BLOCK;
  uint32_t pos = (uint32_t)audio_write_pos & (AUDIO_RING - 1);
  if (pos + left > AUDIO_RING) {
    const uint32_t first = AUDIO_RING - pos;
    ring_copy(megabuffer + pos, src, first);
    src += first;
    left -= first;
    pos = 0;
  }
  ring_copy(megabuffer + pos, src, left);
  pos += left;
  if (pos == AUDIO_RING) pos = 0;
  audio_write_pos = (int32_t)pos;
  audio_bytes_written.fetch_add(AUDIO_BLOCK, std::memory_order_release);
}

// A stopped device or SDL's dummy driver does not keep real time: the
// machine is then paced like with no device at all.
static bool audio_device_plays(void) { return host_audio_real_time() != 0; }

// The callback signals each request it served; a wait for room sleeps
// until then rather than looking every few milliseconds.
static std::mutex served_lock;
static std::condition_variable served;

static bool room_in_queue(void) { return audio_unplayed() <= AUDIO_MAX_UNPLAYED; }

static void audio_wait_device(void (*poll)(void), const int32_t *stop) {
  // Ends early when the device goes away (closed from a hotkey) or the user
  // quits, so that nothing waits for a callback that will never come; a
  // device that stops calling back is looked at every AUDIO_WAIT_MAX_MS.
  while (!room_in_queue() && host_audio_opened() && *stop == 0) {
    poll();
    {
      std::unique_lock<std::mutex> lock(served_lock);
      served.wait_for(lock, std::chrono::milliseconds(AUDIO_WAIT_MAX_MS), room_in_queue);
    }
    host_woke();
  }
}

static uint64_t pace_played(pace_clock::time_point now) {
  const uint64_t us = (uint64_t)std::chrono::duration_cast<std::chrono::microseconds>(now - pace_start).count();
  return us * AUDIO_BYTES_PER_SECOND / 1000000;
}

// The queue's lead (bytes ahead of real time) the timer allows before this
// block: less when the frame ends before the next block does.
static uint32_t timer_lead_allowed(void) {
  const int32_t frame = lines_per_frame(vdp_pal);
  // A restored snapshot may carry any line number.
  if (vdp_line < 0 || vdp_line >= frame) return TIMER_MAX_UNPLAYED;
  const uint32_t lines_left = (uint32_t)(frame - 1 - vdp_line);
  if (lines_left >= LINES_PER_SOUND_PERIOD) return TIMER_MAX_UNPLAYED;
  const uint32_t to_frame_end = lines_left * AUDIO_BLOCK / LINES_PER_SOUND_PERIOD;
  return to_frame_end + AUDIO_FRAME_MARGIN < AUDIO_FRAME_LEAD ? AUDIO_FRAME_LEAD - to_frame_end : AUDIO_FRAME_MARGIN;
}

static void audio_wait_timer(void (*poll)(void), const int32_t *stop) {
  pace_clock::time_point now = pace_clock::now();
  if (!pace_running) {
    pace_start = now;
    pace_queued = 0;
    pace_running = true;
  }
  const uint32_t allowed = timer_lead_allowed();
  for (;;) {
    const uint64_t played = pace_played(now);
    if (played > pace_queued) {
      // Behind time, as a device would play silence: start afresh rather
      // than racing to catch up.
      pace_start = now;
      pace_queued = 0;
      break;
    }
    if (pace_queued - played <= allowed || *stop != 0) break;
    poll();
    // Sleep until the lead is down to what is allowed (rounded up), polling
    // at least every AUDIO_WAIT_MAX_MS: shorter sleeps only wake more often.
    const uint64_t due_us =
        ((pace_queued - played - allowed) * 1000000 + AUDIO_BYTES_PER_SECOND - 1) / AUDIO_BYTES_PER_SECOND;
    host_sleep_us(due_us < (uint64_t)AUDIO_WAIT_MAX_MS * 1000 ? (int)due_us : AUDIO_WAIT_MAX_MS * 1000);
    now = pace_clock::now();
  }
  pace_queued += AUDIO_BLOCK;
}

void audio_push_block(const int16_t *block, void (*poll)(void), const int32_t *stop) {
  if (sound_pacing != 0) {
    if (audio_device_plays())
      audio_wait_device(poll, stop);
    else
      audio_wait_timer(poll, stop);
  }
  audio_ring_write(block);
  host_audio_start();
}

void fill_audio(void *, uint8_t *stream, int len) {
  if (stream == nullptr || len <= 0) return;
  const uint32_t read = audio_bytes_read.load(std::memory_order_relaxed);
  const uint32_t written = audio_bytes_written.load(std::memory_order_acquire);
  // A request is played whole or not at all.
  if ((int32_t)(written - ((uint32_t)len + read)) < 0) {
    memset(stream, 0, (size_t)len);
    return;
  }
  uint32_t pos = (uint32_t)audio_read_pos & (AUDIO_RING - 1);
  uint32_t left = (uint32_t)len;
  while (left > 0) {
    const uint32_t chunk = left < AUDIO_RING - pos ? left : AUDIO_RING - pos;
    ring_copy(stream, megabuffer + pos, chunk);
    stream += chunk;
    left -= chunk;
    pos += chunk;
    if (pos == AUDIO_RING) pos = 0;
  }
  audio_read_pos = (int32_t)pos;
  audio_bytes_read.store(read + (uint32_t)len, std::memory_order_release);
  // Taken so that a waiter between its look at the queue and its sleep
  // cannot miss the signal.
  { std::lock_guard<std::mutex> lock(served_lock); }
  served.notify_one();
}
