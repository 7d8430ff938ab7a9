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
           "~/tervox_mapping.txt, written at every start and reset.\n"
           "Default hotkeys:\n"
           "  F1 save snapshot      F2 restore snapshot   F3 pause / resume\n"
           "  F4 NTSC / PAL         Ctrl+F4 state dump    F5 roller controller\n"
           "  F6 record video       F7 show key codes     F8 fast Adam drives\n"
           "  F9 record sound       Ctrl+F9 sound log     F10 screenshot\n"
           "  Backspace reset       Ctrl+GUI+F full screen\n"
           "Controller 1: arrows, Space and M (fire), 0-9, O (*), P (#).\n"
           "Controller 2: W A S D, Tab and Q (fire), R T Y F G H V B N K (keypad), J (*), L (#).\n");
    return 0;
  }
  if (argc >= 2 && strcmp(argv[1], "--version") == 0) {
    printf("tervox %s\n", TERVOX_VERSION);
    return 0;
  }
  return tervox_main(argc >= 2 ? argv[1] : nullptr);
}
