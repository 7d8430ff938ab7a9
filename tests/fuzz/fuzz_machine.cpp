// The whole machine running arbitrary bytes as a cartridge: the
// interpreter, the memory map and its mappers, the ports, both sound chips,
// the video chip and the renderer, for a few frames.
#include "fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_fresh_machine();
  fuzz_load(fuzz_write("cart.rom", data, size));
  fuzz_run_frames(3);
  return 0;
}
