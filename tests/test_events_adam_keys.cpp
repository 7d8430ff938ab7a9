// On the Adam a key that types does not also run the action bound to it:
// the default Backspace types a backspace instead of resetting the machine.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cstring>

#include "adam/adamnet.h"
#include "core/machine.h"
#include "core/z80.h"
#include "input/events.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/present.h"

namespace {
void tap(SDL_Keycode k) {
  for (bool down : {true, false}) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.sym = k;
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    do_something();
  }
}
}  // namespace

TEST(AdamKeys, TypingKeysRunNoActionButFunctionKeysDo) {
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
  private_home();
  machine_fresh();
  nmi_use = 2;
  init_peripheral(0);
  memset(adam_keyboard, 0, sizeof adam_keyboard);
  emulator_registers[REG_PC] = 0x1234;
  current_message[0] = '\0';
  tap(SDLK_BACKSPACE);
  EXPECT_EQ(~adam_keyboard[0] & 255, 8);
  EXPECT_EQ(emulator_registers[REG_PC], 0x1234) << "Backspace reset the Adam";
  EXPECT_STRNE(current_message, "Reset");
  tap(SDLK_F8);  // fast disk: types nothing, so the action runs
  EXPECT_STREQ(current_message, "Ultrafast disk/tape");
  tap(SDLK_F8);
  // On the console Backspace is the reset key as before.
  nmi_use = 1;
  init_peripheral(0);
  emulator_registers[REG_PC] = 0x1234;
  tap(SDLK_BACKSPACE);
  EXPECT_EQ(emulator_registers[REG_PC], 0);
  EXPECT_STREQ(current_message, "Reset");
  SDL_Quit();
}
