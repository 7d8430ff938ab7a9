// The snapshot reader, and two frames of every snapshot it accepts. The
// input is the snapshot file, optionally followed by the cartridge image
// loaded before it is restored (what the snapshot was taken with). After
// the run, the machine's own snapshot must be accepted again: a state the
// machine can reach must never make a file it refuses.
#include <cstdio>
#include <cstdlib>

#include "capture/capture.h"
#include "core/machine.h"
#include "core/timing.h"
#include "fuzz/fuzz.h"
#include "video/vdp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_fresh_machine();
  const size_t snapshot = size < SNAPSHOT_BYTES ? size : SNAPSHOT_BYTES;
  if (size > snapshot) fuzz_load(fuzz_write("cart.rom", data + snapshot, size - snapshot));
  if (read_snapshot(fuzz_write("slot.bin", data, snapshot).c_str()) != 0) return 0;
  // Restored counts are picked up as after the restore hotkey.
  machine_run_lines(2L * lines_per_frame(vdp_pal));
  const std::string again = fuzz_path("again.bin");
  if (save_snapshot(again.c_str()) != 0 || read_snapshot(again.c_str()) != 0) {
    fprintf(stderr, "tervox fuzz: the machine's own snapshot is refused\n");
    abort();
  }
  return 0;
}
