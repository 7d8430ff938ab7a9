// Image loading: raw cartridge images, cartridges inside ZIP archives, and
// Adam tape and disk images. Decides the machine mode and the cartridge
// hardware; the caller follows with a full reset. An image is read and
// judged whole before anything of the running machine changes, so one that
// does not load leaves the machine, its cartridge and its title as they were.
#include "memory/cartridge.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <unzip.h>

#include "common/paths.h"
#include "host/host.h"
#include "memory/memory.h"
#include "video/present.h"

char filename_inzip[4096];
FILE *tape1, *disk1;
const char *load_error = "";

enum {
  TRANSFER_SIZE = 0x10000,     // archive reads, a chunk at a time
  ACTIVISION_SIZE = 0x10000,
  MARKER_BANK_2 = 0xBF80,      // Activision markers: 0x00 here, 0x01 at the next
  MARKER_BANK_3 = 0xFF80,
  EEPROM_KIND = 0xFF7F,        // 0xC0: the large EEPROM
  SGM_NAME = 0x24,             // " SUPER DK!" here: no Super Game Module
};

// The image being loaded; it reaches rom only once it is whole and judged.
static uint8_t staged[sizeof rom];
static char staged_name[sizeof filename_inzip];

static int failed(const char *reason) {
  load_error = reason;
  return 1;
}

// The same for the stages that return a size.
static int refused(const char *reason) {
  load_error = reason;
  return -1;
}

// The text from the last "." of name to its end; "" when there is none.
static const char *extension_of(const char *name) {
  const char *dot = strrchr(name, '.');
  return dot ? dot : "";
}

// Extensions match in any case: Boot.Dsk is a disk, GAME.Col a cartridge.
static bool is_one_of(const char *ext, const char *const *list) {
  for (; *list; list++) {
    const char *a = ext, *b = *list;
    while (*a && tolower((unsigned char)*a) == *b) a++, b++;
    if (*a == '\0' && *b == '\0') return true;
  }
  return false;
}

static const char *const zip_exts[] = {".zip", nullptr};
static const char *const tape_exts[] = {".ddp", nullptr};
static const char *const disk_exts[] = {".dsk", nullptr};
static const char *const cart_exts[] = {".rom", ".col", ".bin", nullptr};

// The part after the last "/" or backslash.
static const char *base_name(const char *path) {
  const char *base = path;
  for (const char *p = path; *p; p++)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

static const char *reason_of_kind(int kind) {
  switch (kind) {
    case FILE_MISSING: return "file not found";
    case FILE_FOLDER: return "is a folder";
    case FILE_NOT_REGULAR: return "not an ordinary file";
    case FILE_TOO_LARGE: return "larger than 512 KB";
    case FILE_DENIED: return "no permission to read it";
    default: return "cannot be read";
  }
}

// ---- ZIP archives

// minizip opens the archive through open_file, so that names that are not
// plain ASCII work on every host.
static voidpf ZCALLBACK open_archive_file(voidpf, const void *name, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  return open_file((const char *)name, "rb");
}

// The archive's current entry. Returns the bytes put into staged when it is
// a cartridge entry, 0 when it is passed over (not a cartridge, a folder,
// empty), -1 with load_error set when it cannot be loaded.
static int extract_current_entry(unzFile archive) {
  unz_file_info info;
  // One byte is kept back so the name always ends in a terminator.
  memset(staged_name, 0, sizeof staged_name);
  if (unzGetCurrentFileInfo(archive, &info, staged_name, sizeof staged_name - 1, nullptr, 0,
                            nullptr, 0) != UNZ_OK) {
    load_error = "damaged archive";
    return -1;
  }
  // Folders, names cut short by the buffer (they lost their extension) and
  // other files are passed over unopened: one minizip cannot open (another
  // compression method, say) must not end the search.
  if (base_name(staged_name)[0] == '\0' || info.size_filename >= sizeof staged_name - 1 ||
      !is_one_of(extension_of(staged_name), cart_exts))
    return 0;
  if (info.flag & 1) {
    load_error = "password-protected archive";
    return -1;
  }
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) {
    load_error = "unsupported compression";
    return -1;
  }
  if (unzOpenCurrentFile(archive) != UNZ_OK) {
    load_error = "damaged archive";
    return -1;
  }
  size_t filled = 0;
  int result;
  for (;;) {
    size_t room = sizeof staged - filled;
    uint8_t beyond;  // one byte past a full buffer tells a larger entry
    int n = room > 0 ? unzReadCurrentFile(archive, staged + filled,
                                          (unsigned)(room < (size_t)TRANSFER_SIZE ? room : (size_t)TRANSFER_SIZE))
                     : unzReadCurrentFile(archive, &beyond, 1);
    if (n < 0) { load_error = "damaged archive"; result = -1; break; }
    if (n == 0) { result = (int)filled; break; }
    if (room == 0) { load_error = reason_of_kind(FILE_TOO_LARGE); result = -1; break; }
    filled += (size_t)n;
  }
  // Closing checks the entry's CRC: damaged contents are not a cartridge.
  if (unzCloseCurrentFile(archive) != UNZ_OK && result >= 0) {
    load_error = "damaged archive";
    result = -1;
  }
  return result;
}

// Stages the archive's first non-empty cartridge entry. Returns its size,
// or -1 with load_error set.
static int load_from_archive(const char *path) {
  long long size;
  int kind = file_kind(path, &size);
  if (kind != FILE_REGULAR) return refused(reason_of_kind(kind));
  if (size == 0) return refused("empty file");
  zlib_filefunc64_def io;
  fill_fopen64_filefunc(&io);
  io.zopen64_file = open_archive_file;
  unzFile archive = unzOpen2_64(path, &io);
  if (archive == nullptr) return refused("damaged archive");
  unz_global_info global;
  int loaded = -1;
  load_error = "no cartridge in the archive";
  if (unzGetGlobalInfo(archive, &global) != UNZ_OK) {
    load_error = "damaged archive";
  } else {
    for (uLong i = 0; i < global.number_entry; i++) {
      int r = extract_current_entry(archive);
      if (r < 0) break;
      if (r > 0) { loaded = r; break; }
      if (i + 1 < global.number_entry && unzGoToNextFile(archive) != UNZ_OK) {
        load_error = "damaged archive";
        break;
      }
    }
  }
  unzClose(archive);
  return loaded;
}

// ---- raw images

// Stages a raw cartridge image. Returns its size, or -1 with load_error set.
static int load_raw(const char *path) {
  long long size;
  int kind;
  FILE *f = open_regular_file(path, "rb", sizeof staged, &size, &kind);
  if (f == nullptr) return refused(reason_of_kind(kind));
  // Read to its end, not to the size measured: the file may still be
  // growing (a build writing it).
  size_t got = fread(staged, 1, sizeof staged, f);
  uint8_t beyond;
  const bool more = got == sizeof staged && fread(&beyond, 1, 1, f) == 1;
  const bool error = ferror(f) != 0;
  fclose(f);
  if (more) return refused(reason_of_kind(FILE_TOO_LARGE));
  if (error) return refused("cannot be read");
  if (got == 0) return refused("empty file");
  memcpy(staged_name, path, strlen(path) + 1);
  return (int)got;
}

static bool is_header(const uint8_t *p) {
  return (p[0] == 0x55 && p[1] == 0xAA) || (p[0] == 0xAA && p[1] == 0x55);
}

// Nothing but text characters: a text file renamed, not a program (a Z80
// program cannot do without bytes outside the printable range).
static bool is_text(const uint8_t *data, int size) {
  for (int i = 0; i < size; i++) {
    const uint8_t c = data[i];
    if ((c < 0x20 || c > 0x7E) && c != '\t' && c != '\n' && c != '\r' && c != '\f') return false;
  }
  return true;
}

// ---- the Activision save file

// Reads the save at path into eeprom, or starts a blank one when there is
// none. Returns false, having changed no file, when path holds something
// that is not a save: larger than the EEPROM (the 64 KB image itself, say),
// starting like a cartridge image, a folder, a device, an unreadable file.
static bool read_save(const char *path) {
  long long size;
  int kind;
  FILE *f = open_regular_file(path, "rb", sizeof eeprom, &size, &kind);
  if (f == nullptr) {
    if (kind != FILE_MISSING) return false;
    memset(eeprom, 0xFF, sizeof eeprom);
    eeprom_modified = -1;  // the whole file is written at the next frame end
    return true;
  }
  size_t n = fread(eeprom, 1, sizeof eeprom, f);
  fclose(f);
  if (n >= 2 && is_header(eeprom)) return false;
  // A short save file is blank beyond its end, not the previous cartridge's.
  memset(eeprom + n, 0xFF, sizeof eeprom - n);
  return true;
}

// The save file is the image's base name (up to its first ".") with ".bin",
// in the home folder (Documents on Windows); where that name holds some
// other file (an image named like its own save), "-save.bin" instead.
static void open_eeprom(void) {
  static const char *const suffixes[] = {".bin", "-save.bin"};
  const char *base = base_name(filename_inzip);
  const size_t len = strcspn(base, ".");
  bool taken = false;
  for (const char *suffix : suffixes) {
    char name[300];
    // A name too long for the host's file names: the EEPROM still works,
    // it is just not kept.
    if (len + strlen(suffix) + 1 > sizeof name) break;
    memcpy(name, base, len);
    strcpy(name + len, suffix);
    if (user_path(FOLDER_DOCUMENTS, eeprom_filename, sizeof eeprom_filename, name) != 0) break;
    if (read_save(eeprom_filename)) return;
    taken = true;
  }
  if (taken) {
    fprintf(stderr, "The EEPROM of %s is not saved: its save names hold other files\n", base);
    message("EEPROM not saved: save name taken");
  }
  eeprom_filename[0] = '\0';
  memset(eeprom, 0xFF, sizeof eeprom);
}

// ---- committing a load

static void close_media(void) {
  if (tape1) { fclose(tape1); tape1 = nullptr; }
  if (disk1) { fclose(disk1); disk1 = nullptr; }
}

static void set_title(void) {
  // At most 255 characters, the name cut to fit.
  char title[256] = "Tervox - ";
  size_t used = strlen(title);
  const char *name = base_name(filename_inzip);
  size_t n = strnlen(name, sizeof title - 1 - used);
  memcpy(title + used, name, n);
  title[used + n] = '\0';
  host_set_title(title);
}

// What the old image leaves behind once the new one is certain to load.
static void leave_old_image(void) {
  // A save changed since the last frame end belongs to the old cartridge.
  eeprom_flush();
  eeprom_bus_idle();
  close_media();
  megacart_mapper = 0;
  eeprom_modified = 0;
}

// Tape and disk images are written by the Adam: opened for reading and
// writing. An empty one is a blank medium.
static int mount_media(const char *path, bool tape) {
  long long size;
  int kind = file_kind(path, &size);
  if (kind != FILE_REGULAR) return failed(reason_of_kind(kind));
  FILE *f = open_file(path, "r+b");
  if (f == nullptr) {
    const bool locked = errno == EACCES || errno == EPERM || errno == EROFS;
    return failed(locked ? "read-only file" : "cannot be opened");
  }
  leave_old_image();
  (tape ? tape1 : disk1) = f;
  memcpy(filename_inzip, path, strlen(path) + 1);
  nmi_use = MODE_ADAM;
  megacart = 0;
  memset(rom, 0xFF, sizeof rom);
  rom_size = 0x8000;
  set_title();
  return 0;
}

int open_rom_file(const char *path) {
  load_error = "";
  if (path == nullptr || path[0] == '\0') return failed("no file named");
  if (strlen(path) >= sizeof filename_inzip) return failed("name too long");
  const char *ext = extension_of(path);
  if (is_one_of(ext, tape_exts) || is_one_of(ext, disk_exts))
    return mount_media(path, is_one_of(ext, tape_exts));

  // An archive without a usable cartridge entry is never loaded raw or
  // mounted as a tape or disk.
  const int size = is_one_of(ext, zip_exts) ? load_from_archive(path) : load_raw(path);
  if (size <= 0) return 1;
  // Beyond a shorter image the cartridge reads 0xFF, and no header is found there.
  memset(staged + size, 0xFF, sizeof staged - (size_t)size);

  static const struct { int offset; int32_t mask; } headers[] = {
    {0x00000, 0}, {0x0C000, 0xFFFF}, {0x1C000, 0x1FFFF}, {0x3C000, 0x3FFFF}, {0x7C000, 0x7FFFF},
  };
  int32_t mode = MODE_HEADERLESS, mask = 0;
  for (const auto &h : headers) {
    if (is_header(staged + h.offset)) {
      mode = MODE_CONSOLE;
      mask = h.mask;
      break;
    }
  }
  if (mode == MODE_HEADERLESS && is_text(staged, size)) return failed("is a text file");

  leave_old_image();
  memcpy(rom, staged, sizeof rom);
  memcpy(filename_inzip, staged_name, sizeof filename_inzip);
  rom_size = size;
  nmi_use = mode;
  megacart = mask;
  sgm_active = memcmp(rom + SGM_NAME, " SUPER DK!", 10) == 0 ? 0 : 1;
  if (rom_size == ACTIVISION_SIZE && megacart == 0 && rom[MARKER_BANK_2] == 0x00 &&
      rom[MARKER_BANK_3] == 0x01) {
    megacart = 0xFFFF;
    megacart_mapper = 1;
    eeprom_small = rom[EEPROM_KIND] == 0xC0 ? 0 : 1;
    open_eeprom();
  }
  set_title();
  return 0;
}

// "Couldn't load NAME: REASON" cut to the status line: a long name loses
// its middle (its start and extension stay), and where even a short name
// leaves no room, the words before it go.
static void fit_status(char *out, size_t size, const char *name, const char *reason) {
  enum { SHORTEST_NAME = 10 };
  const char *lead = "Couldn't load ";
  const size_t n = strlen(name), r = strlen(reason);
  if (strlen(lead) + n + 2 + r > STATUS_CELLS && strlen(lead) + SHORTEST_NAME + 2 + r > STATUS_CELLS)
    lead = "";
  const size_t used = strlen(lead) + 2 + r;
  const size_t room = STATUS_CELLS > used ? STATUS_CELLS - used : 0;
  if (n <= room) {
    snprintf(out, size, "%s%s: %s", lead, name, reason);
  } else if (room > 3) {
    const char *ext = extension_of(name);
    size_t tail = ext[0] ? strlen(ext) - 1 : 0;  // the extension's letters
    if (tail > (room - 3) / 2) tail = (room - 3) / 2;
    snprintf(out, size, "%s%.*s...%s: %s", lead, (int)(room - 3 - tail), name, name + n - tail, reason);
  } else {
    snprintf(out, size, "%s", reason);
  }
}

void report_load_error(const char *path) {
  if (path == nullptr) path = "";
  fprintf(stderr, "Couldn't load %s: %s\n", path, load_error);
  char text[STATUS_CELLS + 1];
  fit_status(text, sizeof text, base_name(path), load_error);
  message(text);
}
