// AVI recorder: ZMBV video at 32 bits per pixel and 16-bit mono PCM at
// 44100 Hz, interleaved one frame at a time in "rec " lists.
//
// The video stream declares the machine's own frame rate, an exact fraction
// (44100 x 157 / 440 scanlines a second over 262 or 313 a frame), so every
// frame is written as it comes, with the sound made since the last one, and
// picture and sound stay together however long the recording runs.
//
// Every write is checked. On the first failure (a full disk) the recording
// stops, and the file is cut back to its last whole "rec " list, indexed if
// there is room for that, and its sizes made to match what is there.
#include "capture/capture.h"

#include <cstdlib>
#include <cstring>
#include <zlib.h>

#include "common/paths.h"
#include "core/timing.h"
#include "video/present.h"
#include "video/vdp.h"

enum {
  FRAME_PIXELS = 256 * 192,
  FRAME_BYTES = FRAME_PIXELS * 4,
  AUDIO_RING = 44100,
  INDEX_ENTRIES = 1048576,  // initial idx1 capacity, doubled when full
  DELTA_VECTORS = 384       // two bytes for each of the 16 x 12 blocks
};
enum : uint32_t {
  AVIF_HASINDEX = 0x10,
  AVIF_ISINTERLEAVED = 0x100,
};

// ---- recording state, reset when a recording starts

static bool avi_running;  // headers written and index allocated
static FILE *avi_file;    // the file those headers went to
static bool write_error;  // a write or seek failed since this was last cleared
static int32_t key_frames;
// The last frame written, which the next delta frame refers to.
static uint32_t previous_frame[FRAME_PIXELS];
// A frame in the file's pixel order, when the frame buffer's differs.
static uint32_t file_frame[FRAME_PIXELS];
static int16_t audio_buffer[AUDIO_RING];
static int32_t audio_buffer_write, audio_buffer_read;
static int64_t audio_buffer_total_write, audio_buffer_total_read;
static int32_t total_frames, total_audio;
static int32_t max_size_frame, max_size_audio;
static int64_t riff_nesting[512];
static int32_t riff_nesting_level;
static int64_t riff_position;  // where the next byte goes
static uint32_t *riff_index;
static size_t base_riff_index;  // words used
static size_t riff_index_size;  // capacity in entries of four words
static bool index_lost;         // an entry could not be kept
static int64_t base_movie_size;
static int64_t riff_start;      // where the RIFF list begins
static int64_t committed_end;   // the end of the last whole "rec " list
static int64_t avi_flags_at;    // the flags word of "avih"
static int64_t avi_b0, avi_b1, avi_b2, avi_b3, avi_b4, avi_b5;
static z_stream zstream;
static int8_t movement[85][2];
static uint8_t delta_buffer[197000];
static uint8_t chunk_buffer[197000];

// Rank of each offset (dx, dy) in -4..4 in the search order, at index
// (dx + 4) + 9 * (dy + 4): a square spiral out from (0, 0).
static const uint8_t square[81] = {
    72, 73, 74, 75, 76, 77, 78, 79, 80, 71, 42, 43, 44, 45, 46, 47, 48, 49, 70, 41, 20,
    21, 22, 23, 24, 25, 50, 69, 40, 19, 6,  7,  8,  9,  26, 51, 68, 39, 18, 5,  0,  1,
    10, 27, 52, 67, 38, 17, 4,  3,  2,  11, 28, 53, 66, 37, 16, 15, 14, 13, 12, 29, 54,
    65, 36, 35, 34, 33, 32, 31, 30, 55, 64, 63, 62, 61, 60, 59, 58, 57, 56};

// ---- chunk writers

// After a failure nothing more is written: the file is cut back anyway.
static void riff_write(const void *data, size_t n) {
  if (!write_error && n > 0 && fwrite(data, 1, n, video_file) != n) write_error = true;
  riff_position += (int64_t)n;
}

static void riff_write_code(const char *code) { riff_write(code, 4); }

static void riff_write_int_16(uint32_t v) {
  const uint8_t b[2] = {(uint8_t)v, (uint8_t)(v >> 8)};
  riff_write(b, 2);
}

static void riff_write_int_32(uint32_t v) {
  const uint8_t b[4] = {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)};
  riff_write(b, 4);
}

// Overwrites a 32-bit field written earlier and comes back to the end.
static void riff_patch_int_32(int64_t at, uint32_t v) {
  int64_t end = riff_position;
  if (!write_error && file_seek(video_file, at) != 0) write_error = true;
  riff_position = at;
  riff_write_int_32(v);
  if (!write_error && file_seek(video_file, end) != 0) write_error = true;
  riff_position = end;
}

static void riff_start_element(const char *code) {
  riff_write_code(code);
  riff_write_int_32(0);
  if (riff_nesting_level < 512) riff_nesting[riff_nesting_level++] = riff_position;
}

static void riff_start_structure(const char *code, const char *type) {
  riff_start_element(code);
  riff_write_code(type);
}

// Pads to an even length, writes the unpadded length into the size field
// and returns the padded length.
static int64_t riff_close_element(void) {
  if (riff_nesting_level == 0) return 0;
  int64_t start = riff_nesting[--riff_nesting_level];
  int64_t length = riff_position - start;
  if (length & 1) riff_write("", 1);
  riff_patch_int_32(start - 4, (uint32_t)length);
  return riff_position - start;
}

static int64_t riff_close_structure(void) { return riff_close_element(); }

// ---- index

static void riff_index_add(const char *code, uint32_t flags, int64_t chunk, int64_t size) {
  if (base_riff_index + 4 > riff_index_size * 4) {
    size_t grown = riff_index_size * 2;
    uint32_t *bigger = (uint32_t *)realloc(riff_index, grown * 16);
    if (bigger == nullptr) {
      // The recording goes on; an index with entries missing would hide
      // frames from players, so the file will have none.
      index_lost = true;
      return;
    }
    riff_index = bigger;
    riff_index_size = grown;
  }
  uint32_t *e = riff_index + base_riff_index;
  memcpy(&e[0], code, 4);
  e[1] = flags;
  e[2] = (uint32_t)(chunk - base_movie_size);
  e[3] = (uint32_t)size;
  base_riff_index += 4;
}

// ---- ZMBV encoding

// Deflates n bytes with a sync flush and writes what deflate produced.
static int64_t deflate_out(const uint8_t *data, size_t n) {
  int64_t written = 0;
  zstream.next_in = const_cast<Bytef *>(data);
  zstream.avail_in = (uInt)n;
  do {
    zstream.next_out = chunk_buffer;
    zstream.avail_out = sizeof chunk_buffer;
    deflate(&zstream, Z_SYNC_FLUSH);
    size_t have = sizeof chunk_buffer - zstream.avail_out;
    riff_write(chunk_buffer, have);
    written += (int64_t)have;
  } while (zstream.avail_out == 0);
  return written;
}

// Pixels differ when their colour bytes differ.
static inline bool differ(uint32_t a, uint32_t b) { return ((a ^ b) & 0xFFFFFF) != 0; }

// Builds the delta data of cur against prev: the block vectors, then the
// XOR pixels of every block that needs them. Returns its length.
static size_t build_delta(const uint32_t *cur, const uint32_t *prev) {
  uint8_t *vectors = delta_buffer;
  uint8_t *xor_data = delta_buffer + DELTA_VECTORS;
  for (int y = 0; y < 192; y += 16) {
    for (int x = 0; x < 256; x += 16) {
      const uint32_t *c = cur + y * 256 + x;
      int best = 10000, best_dx = 0, best_dy = 0;
      for (int v = 0; v < 85; v++) {
        const int dx = movement[v][0], dy = movement[v][1];
        if (x + dx < 0 || x + dx > 240 || y + dy < 0 || y + dy > 176) continue;
        const uint32_t *p = prev + (y + dy) * 256 + (x + dx);
        int score = 0;
        for (int r = 0; r < 16; r += 4)
          for (int k = 0; k < 16; k += 4) score += differ(c[r * 256 + k], p[r * 256 + k]) ? 16 : 0;
        if (score <= 63) {
          // Counting stops once the vector cannot beat the best: only
          // "lower than the best" decides, so the choice is unchanged.
          score = 0;
          for (int r = 0; r < 16 && score < best; r++)
            for (int k = 0; k < 16; k++) score += differ(c[r * 256 + k], p[r * 256 + k]);
        }
        if (score < best) {
          best = score;
          best_dx = dx;
          best_dy = dy;
          if (score <= 3) break;
        }
      }
      vectors[0] = (uint8_t)(best_dx * 2 + (best != 0));
      vectors[1] = (uint8_t)(best_dy * 2);
      vectors += 2;
      if (best == 0) continue;
      const uint32_t *p = prev + (y + best_dy) * 256 + (x + best_dx);
      for (int r = 0; r < 16; r++) {
        for (int k = 0; k < 16; k++) {
          uint32_t d = (c[r * 256 + k] ^ p[r * 256 + k]) & 0xFFFFFF;
          xor_data[0] = (uint8_t)d;
          xor_data[1] = (uint8_t)(d >> 8);
          xor_data[2] = (uint8_t)(d >> 16);
          xor_data[3] = 0;
          xor_data += 4;
        }
      }
    }
  }
  return (size_t)(xor_data - delta_buffer);
}

// Writes one ZMBV frame; returns its length.
static int64_t encode_frame(const uint32_t *frame, bool key) {
  if (key) {
    static const uint8_t header[7] = {1, 0, 1, 1, 8, 16, 16};  // zlib, 32 bpp, 16x16
    riff_write(header, sizeof header);
    deflateReset(&zstream);
    return (int64_t)sizeof header + deflate_out((const uint8_t *)frame, FRAME_BYTES);
  }
  riff_write("", 1);
  return 1 + deflate_out(delta_buffer, build_delta(frame, previous_frame));
}

static void build_movement(void) {
  for (int i = 0; i < 81; i++) {
    movement[square[i]][0] = (int8_t)(i % 9 - 4);
    movement[square[i]][1] = (int8_t)(i / 9 - 4);
  }
  static const int8_t far[4][2] = {{-8, 0}, {8, 0}, {0, 8}, {0, -8}};
  memcpy(movement[81], far, sizeof far);
}

// ---- recording

// The machine's frames a second as rate / scale in lowest terms: scanlines
// a second (the audio clock's) over the scanlines of a frame.
static void frame_rate(int lines, uint32_t *rate, uint32_t *scale) {
  uint32_t r = (uint32_t)SAMPLE_RATE * LINES_PER_SOUND_PERIOD, s = (uint32_t)SAMPLES_PER_PERIOD * (uint32_t)lines;
  uint32_t a = r, b = s;
  while (b != 0) {
    const uint32_t t = a % b;
    a = b;
    b = t;
  }
  *rate = r / a;
  *scale = s / a;
}

static void write_headers(int lines) {
  uint32_t rate, scale;
  frame_rate(lines, &rate, &scale);
  riff_start = riff_position;
  riff_start_structure("RIFF", "AVI ");
  riff_start_structure("LIST", "hdrl");
  riff_start_element("avih");
  riff_write_int_32((uint32_t)((1000000.0 * scale / rate) + 0.5));  // microseconds a frame
  riff_write_int_32(300000);  // maximum bytes per second
  riff_write_int_32(0);
  avi_flags_at = riff_position;
  riff_write_int_32(AVIF_HASINDEX | AVIF_ISINTERLEAVED);
  avi_b4 = riff_position;
  riff_write_int_32(0);       // total frames
  riff_write_int_32(0);
  riff_write_int_32(2);       // streams
  avi_b0 = riff_position;
  riff_write_int_32(0);       // suggested buffer size
  riff_write_int_32(256);
  riff_write_int_32(192);
  for (int i = 0; i < 4; i++) riff_write_int_32(0);
  riff_close_element();

  riff_start_structure("LIST", "strl");
  riff_start_element("strh");
  riff_write_code("vids");
  riff_write_code("ZMBV");
  riff_write_int_32(0);       // flags
  riff_write_int_16(0);       // priority
  riff_write_int_16(0);       // language
  riff_write_int_32(0);       // initial frames
  riff_write_int_32(scale);
  riff_write_int_32(rate);
  riff_write_int_32(0);       // start
  avi_b5 = riff_position;
  riff_write_int_32(0);       // length
  avi_b1 = riff_position;
  riff_write_int_32(0);       // suggested buffer size
  riff_write_int_32(8000);    // quality
  riff_write_int_32(0);       // sample size
  riff_write_int_32(0);       // frame rectangle
  riff_write_int_32(0);
  riff_close_element();
  riff_start_element("strf");
  riff_write_int_32(40);
  riff_write_int_32(256);
  riff_write_int_32(192);
  riff_write_int_16(1);       // planes
  riff_write_int_16(32);      // bits per pixel
  riff_write_code("ZMBV");
  riff_write_int_32(FRAME_BYTES);
  for (int i = 0; i < 4; i++) riff_write_int_32(0);
  riff_close_element();
  riff_close_structure();

  riff_start_structure("LIST", "strl");
  riff_start_element("strh");
  riff_write_code("auds");
  riff_write_int_32(0);       // no handler
  riff_write_int_32(0);
  riff_write_int_16(0);
  riff_write_int_16(0);
  riff_write_int_32(0);
  riff_write_int_32(1);       // scale
  riff_write_int_32(44100);   // rate
  riff_write_int_32(0);
  avi_b2 = riff_position;
  riff_write_int_32(0);       // length
  avi_b3 = riff_position;
  riff_write_int_32(0);       // suggested buffer size
  riff_write_int_32(8000);
  riff_write_int_32(2);       // sample size
  riff_write_int_32(0);
  riff_write_int_32(0);
  riff_close_element();
  riff_start_element("strf");
  riff_write_int_16(1);       // PCM
  riff_write_int_16(1);       // mono
  riff_write_int_32(44100);
  riff_write_int_32(88200);
  riff_write_int_16(2);
  riff_write_int_16(16);
  riff_close_element();
  riff_close_structure();

  riff_start_structure("LIST", "info");
  riff_start_element("ISFT");
  riff_write("Tervox", 6);
  riff_close_element();
  riff_close_structure();
  riff_close_structure();  // hdrl

  riff_start_structure("LIST", "movi");
  base_movie_size = riff_position - 4;
}

// A start that fails leaves nothing open: no frame may go into a file
// without headers and index.
static int fail_start(const char *text) {
  if (video_file != nullptr) fclose(video_file);
  video_file = nullptr;
  record_video = 0;
  message(text);
  return 1;
}

int avi_start_video(void) {
  if (avi_running) {
    // A recording that was never ended is finished before the next starts.
    FILE *next = video_file;
    video_file = avi_file;
    avi_end_video();
    video_file = next;
  }
  if (video_file == nullptr) return fail_start("Video recording couldn't open AVI file");
  // Unbuffered: each write reaches the system at once, so a failure is seen
  // at the frame it hits and no buffered bytes can land after a repair.
  setvbuf(video_file, nullptr, _IONBF, 0);
  write_error = false;
  index_lost = false;
  key_frames = 32;
  audio_buffer_write = audio_buffer_read = 0;
  audio_buffer_total_write = audio_buffer_total_read = 0;
  total_frames = total_audio = 0;
  max_size_frame = max_size_audio = 0;
  riff_nesting_level = 0;
  base_riff_index = 0;
  riff_index_size = INDEX_ENTRIES;
  riff_index = (uint32_t *)malloc(riff_index_size * 16);
  if (riff_index == nullptr) return fail_start("Video recording couldn't open AVI file");
  memset(&zstream, 0, sizeof zstream);
  if (deflateInit(&zstream, 6) != Z_OK) {
    free(riff_index);
    riff_index = nullptr;
    return fail_start("Video recording couldn't open AVI file");
  }
  int64_t at = file_tell(video_file);
  riff_position = at > 0 ? at : 0;
  write_headers(lines_per_frame(vdp_pal));
  committed_end = riff_position;
  if (write_error) {
    deflateEnd(&zstream);
    free(riff_index);
    riff_index = nullptr;
    return fail_start("Video recording couldn't write AVI file");
  }
  build_movement();
  avi_file = video_file;
  avi_running = true;
  return 0;
}

// ZMBV's 32-bit pixels are 0x00RRGGBB words; the Raspberry Pi's frame
// buffer holds the bytes R, G, B, 0 instead.
static const uint32_t *in_file_order(const uint32_t *pixels) {
  if (pixel_order != PIXELS_RGBX) return pixels;
  for (int i = 0; i < FRAME_PIXELS; i++) {
    const uint32_t p = pixels[i];
    file_frame[i] = (p & 0x00FF00) | ((p >> 16) & 0xFF) | ((p & 0xFF) << 16);
  }
  return file_frame;
}

// One "rec " list: the frame, if any, and all the sound made before it.
// Nothing is counted or indexed unless the whole list was written.
static void write_rec(const uint32_t *frame) {
  const int n = (int)(audio_buffer_total_write - audio_buffer_total_read);
  if (frame == nullptr && n == 0) return;
  const int64_t rec = riff_position;
  riff_start_structure("LIST", "rec ");
  const bool key = total_frames % key_frames == 0;
  int64_t video = 0, video_length = 0, video_size = 0;
  if (frame != nullptr) {
    video = riff_position;
    riff_start_element("00dc");
    video_length = encode_frame(frame, key);
    video_size = riff_close_element();
    memcpy(previous_frame, frame, FRAME_BYTES);
  }
  const int64_t audio = riff_position;
  if (n > 0) {
    riff_start_element("01wb");
    int first = AUDIO_RING - audio_buffer_read;
    if (first > n) first = n;
    riff_write(audio_buffer + audio_buffer_read, (size_t)first * 2);
    riff_write(audio_buffer, (size_t)(n - first) * 2);
    audio_buffer_read = (audio_buffer_read + n) % AUDIO_RING;
    audio_buffer_total_read += n;
    riff_close_element();
  }
  const int64_t rec_size = riff_close_structure();
  if (write_error) return;

  riff_index_add("rec ", 1, rec, rec_size);
  if (frame != nullptr) {
    riff_index_add("00dc", key ? 18 : 2, video, video_length);
    if (video_size > max_size_frame) max_size_frame = (int32_t)video_size;
    total_frames++;
  }
  if (n > 0) {
    riff_index_add("01wb", 0, audio, 2 * n);
    if (max_size_audio < 2 * n) max_size_audio = 2 * n;
    total_audio += n;
  }
  committed_end = riff_position;
}

// A failed write ends the recording at once.
static void stop_on_error(void) {
  if (!write_error) return;
  avi_end_video();
  record_video = 0;
}

void avi_record_audio(const int16_t *samples, int count) {
  if (video_file == nullptr || video_file != avi_file || !avi_running || samples == nullptr) return;
  while (count > 0) {
    // A second of sound without a frame: out it goes on its own.
    if (audio_buffer_total_write - audio_buffer_total_read == AUDIO_RING) {
      write_rec(nullptr);
      stop_on_error();
      if (!avi_running) return;
    }
    int n = AUDIO_RING - audio_buffer_write;
    if (n > count) n = count;
    const int room = AUDIO_RING - (int)(audio_buffer_total_write - audio_buffer_total_read);
    if (n > room) n = room;
    memcpy(audio_buffer + audio_buffer_write, samples, (size_t)n * 2);
    audio_buffer_write = (audio_buffer_write + n) % AUDIO_RING;
    audio_buffer_total_write += n;
    samples += n;
    count -= n;
  }
}

void avi_record_video(const uint32_t *pixels, int flush) {
  (void)flush;
  if (video_file == nullptr || video_file != avi_file || !avi_running || pixels == nullptr) return;
  write_rec(in_file_order(pixels));
  stop_on_error();
  if (!avi_running) return;
  if (riff_position + (int64_t)base_riff_index * 4 > 0x7FFF0000L) {
    message("Closing AVI near to 2GB");
    avi_end_video();
  }
}

// Index and sizes for the lists written whole. After a failure the file is
// first cut back to them; when even the index finds no room the file goes
// without one, which players handle by reading the lists themselves.
void avi_end_video(void) {
  if (video_file == nullptr) return;
  if (!avi_running || video_file != avi_file) {
    fclose(video_file);
    video_file = nullptr;
    return;
  }
  write_rec(nullptr);  // sound made after the last frame
  deflateEnd(&zstream);
  const bool stopped = write_error;
  write_error = false;
  const int64_t movi_end = committed_end;
  if (stopped && capture_cut(video_file, movi_end) != 0) write_error = true;
  riff_position = movi_end;
  riff_nesting_level = 0;
  bool indexed = false;
  if (!index_lost) {
    riff_start_element("idx1");
    riff_write(riff_index, base_riff_index * 4);
    riff_close_element();
    indexed = !write_error;
  }
  int64_t file_end = riff_position;
  if (!indexed) {
    const bool cut = write_error;
    write_error = false;
    if (cut && capture_cut(video_file, movi_end) != 0) write_error = true;
    file_end = riff_position = movi_end;
  }
  riff_patch_int_32(riff_start + 4, (uint32_t)(file_end - riff_start - 8));
  riff_patch_int_32(base_movie_size - 4, (uint32_t)(movi_end - base_movie_size));
  riff_patch_int_32(avi_flags_at, indexed ? AVIF_HASINDEX | AVIF_ISINTERLEAVED : AVIF_ISINTERLEAVED);
  riff_patch_int_32(avi_b4, (uint32_t)total_frames);
  riff_patch_int_32(avi_b5, (uint32_t)total_frames);
  riff_patch_int_32(avi_b0, (uint32_t)(max_size_audio + max_size_frame + 2087) & ~2047u);
  riff_patch_int_32(avi_b1, (uint32_t)max_size_frame);
  riff_patch_int_32(avi_b2, (uint32_t)total_audio);
  riff_patch_int_32(avi_b3, (uint32_t)max_size_audio);
  if (fclose(video_file) != 0) write_error = true;
  if (stopped || (!indexed && !index_lost) || write_error) {
    message("Video recording stopped: write failed");
    recording_failed = 1;
  }
  write_error = false;
  free(riff_index);
  riff_index = nullptr;
  video_file = nullptr;
  avi_file = nullptr;
  avi_running = false;
}
