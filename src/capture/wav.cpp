// WAV recorder and the sound-register log.
#include "capture/capture.h"

#include <cstring>

#include "common/paths.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

static void put16(uint8_t *p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}
static void put32(uint8_t *p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

// 44100 Hz stereo 16-bit PCM; both sizes are patched when the recording ends.
void wav_start(FILE *f) {
  if (f == nullptr) return;
  sound_file = f;
  uint8_t h[44];
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
  fwrite(h, 1, sizeof h, f);
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
    fwrite(block, 4, (size_t)n, sound_file);
    samples += n;
    count -= n;
  }
}

void end_sound_recording(void) {
  if (sound_file == nullptr) return;
  int64_t length = file_tell(sound_file);
  if (length >= 44) {
    uint8_t v[4];
    put32(v, (uint32_t)(length - 8));
    fseek(sound_file, 4, SEEK_SET);
    fwrite(v, 1, 4, sound_file);
    put32(v, (uint32_t)(length - 44));
    fseek(sound_file, 40, SEEK_SET);
    fwrite(v, 1, 4, sound_file);
  }
  fclose(sound_file);
  sound_file = nullptr;
}

// Attenuation code of an SN76489 amplitude register: its volume-table index.
static int attenuation_code(int32_t amplitude) {
  for (int code = 0; code < 15; code++)
    if (psg_vol[code] == amplitude) return code;
  return 15;
}

// One line per frame, appended to "psg.txt"; a line that cannot be written
// is lost and the next frame tries again.
void psg_log_frame(void) {
  char path[4096];
  if (user_path(FOLDER_DOCUMENTS, path, sizeof path, "psg.txt") != 0) return;
  FILE *f = open_file(path, "a");
  if (f == nullptr) return;
  const int32_t *r = psg_reg, *a = psg2_reg;
  if (sgm_active == 2) {
    fprintf(f,
            "A=%04x %01x B=%04x %01x C=%04x %01x N=%02x %01x A=%04x %02X B=%04x %02x "
            "C=%04X %02x N=%02x M=%02x E=%04x %02x Frame:%d\n",
            r[0], attenuation_code(r[1]), r[2], attenuation_code(r[3]), r[4],
            attenuation_code(r[5]), r[6], attenuation_code(r[7]), a[0] + 256 * a[1], a[8],
            a[2] + 256 * a[3], a[9], a[4] + 256 * a[5], a[10], a[6], a[7], a[11] + 256 * a[12],
            a[13], video_frame);
  } else {
    fprintf(f, "A=%04x %01x B=%04x %01x C=%04x %01x N=%02x %01x Frame:%d\n", r[0],
            attenuation_code(r[1]), r[2], attenuation_code(r[3]), r[4], attenuation_code(r[5]),
            r[6], attenuation_code(r[7]), video_frame);
  }
  fclose(f);
}
