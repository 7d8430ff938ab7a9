// The mapping file reader and writer: any file is read without harm, and
// what the program writes back is its normal form, so reading that gives
// the same file again. Checked for the desktop and the Pi's format.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/machine.h"
#include "fuzz/fuzz.h"
#include "input/events.h"

static int adam_lines(const std::vector<uint8_t> &text) {
  static const char name[] = "\nadam_";
  int n = 0;
  for (auto at = text.begin(); (at = std::search(at, text.end(), name, name + 6)) != text.end(); at++) n++;
  return n;
}

static void check_stable(const uint8_t *data, size_t size) {
  const std::string path = fuzz_write("tervox_mapping.txt", data, size);
  full_screen = 0;
  load_mapping();
  const std::vector<uint8_t> first = fuzz_read(path);
  load_mapping();
  const std::vector<uint8_t> second = fuzz_read(path);
  if (first != second) {
    fprintf(stderr, "tervox fuzz: the mapping file changes when read again (platform %d): Adam lines: %d written, %d after reading them again\n--- first\n%.*s\n--- second\n%.*s\n",
            (int)platform, adam_lines(first), adam_lines(second), (int)first.size(),
            (const char *)first.data(), (int)second.size(), (const char *)second.data());
    abort();
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_home();
  platform = PLATFORM_DESKTOP;
  check_stable(data, size);
  platform = PLATFORM_PI;
  check_stable(data, size);
  platform = PLATFORM_DESKTOP;
  return 0;
}
