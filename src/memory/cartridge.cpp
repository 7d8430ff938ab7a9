// Image loading: raw cartridge images, cartridges inside ZIP archives, and
// Adam tape and disk images. Decides the machine mode and the cartridge
// hardware; the caller follows with a full reset.
#include "memory/cartridge.h"

#include <cstdlib>
#include <cstring>
#include <unzip.h>

#include "common/paths.h"
#include "host/host.h"
#include "memory/memory.h"

char filename_inzip[4096];
FILE *tape1, *disk1;

enum { TRANSFER_SIZE = 0x10000 };

// The text from the last "." of name to its end; "" when there is none.
static const char *extension_of(const char *name) {
  const char *dot = strrchr(name, '.');
  return dot ? dot : "";
}

static bool is_one_of(const char *ext, const char *const *list) {
  for (; *list; list++)
    if (strcmp(ext, *list) == 0) return true;
  return false;
}

static const char *const zip_exts[] = {".zip", ".ZIP", nullptr};
static const char *const tape_exts[] = {".ddp", ".DDP", nullptr};
static const char *const disk_exts[] = {".dsk", ".DSK", nullptr};
static const char *const cart_exts[] = {".rom", ".ROM", ".col", ".COL", ".bin", ".BIN", nullptr};

// The part after the last "/" or backslash.
static const char *base_name(const char *path) {
  const char *base = path;
  for (const char *p = path; *p; p++)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

// Extracts the archive's current entry into rom when it is a cartridge
// entry. Returns the bytes extracted, 0 when skipped or empty, -1 on error.
static int do_extract_currentfile(unzFile archive, const char *password) {
  unz_file_info info;
  // One byte is kept back so the name always ends in a terminator.
  memset(filename_inzip, 0, sizeof filename_inzip);
  if (unzGetCurrentFileInfo(archive, &info, filename_inzip, sizeof filename_inzip - 1,
                            nullptr, 0, nullptr, 0) != UNZ_OK)
    return -1;
  uint8_t *buffer = (uint8_t *)malloc(TRANSFER_SIZE);
  if (buffer == nullptr) return -1;
  int result = 0;
  if (base_name(filename_inzip)[0] == '\0') {  // a directory entry
    free(buffer);
    return 0;
  }
  if (unzOpenCurrentFilePassword(archive, password) != UNZ_OK) {
    free(buffer);
    return -1;
  }
  // A name cut short by the buffer has lost its real extension: skip it.
  bool cut = info.size_filename >= sizeof filename_inzip - 1;
  if (!cut && is_one_of(extension_of(filename_inzip), cart_exts)) {
    size_t filled = 0;
    for (;;) {
      int n = unzReadCurrentFile(archive, buffer, TRANSFER_SIZE);
      if (n < 0) { result = -1; break; }
      if (n == 0) { result = (int)filled; break; }
      if (filled + (size_t)n > sizeof rom) { result = -1; break; }
      memcpy(rom + filled, buffer, (size_t)n);
      filled += (size_t)n;
    }
  }
  // Closing checks the entry's CRC: damaged contents are not a cartridge.
  if (unzCloseCurrentFile(archive) != UNZ_OK && result > 0) result = -1;
  free(buffer);
  return result;
}

// Searches the archive for its first non-empty cartridge entry. Returns the
// bytes loaded into rom, or 0 when the archive cannot be read or holds none.
static int load_from_archive(const char *path) {
  unzFile archive = unzOpen(path);
  if (archive == nullptr) return 0;
  unz_global_info global;
  int loaded = 0;
  if (unzGetGlobalInfo(archive, &global) == UNZ_OK) {
    for (uLong i = 0; i < global.number_entry; i++) {
      int r = do_extract_currentfile(archive, nullptr);
      if (r != 0) { loaded = r > 0 ? r : 0; break; }
      if (i + 1 < global.number_entry && unzGoToNextFile(archive) != UNZ_OK) break;
    }
  }
  unzClose(archive);
  return loaded;
}

static bool header_at(int offset) {
  return (rom[offset] == 0x55 && rom[offset + 1] == 0xAA) ||
         (rom[offset] == 0xAA && rom[offset + 1] == 0x55);
}

// Fills eeprom from the cartridge's save file, or blank with a forced
// first write when there is none.
static void open_eeprom(void) {
  const char *base = base_name(filename_inzip);
  size_t len = strcspn(base, ".");
  char name[300];
  eeprom_filename[0] = '\0';
  if (len + 5 <= sizeof name) {
    memcpy(name, base, len);
    memcpy(name + len, ".bin", 5);
    // The home folder; Documents on Windows.
    if (user_path(FOLDER_DOCUMENTS, eeprom_filename, sizeof eeprom_filename, name) != 0)
      eeprom_filename[0] = '\0';
  }
  // No usable save name (too long for the host's file names): the EEPROM
  // still works, it is just not kept.
  FILE *f = eeprom_filename[0] ? open_file(eeprom_filename, "rb") : nullptr;
  if (f == nullptr) {
    memset(eeprom, 0xFF, sizeof eeprom);
    eeprom_modified = -1;
    return;
  }
  size_t n = fread(eeprom, 1, sizeof eeprom, f);
  fclose(f);
  // A short save file is blank beyond its end, not the previous cartridge's.
  memset(eeprom + n, 0xFF, sizeof eeprom - n);
}

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

// A failed load leaves no partial image behind.
static int fail(void) {
  memset(rom, 0xFF, sizeof rom);
  return 1;
}

int open_rom_file(const char *path) {
  // A save changed since the last frame end belongs to the old cartridge.
  eeprom_flush();
  eeprom_bus_idle();
  close_media();
  memset(rom, 0xFF, sizeof rom);
  if (path == nullptr || strlen(path) >= sizeof filename_inzip) return 1;
  strcpy(filename_inzip, path);
  const char *ext = extension_of(filename_inzip);

  int archive_size = 0;
  if (is_one_of(ext, zip_exts)) {
    archive_size = load_from_archive(path);
    // An archive without a usable cartridge entry is never loaded raw or
    // mounted as a tape or disk.
    if (archive_size <= 0) return fail();
    ext = extension_of(filename_inzip);
  }

  megacart_mapper = 0;
  eeprom_modified = 0;

  if (archive_size == 0 && (is_one_of(ext, tape_exts) || is_one_of(ext, disk_exts))) {
    bool tape = is_one_of(ext, tape_exts);
    nmi_use = MODE_ADAM;
    megacart = 0;
    FILE *f = open_file(path, "r+b");
    if (f == nullptr) return fail();
    (tape ? tape1 : disk1) = f;
    rom_size = 0x8000;
    set_title();
    return 0;
  }

  if (archive_size > 0) {
    rom_size = archive_size;
  } else {
    FILE *f = open_file(path, "rb");
    if (f == nullptr) return fail();
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0) size = ftell(f);
    if (size < 0) { fclose(f); return fail(); }
    rom_size = size > 0x7FFFFFFF ? 0x7FFFFFFF : (int32_t)size;
    if (size > (long)sizeof rom) { fclose(f); return fail(); }
    rewind(f);
    size_t got = size > 0 ? fread(rom, 1, (size_t)size, f) : 0;
    fclose(f);
    if (got != (size_t)size) return fail();
  }

  static const struct { int offset; int32_t mask; } headers[] = {
    {0x00000, 0}, {0x0C000, 0xFFFF}, {0x1C000, 0x1FFFF}, {0x3C000, 0x3FFFF}, {0x7C000, 0x7FFFF},
  };
  nmi_use = MODE_HEADERLESS;
  megacart = 0;
  for (const auto &h : headers) {
    if (header_at(h.offset)) {
      nmi_use = MODE_CONSOLE;
      megacart = h.mask;
      break;
    }
  }

  sgm_active = memcmp(rom + 0x24, " SUPER DK!", 10) == 0 ? 0 : 1;

  if (rom_size == 0x10000 && megacart == 0 && rom[0xBF80] == 0x00 && rom[0xFF80] == 0x01) {
    megacart = 0xFFFF;
    megacart_mapper = 1;
    eeprom_small = rom[0xFF7F] == 0xC0 ? 0 : 1;
    open_eeprom();
  }

  set_title();
  return 0;
}
