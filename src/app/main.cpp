// tervox: the Linux desktop program.
#include <cstdio>
#include <cstring>

#include "core/machine.h"

int main(int argc, char **argv) {
  if (argc >= 2 && strcmp(argv[1], "--help") == 0) {
    printf("usage: tervox [IMAGE]\n"
           "Starts the emulator with a cartridge image (raw or in a .zip archive),\n"
           "an Adam tape (.ddp) or disk (.dsk) image; images can also be dropped\n"
           "on the window. Keys, joysticks and hotkeys are set in\n"
           "~/tervox_mapping.txt (written at every start).\n"
           "Default hotkeys: F1 save snapshot, F2 restore, F3 pause, F4 NTSC/PAL,\n"
           "F5 roller controller, F6 record video, F7 key codes, F8 fast Adam\n"
           "drives, F9 record sound, F10 screenshot, Backspace reset.\n");
    return 0;
  }
  if (argc >= 2 && strcmp(argv[1], "--version") == 0) {
    printf("tervox %s\n", TERVOX_VERSION);
    return 0;
  }
  return tervox_main(argc >= 2 ? argv[1] : nullptr);
}
