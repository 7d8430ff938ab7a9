// Debug dump: video memory, the CPU's view of memory, VDP and PSG registers
// as text.
#include "capture/capture.h"

#include "common/paths.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

static char debug_filename[4096];
static int debug_counter = 1;  // next number to try; never reset

// One line: address, 16 bytes in hex in groups of four, then as characters.
static void dump_line(FILE *f, int address, const uint8_t *bytes) {
  fprintf(f, "%04X: ", address);
  for (int i = 0; i < 16; i++) fprintf(f, (i & 3) == 3 ? "%02X  " : "%02X ", bytes[i]);
  for (int i = 0; i < 16; i++) fputc(bytes[i] < 0x20 || bytes[i] > 0x7F ? '.' : bytes[i], f);
  fputc('\n', f);
}

void debugging_snapshot(void) {
  if (next_numbered_user_path(FOLDER_DOCUMENTS, debug_filename, sizeof debug_filename,
                              "debug%03d.txt", &debug_counter) != 0)
    return;
  debug_dump_to(debug_filename);
}

int debug_dump_to(const char *path) {
  FILE *f = open_file(path, "w");
  if (f == nullptr) return 1;
  fputs("Tervox emulator\n\nCurrent VRAM snapshot:\n", f);
  for (int a = 0; a < 0x4000; a += 16) dump_line(f, a, video_ram + a);
  fputs("\n\nZ80 memory snapshot:\n", f);
  for (int a = 0; a < 0x10000; a += 16) {
    uint8_t bytes[16];
    for (int i = 0; i < 16; i++) bytes[i] = map1[(a + i) >> 10][a + i];
    dump_line(f, a, bytes);
  }
  fputs("\n\nVDP registers:\n", f);
  for (int n = 0; n < 8; n++) fprintf(f, "VDP[%d] = %02X\n", n, vdp_reg[n] & 0xFF);
  fprintf(f, "VDP status = %02X\n", vdp_status);
  fprintf(f, "VDP line = %d\n", vdp_line);
  fputs("\n\nPSG registers:\n", f);
  for (int i = 0; i < 8; i++) {
    if ((i & 1) == 0) {
      fprintf(f, "PSG[%d] = %04X\n", i, psg_reg[i] & 0x3FF);
    } else {
      int j = 0;
      while (j < 15 && psg_vol[j] != psg_reg[i]) j++;
      fprintf(f, "PSG[%d] = %02X\n", i, j);
    }
  }
  return fclose(f) == 0 ? 0 : 1;
}
