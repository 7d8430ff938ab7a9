// Adam disk and tape images booted by our firmware through the device
// service: block 0 is read from the image and entered, and whatever it does
// with the drives (more reads, writes back to the image) runs for a while.
//
// The firmware's start-up (screen, network reset, status requests) does
// not depend on the image's contents, so it runs once per drive with a
// stand-in image, up to the moment block 0 is asked for; every input then
// starts from a snapshot of that moment with its own image mounted.
#include <cstdio>
#include <cstdlib>

#include "adam/adamnet.h"
#include "capture/capture.h"
#include "core/machine.h"
#include "core/timing.h"
#include "fuzz/fuzz.h"
#include "memory/memory.h"
#include "video/vdp.h"

namespace {

enum { BLOCK = 1024, DCB_SIZE = 21, DCB_SLOTS = 15, READ = 4, DEV_DISK = 4, DEV_TAPE = 8 };
enum { START_FRAMES_MAX = 200, RUN_FRAMES = 20 };

const char *image_name(int drive) { return drive == MEDIA_TAPE ? "media.ddp" : "media.dsk"; }

bool block_read_pending(int device) {
  for (int n = 0; n < DCB_SLOTS; n++) {
    const int d = (pcb_adam + 4 + DCB_SIZE * n) & 0xFFFF;
    if (internal_ram[(d + 16) & 0xFFFF] == device && internal_ram[d] == READ) return true;
  }
  return false;
}

std::vector<uint8_t> boot_snapshot(int drive) {
  fuzz_fresh_machine();
  std::vector<uint8_t> stand_in(BLOCK, 0x18);  // not blank, so it would be booted
  fuzz_load(fuzz_write(image_name(drive), stand_in.data(), stand_in.size()));
  adam_fast = 1;
  const int device = drive == MEDIA_TAPE ? DEV_TAPE : DEV_DISK;
  for (int f = 0; f < START_FRAMES_MAX; f++) {
    start_z80(map1, map2, lines_per_frame(vdp_pal));
    if (block_read_pending(device)) {
      const std::string path = fuzz_path("boot.bin");
      if (save_snapshot(path.c_str()) == 0) return fuzz_read(path);
      break;
    }
  }
  fprintf(stderr, "tervox fuzz: the firmware never asked drive %d for block 0\n", device);
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::vector<uint8_t> boot[2] = {boot_snapshot(MEDIA_DISK), boot_snapshot(MEDIA_TAPE)};
  if (size == 0) return 0;
  const int drive = data[0] & 1;
  fuzz_fresh_machine();
  fuzz_load(fuzz_write(image_name(drive), data + 1, size - 1));
  const std::vector<uint8_t> &snap = boot[drive];
  if (read_snapshot(fuzz_write("boot.bin", snap.data(), snap.size()).c_str()) != 0) abort();
  adam_fast = 1;  // a block every frame
  machine_run_lines((long)RUN_FRAMES * lines_per_frame(vdp_pal));
  return 0;
}
