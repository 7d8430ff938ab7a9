// WAV recorder and the sound-register log.
#include "capture/capture.h"

#include <cstdio>
#include <cstring>

#include "common/paths.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/present.h"
#include "video/vdp.h"

static void put16(uint8_t *p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}
static void put32(uint8_t *p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

enum { WAV_HEADER = 44 };

static uint32_t wav_data_bytes;  // sample bytes written whole since the header

// Writes both sizes for what the file holds (header and wav_data_bytes),
// then closes it; on any failure says so. A recording cut short still
// plays: its sizes match its samples.
static void wav_close(bool failed) {
  uint8_t v[4];
  put32(v, WAV_HEADER - 8 + wav_data_bytes);
  failed |= fseek(sound_file, 4, SEEK_SET) != 0 || fwrite(v, 1, 4, sound_file) != 4;
  put32(v, wav_data_bytes);
  failed |= fseek(sound_file, 40, SEEK_SET) != 0 || fwrite(v, 1, 4, sound_file) != 4;
  failed |= fclose(sound_file) != 0;
  sound_file = nullptr;
  if (failed) {
    message("Sound recording stopped: write failed");
    recording_failed = 1;
    record_sound = 0;
  }
}

// 44100 Hz stereo 16-bit PCM; both sizes are patched when the recording ends.
void wav_start(FILE *f) {
  if (f == nullptr) return;
  sound_file = f;
  wav_data_bytes = 0;
  // Unbuffered: a failed write is seen at the block it hits.
  setvbuf(f, nullptr, _IONBF, 0);
  uint8_t h[WAV_HEADER];
  memcpy(h, "RIFF", 4);
  put32(h + 4, 0);
  memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 1);
  put16(h + 22, 2);
  put32(h + 24, 44100);
  put32(h + 28, 176400);
  put16(h + 32, 4);
  put16(h + 34, 16);
  memcpy(h + 36, "data", 4);
  put32(h + 40, 0);
  if (fwrite(h, 1, sizeof h, f) != sizeof h) {
    capture_cut(f, 0);
    fclose(f);
    sound_file = nullptr;
    message("Sound recording couldn't write WAV file");
    recording_failed = 1;
    record_sound = 0;
  }
}

// The mono sample goes to both channels.
void wav_append(const int16_t *samples, int count) {
  if (sound_file == nullptr || samples == nullptr) return;
  uint8_t block[440 * 4];
  while (count > 0) {
    int n = count < 440 ? count : 440;
    for (int i = 0; i < n; i++) {
      uint16_t s = (uint16_t)samples[i];
      put16(block + 4 * i, s);
      put16(block + 4 * i + 2, s);
    }
    if (fwrite(block, 4, (size_t)n, sound_file) != (size_t)n) {
      // Part of the block may have gone out: back to the last whole block.
      capture_cut(sound_file, WAV_HEADER + (int64_t)wav_data_bytes);
      wav_close(true);
      return;
    }
    wav_data_bytes += 4u * (uint32_t)n;
    samples += n;
    count -= n;
  }
}

void end_sound_recording(void) {
  if (sound_file == nullptr) return;
  wav_close(false);
}

// Attenuation code of an SN76489 amplitude register: its volume-table index.
static int attenuation_code(int32_t amplitude) {
  for (int code = 0; code < 15; code++)
    if (psg_vol[code] == amplitude) return code;
  return 15;
}

// One line per frame, appended to "psg.txt". A file that cannot be opened
// loses the line and the next frame tries again; a line that cannot be
// written whole (a full disk) is taken back and the log stops.
void psg_log_frame(void) {
  char path[4096];
  if (user_path(FOLDER_DOCUMENTS, path, sizeof path, "psg.txt") != 0) return;
  FILE *f = open_file(path, "a");
  if (f == nullptr) return;
  setvbuf(f, nullptr, _IONBF, 0);
  const int32_t *r = psg_reg, *a = psg2_reg;
  char line[256];
  int n;
  if (sgm_active == 2) {
    n = snprintf(line, sizeof line,
                 "A=%04x %01x B=%04x %01x C=%04x %01x N=%02x %01x A=%04x %02X B=%04x %02x "
                 "C=%04X %02x N=%02x M=%02x E=%04x %02x Frame:%d\n",
                 r[0], attenuation_code(r[1]), r[2], attenuation_code(r[3]), r[4],
                 attenuation_code(r[5]), r[6], attenuation_code(r[7]), a[0] + 256 * a[1], a[8],
                 a[2] + 256 * a[3], a[9], a[4] + 256 * a[5], a[10], a[6], a[7], a[11] + 256 * a[12],
                 a[13], video_frame);
  } else {
    n = snprintf(line, sizeof line, "A=%04x %01x B=%04x %01x C=%04x %01x N=%02x %01x Frame:%d\n", r[0],
                 attenuation_code(r[1]), r[2], attenuation_code(r[3]), r[4], attenuation_code(r[5]),
                 r[6], attenuation_code(r[7]), video_frame);
  }
  if (n < 0 || n >= (int)sizeof line) n = 0;
  const int64_t before = fseek(f, 0, SEEK_END) == 0 ? file_tell(f) : -1;
  if (fwrite(line, 1, (size_t)n, f) != (size_t)n) {
    if (before >= 0) capture_cut(f, before);
    message("PSG log stopped: write failed");
    recording_failed = 1;
    record_psg = 0;
  }
  fclose(f);
}
