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
#include "core/timing.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "video/vdp.h"

static constexpr char snapshot_magic[32] = "Tervox v0.5 :)\r\n";  // then 16 zeros

// The layout, field by field, with what a sound file may hold in each: the
// writer, the reader and the checks all walk this one table. The checks
// keep every value the machine later uses as an index, address or count
// inside the range it can handle.
struct snapshot_field {
  void *data;             // null: the 128 page-table entries
  int32_t count;          // elements
  int32_t width;          // bytes per element: 1, 2 or 4; 0 for the entries (by build)
  int32_t lo, hi;         // range of every 4-byte element, when lo <= hi
  const int32_t *highs;   // or per element: 0 to highs[i]
};

enum { UNCHECKED_LO = 1, UNCHECKED_HI = 0 };
#define ANY UNCHECKED_LO, UNCHECKED_HI, nullptr
#define IN(lo, hi) lo, hi, nullptr
#define STEP 0, 664935, nullptr  // an AY step: 664935 over a period of at least 1

// SN76489 registers: even ones are 10-bit periods but the noise control
// (4 bits); odd ones hold amplitudes of the volume table.
static constexpr int32_t psg_reg_high[8] = {0x3FF, 0x7FFF, 0x3FF, 0x7FFF, 0x3FF, 0x7FFF, 0x0F, 0x7FFF};
// AY registers within their write masks.
static constexpr int32_t ay_reg_high[16] = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF,
                                        0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF};

static constexpr snapshot_field fields[] = {
    {video_ram, 0x4000, 1, ANY},
    {internal_ram, 0x20000, 1, ANY},
    {emulator_registers, 13, 4, IN(0, 0xFFFF)},
    {&interrupt_mask, 1, 4, IN(0, 2)}, {&interrupt_mask_2, 1, 4, IN(0, 1)},
    {&interrupt_mode, 1, 4, IN(0, 2)},
    {&z80_cycles, 1, 4, ANY}, {&z80_cycles_1, 1, 4, ANY},  // checked together below
    {&z80_cycles_2, 1, 4, IN(0, LINES_PER_SOUND_PERIOD - 1)},
    {&vdp_pal, 1, 4, IN(0, 1)}, {&vdp_address, 1, 4, IN(0, 0x3FFF)},
    {&vdp_status, 1, 4, IN(0, 0xFF)}, {&vdp_byte, 1, 4, IN(0, 1)},
    {vdp_reg, 8, 4, IN(0, 0xFF)},
    {&vdp_line, 1, 4, IN(0, LINES_PER_FRAME_PAL - 1)},  // and within its frame, below
    {&vdp_access, 1, 4, ANY}, {&vdp_cycle, 1, 4, ANY}, {&vdp_error, 1, 4, ANY},
    {&psg_address, 1, 4, IN(0, 7)},
    {psg_reg, 8, 4, 0, 0, psg_reg_high},
    {&psg_step1, 1, 4, IN(0, 0x3FF)}, {&psg_counter1, 1, 4, IN(-0x4000000, 0x4000000)},
    {&psg_step2, 1, 4, IN(0, 0x3FF)}, {&psg_counter2, 1, 4, IN(-0x4000000, 0x4000000)},
    {&psg_step3, 1, 4, IN(0, 0x3FF)}, {&psg_counter3, 1, 4, IN(-0x4000000, 0x4000000)},
    {&psg_step4, 1, 4, IN(0, 0x3FF)}, {&psg_counter4, 1, 4, IN(-0x4000000, 0x4000000)},
    {&psg_channel, 1, 4, IN(0, 15)}, {&psg_noise, 1, 4, ANY},
    {&psg2_address, 1, 4, IN(0, 15)},
    {psg2_reg, 16, 4, 0, 0, ay_reg_high},
    {&psg2_step1, 1, 4, STEP}, {&psg2_counter1, 1, 4, ANY},
    {&psg2_step2, 1, 4, STEP}, {&psg2_counter2, 1, 4, ANY},
    {&psg2_step3, 1, 4, STEP}, {&psg2_counter3, 1, 4, ANY},
    {&psg2_step4, 1, 4, STEP}, {&psg2_counter4, 1, 4, IN(0, 0xFFFFF)},
    {&psg2_step5, 1, 4, STEP}, {&psg2_counter5, 1, 4, IN(0, 0x1FFFFFF)},
    {&psg2_noise, 1, 4, ANY},
    {nullptr, 128, 0, ANY},  // map1, then map2
    {&megacart, 1, 4, ANY},  // a bank mask, checked below
    {&megacart_mapper, 1, 4, IN(0, 1)}, {&nmi_use, 1, 4, IN(0, 2)},
    {&map_adam, 1, 4, IN(0, 0x1F)}, {&pcb_adam, 1, 4, IN(0, 0xFFFF)},
    {adam_keyboard, 16, 4, ANY},
    {&adam_slow, 1, 4, IN(0, 42)},
    {adam_status, 16, 4, IN(0, 4)},
    {psg_buffer, SAMPLES_PER_PERIOD, 2, ANY},
};
#undef ANY
#undef IN
#undef STEP

// Page-table entries are pointer-sized in the file: 8 bytes, or 4 on
// 32-bit builds; the reader takes either.
static const int NATIVE_WIDTH = (int)sizeof(uintptr_t) == 8 ? 8 : 4;

static constexpr size_t field_bytes(const snapshot_field &f, int entry_width) {
  return (size_t)f.count * (size_t)(f.width != 0 ? f.width : entry_width);
}

static constexpr size_t snapshot_size(int entry_width) {
  size_t n = sizeof snapshot_magic;
  for (const snapshot_field &f : fields) n += field_bytes(f, entry_width);
  return n;
}

// Where a field lies in a file with entries of entry_width bytes.
static size_t offset_of(const void *data, int entry_width) {
  size_t at = sizeof snapshot_magic;
  for (const snapshot_field &f : fields) {
    if (f.data == data) return at;
    at += field_bytes(f, entry_width);
  }
  return at;
}

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
static uint8_t snapshot_image[snapshot_size(8)];
static_assert(snapshot_size(8) == 149872, "the file's layout is fixed");

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
  psg_sync();  // the sound of the lines run so far
  uint8_t *p = snapshot_image;
  memcpy(p, snapshot_magic, sizeof snapshot_magic);
  p += sizeof snapshot_magic;
  for (const snapshot_field &f : fields) {
    if (f.data != nullptr) {
      memcpy(p, f.data, field_bytes(f, NATIVE_WIDTH));
      p += field_bytes(f, NATIVE_WIDTH);
      continue;
    }
    for (int i = 0; i < 128; i++, p += NATIVE_WIDTH)
      put_entry(p, encode_entry((i < 64 ? map1 : map2)[i & 63], i & 63), NATIVE_WIDTH);
  }
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

// Every field within its range, every entry a window inside its buffer.
static bool check_fields(const uint8_t *in, int width) {
  size_t at = sizeof snapshot_magic;
  for (const snapshot_field &f : fields) {
    if (f.data == nullptr) {
      int tag;
      int32_t offset;
      for (int i = 0; i < 128; i++)
        if (!decode_entry(in + at + (size_t)i * width, width, i >= 64, &tag, &offset)) return false;
    } else if (f.width == 4 && (f.highs != nullptr || f.lo <= f.hi)) {
      for (int i = 0; i < f.count; i++) {
        const int32_t v = word_at(in, at + 4 * (size_t)i);
        if (f.highs != nullptr ? !in_range(v, 0, f.highs[i]) : !in_range(v, f.lo, f.hi)) return false;
      }
    }
    at += field_bytes(f, width);
  }
  return true;
}

// What the fields mean together.
static bool check_relations(const uint8_t *in, int width) {
  auto value = [&](const void *field) { return word_at(in, offset_of(field, width)); };
  // The interpreter derives its scanline budget from the two cycle counts,
  // which differ by the last instruction's overrun and interrupt costs.
  const int32_t behind = (int32_t)((uint32_t)value(&z80_cycles) - (uint32_t)value(&z80_cycles_1));
  if (!in_range(behind, 0, CYCLES_PER_LINE)) return false;
  if (value(&vdp_line) >= lines_per_frame(value(&vdp_pal))) return false;
  // A bank mask of whole 16 KB banks up to 512 KB, or none.
  const int32_t mask = value(&megacart);
  return mask == 0 || (mask >= 0x3FFF && mask <= 0x7FFFF && (mask & (mask + 1)) == 0);
}

// Checks the image of `size` bytes in snapshot_image and, if it is sound,
// loads it into the machine.
static int apply_snapshot(size_t size) {
  int width;
  if (size == snapshot_size(8)) width = 8;
  else if (size == snapshot_size(4)) width = 4;
  else return 1;
  const uint8_t *in = snapshot_image;
  if (memcmp(in, snapshot_magic, sizeof snapshot_magic) != 0) return 1;
  if (!check_fields(in, width) || !check_relations(in, width)) return 1;
  psg_sync();  // lines run before the load belong to the old state
  size_t at = sizeof snapshot_magic;
  for (const snapshot_field &f : fields) {
    if (f.data != nullptr) {
      memcpy(f.data, in + at, field_bytes(f, width));
    } else {
      for (int i = 0; i < 128; i++) {
        int tag;
        int32_t offset;
        decode_entry(in + at + (size_t)i * width, width, i >= 64, &tag, &offset);
        map_page(i < 64 ? map1 : map2, i & 63, tag_buffer(tag), offset);
      }
    }
    at += field_bytes(f, width);
  }
  vdp_memory_changed();
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
            ((size_t)st.st_size == snapshot_size(8) || (size_t)st.st_size == snapshot_size(4));
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
