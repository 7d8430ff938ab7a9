// Cartridge images and ZIP archives through the loader, then one frame of
// whatever it decided: the layout, mapper and save file it set up must
// hold up under the running machine.
#include <cstring>

#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_fresh_machine();
  // An archive is told by its signature, so seeds are plain files.
  const bool zip = size >= 4 && memcmp(data, "PK\x03\x04", 4) == 0;
  fuzz_load(fuzz_write(zip ? "image.zip" : "image.rom", data, size));
  fuzz_run_frames(1);
  return 0;
}
