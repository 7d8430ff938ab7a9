// Snapshot file: the whole machine but the cartridge image, in one slot.
//
// The file is read whole and checked before anything is changed, because a
// snapshot slot in a shared folder can hold anything: every value that the
// machine later uses as an index, address or count is range-checked, and
// every page-table entry must name a window lying wholly inside its buffer.
#include "capture/capture.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include "common/paths.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "adam/adamnet.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

static const char snapshot_magic[32] = "Tervox v0.5 :)\r\n";  // then 16 zeros

enum {
  SNAPSHOT_MAPS_AT = 147816,         // first page-table entry
  SNAPSHOT_SIZE_WIDE = 149872,       // 8-byte entries
  SNAPSHOT_SIZE_NARROW = 149872 - 512 // 4-byte entries
};

// One run of consecutive values of the layout.
struct snapshot_field {
  void *data;
  int32_t count;  // elements
  int32_t width;  // bytes per element: 1, 2 or 4
};

// Layout before and after the two page tables.
static const snapshot_field fields_before[] = {
    {video_ram, 0x4000, 1},
    {internal_ram, 0x20000, 1},
    {emulator_registers, 13, 4},
    {&interrupt_mask, 1, 4}, {&interrupt_mask_2, 1, 4}, {&interrupt_mode, 1, 4},
    {&z80_cycles, 1, 4}, {&z80_cycles_1, 1, 4}, {&z80_cycles_2, 1, 4},
    {&vdp_pal, 1, 4}, {&vdp_address, 1, 4}, {&vdp_status, 1, 4}, {&vdp_byte, 1, 4},
    {vdp_reg, 8, 4},
    {&vdp_line, 1, 4}, {&vdp_access, 1, 4}, {&vdp_cycle, 1, 4}, {&vdp_error, 1, 4},
    {&psg_address, 1, 4},
    {psg_reg, 8, 4},
    {&psg_step1, 1, 4}, {&psg_counter1, 1, 4}, {&psg_step2, 1, 4}, {&psg_counter2, 1, 4},
    {&psg_step3, 1, 4}, {&psg_counter3, 1, 4}, {&psg_step4, 1, 4}, {&psg_counter4, 1, 4},
    {&psg_channel, 1, 4}, {&psg_noise, 1, 4},
    {&psg2_address, 1, 4},
    {psg2_reg, 16, 4},
    {&psg2_step1, 1, 4}, {&psg2_counter1, 1, 4}, {&psg2_step2, 1, 4}, {&psg2_counter2, 1, 4},
    {&psg2_step3, 1, 4}, {&psg2_counter3, 1, 4}, {&psg2_step4, 1, 4}, {&psg2_counter4, 1, 4},
    {&psg2_step5, 1, 4}, {&psg2_counter5, 1, 4}, {&psg2_noise, 1, 4},
};
static const snapshot_field fields_after[] = {
    {&megacart, 1, 4}, {&megacart_mapper, 1, 4}, {&nmi_use, 1, 4}, {&map_adam, 1, 4},
    {&pcb_adam, 1, 4},
    {adam_keyboard, 16, 4},
    {&adam_slow, 1, 4},
    {adam_status, 16, 4},
    {psg_buffer, 440, 2},
};

// The buffers a page-table entry can designate, by tag.
enum { TAG_ROM, TAG_BASE_ROM, TAG_RAM, TAG_NULL, TAG_WP_ROM, TAG_EOS_ROM, TAG_COUNT };
static const uint8_t *tag_buffer(int tag) {
  switch (tag) {
    case TAG_ROM: return rom;
    case TAG_BASE_ROM: return base_rom;
    case TAG_RAM: return internal_ram;
    case TAG_NULL: return null;
    case TAG_WP_ROM: return wp_rom;
    default: return eos_rom;
  }
}
static size_t tag_size(int tag) {
  switch (tag) {
    case TAG_ROM: return sizeof rom;
    case TAG_BASE_ROM: return sizeof base_rom;
    case TAG_RAM: return sizeof internal_ram;
    case TAG_NULL: return sizeof null;
    case TAG_WP_ROM: return sizeof wp_rom;
    default: return sizeof eos_rom;
  }
}

// The whole file, built or checked here before it goes anywhere.
static uint8_t snapshot_image[SNAPSHOT_SIZE_WIDE];

static size_t put_fields(uint8_t *out, const snapshot_field *f, size_t n) {
  size_t at = 0;
  for (size_t i = 0; i < n; i++) {
    size_t bytes = (size_t)f[i].count * (size_t)f[i].width;
    memcpy(out + at, f[i].data, bytes);
    at += bytes;
  }
  return at;
}

static size_t get_fields(const uint8_t *in, const snapshot_field *f, size_t n) {
  size_t at = 0;
  for (size_t i = 0; i < n; i++) {
    size_t bytes = (size_t)f[i].count * (size_t)f[i].width;
    memcpy(f[i].data, in + at, bytes);
    at += bytes;
  }
  return at;
}

// Entry encoding: tag * 0x10000000 + offset of the window start.
static uint32_t encode_entry(const uint8_t *entry, int page) {
  uintptr_t start = (uintptr_t)entry + (uintptr_t)page * 1024u;
  static const int order[] = {TAG_BASE_ROM, TAG_WP_ROM, TAG_EOS_ROM, TAG_RAM, TAG_NULL};
  for (int tag : order) {
    uintptr_t b = (uintptr_t)tag_buffer(tag);
    if (start >= b && start - b < tag_size(tag))
      return (uint32_t)tag * 0x10000000u + (uint32_t)(start - b);
  }
  return (uint32_t)(start - (uintptr_t)rom) & 0x0FFFFFFFu;
}

static void put_entry(uint8_t *out, uint32_t value, int width) {
  if (width == 8) {
    uint64_t v = value;
    memcpy(out, &v, 8);
  } else {
    memcpy(out, &value, 4);
  }
}

static size_t build_snapshot(void) {
  const int width = (int)sizeof(uintptr_t) == 8 ? 8 : 4;
  uint8_t *p = snapshot_image;
  memcpy(p, snapshot_magic, 32);
  p += 32;
  p += put_fields(p, fields_before, sizeof fields_before / sizeof fields_before[0]);
  for (int t = 0; t < 2; t++) {
    uint8_t **table = t == 0 ? map1 : map2;
    for (int page = 0; page < 64; page++, p += width)
      put_entry(p, encode_entry(table[page], page), width);
  }
  p += put_fields(p, fields_after, sizeof fields_after / sizeof fields_after[0]);
  return (size_t)(p - snapshot_image);
}

// ---- checking a file image

static int32_t word_at(const uint8_t *in, size_t offset) {
  int32_t v;
  memcpy(&v, in + offset, 4);
  return v;
}

static bool in_range(int32_t v, int32_t lo, int32_t hi) { return v >= lo && v <= hi; }

// Decodes one entry; false when it does not name a window inside a buffer.
// A write page must not land in the firmware images, which are read-only.
static bool decode_entry(const uint8_t *in, int width, bool writes, int *tag, int32_t *offset) {
  uint32_t v;
  if (width == 8) {
    uint64_t w;
    memcpy(&w, in, 8);
    if (w >> 32) return false;
    v = (uint32_t)w;
  } else {
    memcpy(&v, in, 4);
  }
  *tag = (int)(v >> 28);
  int32_t off = (int32_t)(v & 0x0FFFFFFFu);
  if (off > 0x7FFFFFF) off -= 0x10000000;
  *offset = off;
  if (*tag >= TAG_COUNT) return false;
  if (writes && (*tag == TAG_WP_ROM || *tag == TAG_EOS_ROM)) return false;
  if (*tag == TAG_NULL) return off == 0 || off == 1024;
  return off >= 0 && (size_t)off + 1024 <= tag_size(*tag);
}

static bool check_maps(const uint8_t *maps, int width) {
  int tag;
  int32_t offset;
  for (int i = 0; i < 128; i++)
    if (!decode_entry(maps + (size_t)i * width, width, i >= 64, &tag, &offset)) return false;
  return true;
}

static bool check_before(const uint8_t *in) {
  size_t at = 32 + 0x4000 + 0x20000;
  for (int i = 0; i < 13; i++)
    if (!in_range(word_at(in, at + 4 * i), 0, 0xFFFF)) return false;
  at += 52;
  if (!in_range(word_at(in, at), 0, 2) || !in_range(word_at(in, at + 4), 0, 1) ||
      !in_range(word_at(in, at + 8), 0, 2))
    return false;
  at += 12;
  // The interpreter derives its scanline budget from the two cycle counts,
  // which differ by the last instruction's overrun and interrupt costs.
  int32_t cycles = word_at(in, at), line_start = word_at(in, at + 4);
  int32_t behind = (int32_t)((uint32_t)cycles - (uint32_t)line_start);
  if (!in_range(behind, 0, 228) || !in_range(word_at(in, at + 8), 0, 156)) return false;
  at += 12;
  int32_t pal = word_at(in, at);
  if (!in_range(pal, 0, 1) || !in_range(word_at(in, at + 4), 0, 0x3FFF) ||
      !in_range(word_at(in, at + 8), 0, 0xFF) || !in_range(word_at(in, at + 12), 0, 1))
    return false;
  at += 16;
  for (int i = 0; i < 8; i++)
    if (!in_range(word_at(in, at + 4 * i), 0, 0xFF)) return false;
  at += 32;
  if (!in_range(word_at(in, at), 0, pal ? 312 : 261)) return false;
  at += 16;
  // SN76489: registers, steps and counters.
  if (!in_range(word_at(in, at), 0, 7)) return false;
  at += 4;
  for (int i = 0; i < 8; i++) {
    int32_t hi = (i & 1) ? 0x7FFF : (i == 6 ? 0x0F : 0x3FF);
    if (!in_range(word_at(in, at + 4 * i), 0, hi)) return false;
  }
  at += 32;
  for (int i = 0; i < 4; i++) {
    if (!in_range(word_at(in, at + 8 * i), 0, 0x3FF)) return false;
    if (!in_range(word_at(in, at + 8 * i + 4), -0x4000000, 0x4000000)) return false;
  }
  if (!in_range(word_at(in, at + 32), 0, 15)) return false;
  at += 40;
  // AY-3-8910: registers within their write masks, envelope position and
  // noise counter within the ranges generation keeps them in.
  if (!in_range(word_at(in, at), 0, 15)) return false;
  at += 4;
  static const int32_t ay_mask[16] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
                                      0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF};
  for (int i = 0; i < 16; i++)
    if (!in_range(word_at(in, at + 4 * i), 0, ay_mask[i])) return false;
  at += 64;
  for (int i = 0; i < 5; i++)
    if (!in_range(word_at(in, at + 8 * i), 0, 664935)) return false;
  if (!in_range(word_at(in, at + 28), 0, 0xFFFFF)) return false;
  if (!in_range(word_at(in, at + 36), 0, 0x1FFFFFF)) return false;
  return true;
}

static bool check_after(const uint8_t *in) {
  int32_t mask = word_at(in, 0);
  if (mask != 0 && !(mask >= 0x3FFF && mask <= 0x7FFFF && (mask & (mask + 1)) == 0)) return false;
  if (!in_range(word_at(in, 4), 0, 1) || !in_range(word_at(in, 8), 0, 2) ||
      !in_range(word_at(in, 12), 0, 0x1F) || !in_range(word_at(in, 16), 0, 0xFFFF))
    return false;
  if (!in_range(word_at(in, 20 + 64), 0, 42)) return false;  // adam_slow
  for (int i = 0; i < 16; i++)
    if (!in_range(word_at(in, 88 + 4 * i), 0, 4)) return false;
  return true;
}

static void restore_maps(const uint8_t *maps, int width) {
  for (int i = 0; i < 128; i++) {
    int tag;
    int32_t offset;
    decode_entry(maps + (size_t)i * width, width, i >= 64, &tag, &offset);
    map_page(i < 64 ? map1 : map2, i & 63, tag_buffer(tag), offset);
  }
}

// Checks the image of `size` bytes in snapshot_image and, if it is sound,
// loads it into the machine.
static int apply_snapshot(size_t size) {
  int width;
  if (size == SNAPSHOT_SIZE_WIDE) width = 8;
  else if (size == SNAPSHOT_SIZE_NARROW) width = 4;
  else return 1;
  const uint8_t *in = snapshot_image;
  if (memcmp(in, snapshot_magic, 32) != 0) return 1;
  const uint8_t *maps = in + SNAPSHOT_MAPS_AT;
  const uint8_t *after = maps + 128 * width;
  if (!check_before(in) || !check_maps(maps, width) || !check_after(after)) return 1;
  get_fields(in + 32, fields_before, sizeof fields_before / sizeof fields_before[0]);
  restore_maps(maps, width);
  get_fields(after, fields_after, sizeof fields_after / sizeof fields_after[0]);
  return 0;
}

// ---- files

#ifdef _WIN32

int save_snapshot(const char *path) {
  return replace_file(path, snapshot_image, build_snapshot()) == 0 ? 0 : 1;
}

int read_snapshot(const char *path) {
  FILE *f = open_file(path, "rb");
  if (f == nullptr) return 1;
  size_t n = fread(snapshot_image, 1, sizeof snapshot_image, f);
  bool longer = fgetc(f) != EOF;
  fclose(f);
  return longer ? 1 : apply_snapshot(n);
}

#else

static bool write_all(int fd, const uint8_t *p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0) return false;
    p += w;
    n -= (size_t)w;
  }
  return true;
}

// A fresh, exclusive temporary file beside the slot is written and renamed
// over it: a failed save keeps the old snapshot, and a link planted at the
// slot is replaced, never written through.
int save_snapshot(const char *path) {
  static char tmp[4200];
  int n = snprintf(tmp, sizeof tmp, "%s.XXXXXX", path);
  if (n < 0 || (size_t)n >= sizeof tmp) return 1;
  size_t size = build_snapshot();
  int fd = mkstemp(tmp);
  if (fd < 0) return 1;
  bool ok = fchmod(fd, 0600) == 0 && write_all(fd, snapshot_image, size);
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(tmp, path) != 0) {
    unlink(tmp);
    return 1;
  }
  return 0;
}

int read_snapshot(const char *path) {
  int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 1;
  struct stat st;
  size_t got = 0;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            (st.st_size == SNAPSHOT_SIZE_WIDE || st.st_size == SNAPSHOT_SIZE_NARROW);
  while (ok) {
    uint8_t *at = snapshot_image + got;
    size_t room = sizeof snapshot_image - got;
    ssize_t r = room > 0 ? read(fd, at, room) : 0;
    if (r < 0) ok = false;
    if (r <= 0) break;
    got += (size_t)r;
  }
  // A file that grew after the size check is refused as well.
  uint8_t extra;
  if (ok && got == sizeof snapshot_image && read(fd, &extra, 1) != 0) ok = false;
  close(fd);
  return ok ? apply_snapshot(got) : 1;
}

#endif
