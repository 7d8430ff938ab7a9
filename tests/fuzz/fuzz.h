// What the fuzz targets share: a private folder for every file the machine
// reads or writes, the machine brought back to one state before each input
// (so that a crash reproduces from its input alone), and the layouts of
// inputs that carry more than one file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The private folder, set as HOME: under /dev/shm when there is one, since
// the machine writes its mapping file at every reset. Removed at exit.
const std::string &fuzz_home(void);
std::string fuzz_path(const std::string &name);
// Writes bytes to a file of the private folder; returns its path.
std::string fuzz_write(const std::string &name, const uint8_t *data, size_t size);
std::vector<uint8_t> fuzz_read(const std::string &path);

// The machine as the program starts it, with nothing loaded: the folder
// emptied, no media, the EEPROM bus idle, the Adam devices' state clear.
void fuzz_fresh_machine(void);
// A file loaded like a drop on the window: open_rom_file, then a full reset.
int fuzz_load(const std::string &path);
// Whole frames from a fresh count, as after a load.
void fuzz_run_frames(int frames);

// Image kinds of a session part (low 3 bits of its first byte). The two
// Activision kinds build a 64 KB cartridge from the part (its start, the
// rest 0xFF, the marker bytes set) so that a few bytes make one.
enum {
  KIND_ROM, KIND_ZIP, KIND_TAPE, KIND_DISK, KIND_COL,
  KIND_ACTIVISION_SMALL, KIND_ACTIVISION_LARGE, KIND_MISSING, KIND_COUNT
};
// Parts of a session input are separated by this.
extern const char session_separator[9];
struct session_part {
  int kind;
  int frames;  // run after loading: 1 to 4
  std::vector<uint8_t> bytes;
};
// Up to three parts; the first byte of each gives the kind (bits 0-2) and
// the frames less one (bits 3-4).
std::vector<session_part> session_parts(const uint8_t *data, size_t size);
std::vector<uint8_t> session_input(const std::vector<session_part> &parts);
// The file a part is loaded from: its name and contents.
std::string session_file_name(int kind, int index);
std::vector<uint8_t> session_file(const session_part &part);

// The snapshot file of a 64-bit build; a snapshot input may carry the
// cartridge image after it.
enum { SNAPSHOT_BYTES = 149872 };

// Adam media input: the first byte picks the drive (bit 0: 1 tape, 0 disk),
// the rest is the image.
enum { MEDIA_DISK = 0, MEDIA_TAPE = 1 };
