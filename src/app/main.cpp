// tervox: the Linux desktop program.
#include "core/machine.h"

int main(int argc, char **argv) {
  return tervox_main(argc >= 2 ? argv[1] : nullptr);
}
