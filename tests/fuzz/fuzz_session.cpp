// Two or three images loaded one after another into one session, each run
// for a few frames, as when files are dropped on the window: whatever one
// image leaves behind (mapper, EEPROM bus, media, mode) must be safe for
// the next.
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_fresh_machine();
  std::vector<session_part> parts = session_parts(data, size);
  for (size_t i = 0; i < parts.size(); i++) {
    std::string name = session_file_name(parts[i].kind, (int)i);
    std::string path = fuzz_path(name);
    if (parts[i].kind != KIND_MISSING) {
      std::vector<uint8_t> file = session_file(parts[i]);
      path = fuzz_write(name, file.data(), file.size());
    }
    fuzz_load(path);
    fuzz_run_frames(parts[i].frames);
  }
  return 0;
}
