// The event loop: host events pushed into SDL's queue turn into controller
// state, Adam keys, actions and window changes.
#include <gtest/gtest.h>

#include <SDL.h>

#include <dirent.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "adam/adamnet.h"
#include "capture/capture.h"
#include "core/machine.h"
#include "core/z80.h"
#include "host/host.h"
#include "host/sdl.h"
#include "input/events.h"
#include "input/ports.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

enum { UP = 0, RIGHT, DOWN, LEFT, LEFT_BUTTON, RIGHT_BUTTON, BUTTON3, KEY1 = 8, KEY2, C2 = 20 };

void push(SDL_Event &e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }

void key(SDL_Keycode k, bool down, Uint16 mod = 0) {
  SDL_Event e;
  SDL_zero(e);
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = k;
  e.key.keysym.mod = mod;
  push(e);
}
void press(SDL_Keycode k, Uint16 mod = 0) { key(k, true, mod); do_something(); }
void release(SDL_Keycode k, Uint16 mod = 0) { key(k, false, mod); do_something(); }
void tap(SDL_Keycode k, Uint16 mod = 0) { press(k, mod); release(k, mod); }

void button(int which, int b, bool down) {
  SDL_Event e;
  SDL_zero(e);
  e.type = down ? SDL_JOYBUTTONDOWN : SDL_JOYBUTTONUP;
  e.jbutton.which = which;
  e.jbutton.button = (Uint8)b;
  e.jbutton.state = down ? SDL_PRESSED : SDL_RELEASED;
  push(e);
  do_something();
}

void axis(int which, int a, int value) {
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_JOYAXISMOTION;
  e.jaxis.which = which;
  e.jaxis.axis = (Uint8)a;
  e.jaxis.value = (Sint16)value;
  push(e);
  do_something();
}

std::string shown() { return current_message; }

// Names in folder starting with prefix, in order: recordings are numbered
// by counters that live as long as the process.
std::vector<std::string> files(const std::string &folder, const std::string &prefix) {
  std::vector<std::string> names;
  if (DIR *d = opendir(folder.c_str())) {
    while (struct dirent *e = readdir(d))
      if (strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0) names.push_back(folder + "/" + e->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct Events : ::testing::Test {
  std::string home;
  static void SetUpTestSuite() {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
  }
  static void TearDownTestSuite() { SDL_Quit(); }
  void SetUp() override {
    home = private_home();
    machine_fresh();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    memset(key_table, 0, sizeof key_table);
    memset(adam_keyboard, 0, sizeof adam_keyboard);
    current_message[0] = '\0';
    emulator_event = 0;
    quit = 0;
    do_pause = 0;
    get_screenshot = 0;
    checking_codes = 0;
    adam_fast = 0;
  }
  void TearDown() override {
    end_sound_recording();
    avi_end_video();
    record_sound = record_video = record_psg = 0;
    nmi_use = 1;
    vdp_pal = 0;
    quit = 0;
    emulator_event = 0;
  }
  void mapping(const std::string &text) {
    FILE *f = fopen((home + "/tervox_mapping.txt").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs(text.c_str(), f);
    fclose(f);
    load_mapping();
  }
};

TEST_F(Events, KeysSetAndClearTheirEntries) {
  press(SDLK_UP);
  press('w');
  EXPECT_EQ(key_table[UP], 1u);
  EXPECT_EQ(key_table[C2 + UP], 1u);
  release(SDLK_UP);
  EXPECT_EQ(key_table[UP], 0u);
  EXPECT_EQ(key_table[C2 + UP], 1u);
  // Auto-repeat presses fire again and keep the entry pressed.
  press('w');
  EXPECT_EQ(key_table[C2 + UP], 1u);
  release('w');
  EXPECT_EQ(key_table[C2 + UP], 0u);
  // Several events in the queue are handled in order in one call.
  key('1', true);
  key('2', true);
  key('1', false);
  do_something();
  EXPECT_EQ(key_table[KEY1], 0u);
  EXPECT_EQ(key_table[KEY2], 1u);
}

TEST_F(Events, UnidentifiedKeyIsIgnored) {
  // Key code 0 equals every empty binding, the actions' alternates included.
  press(0);
  release(0);
  press(0, KMOD_CTRL);
  for (int i = 0; i < 52; i++) EXPECT_EQ(key_table[i], 0u) << i;
  EXPECT_EQ(quit, 0);
  EXPECT_EQ(do_pause, 0);
  EXPECT_EQ(shown(), "");
}

TEST_F(Events, ChordFiresOnTheSecondKeyAndReleasesOnEither) {
  mapping("key1_1 key97 key98\nkey_codes key1073741888 key1073741889\n");
  press('a');
  EXPECT_EQ(key_table[KEY1], 0u);
  press('b');
  EXPECT_EQ(key_table[KEY1], 1u);
  release('a');
  EXPECT_EQ(key_table[KEY1], 0u);
  press('a');
  EXPECT_EQ(key_table[KEY1], 1u);
  release('b');
  EXPECT_EQ(key_table[KEY1], 0u);
  // An action on a chord runs only when the chord closes.
  press(SDLK_F7);
  EXPECT_EQ(checking_codes, 0);
  press(SDLK_F8);
  EXPECT_EQ(checking_codes, 1);
  EXPECT_EQ(shown(), "Checking codes");
}

TEST_F(Events, OneKeyDrivesSeveralBindings) {
  mapping("key1_1 key49\nkey1_1 key120\nkey2_1 key120\n");
  press('x');
  EXPECT_EQ(key_table[KEY1], 1u);  // through the alternate
  EXPECT_EQ(key_table[KEY2], 1u);  // through the primary
  // Primary and alternate of one name: either release clears it.
  press('1');
  release('x');
  EXPECT_EQ(key_table[KEY1], 0u);
  EXPECT_EQ(key_table[KEY2], 0u);
}

TEST_F(Events, KeyAndButtonOnOneName) {
  press(SDLK_SPACE);
  EXPECT_EQ(key_table[LEFT_BUTTON], 1u);
  button(0, 0, true);
  button(0, 0, false);
  EXPECT_EQ(key_table[LEFT_BUTTON], 0u);  // released though Space is still down
  button(1, 1, true);
  EXPECT_EQ(key_table[C2 + RIGHT_BUTTON], 1u);
  button(1, 0, false);                     // another button: no change
  EXPECT_EQ(key_table[C2 + RIGHT_BUTTON], 1u);
  button(0, 1, false);                     // same button, other joystick
  EXPECT_EQ(key_table[C2 + RIGHT_BUTTON], 1u);
  button(1, 1, false);
  EXPECT_EQ(key_table[C2 + RIGHT_BUTTON], 0u);
}

TEST_F(Events, ButtonChordAndActionsFromButtons) {
  mapping("button3_1 joy0_2 joy0_3\nkey_fast_disk key0 joy1_7\n");
  button(0, 2, true);
  EXPECT_EQ(key_table[BUTTON3], 0u);
  button(0, 3, true);
  EXPECT_EQ(key_table[BUTTON3], 1u);
  button(0, 2, false);
  EXPECT_EQ(key_table[BUTTON3], 0u);
  button(1, 7, true);
  EXPECT_EQ(adam_fast, 1);
  button(1, 7, false);  // no action on release
  EXPECT_EQ(adam_fast, 1);
  EXPECT_EQ(shown(), "Ultrafast disk/tape");
}

TEST_F(Events, AxesPressBeyond8000) {
  axis(0, 0, -8000);
  axis(0, 1, 8000);
  for (int i : {UP, RIGHT, DOWN, LEFT}) EXPECT_EQ(key_table[i], 0u);
  axis(0, 0, -8001);
  EXPECT_NE(key_table[LEFT], 0u);
  EXPECT_EQ(key_table[RIGHT], 0u);
  axis(0, 0, 8001);
  EXPECT_EQ(key_table[LEFT], 0u);
  EXPECT_NE(key_table[RIGHT], 0u);
  axis(0, 1, -32768);
  EXPECT_NE(key_table[UP], 0u);
  axis(0, 1, 32767);
  EXPECT_EQ(key_table[UP], 0u);
  EXPECT_NE(key_table[DOWN], 0u);
  axis(0, 0, 0);
  axis(0, 1, 8000);
  for (int i : {UP, RIGHT, DOWN, LEFT}) EXPECT_EQ(key_table[i], 0u);
  // The second joystick drives controller 2.
  axis(1, 0, -8001);
  EXPECT_NE(key_table[C2 + LEFT], 0u);
  EXPECT_EQ(key_table[LEFT], 0u);
  axis(1, 2, -8001);  // an unbound axis
  EXPECT_EQ(key_table[C2 + UP], 0u);
}

TEST_F(Events, NegatedAxesSwapDirections) {
  mapping("joystick_1_horiz joy0 axis0 neg1\njoystick_1_vert joy0 axis1 neg1\n"
          "joystick_2_horiz joy0 axis0 neg0\n");
  axis(0, 0, 8000);
  EXPECT_EQ(key_table[LEFT], 0u);
  axis(0, 0, 8001);
  EXPECT_NE(key_table[LEFT], 0u);
  EXPECT_EQ(key_table[RIGHT], 0u);
  // Controller 2 on the same axis, not negated, moves the other way.
  EXPECT_NE(key_table[C2 + RIGHT], 0u);
  EXPECT_EQ(key_table[C2 + LEFT], 0u);
  axis(0, 0, -8001);
  EXPECT_NE(key_table[RIGHT], 0u);
  EXPECT_EQ(key_table[LEFT], 0u);
  axis(0, 1, -8001);
  EXPECT_NE(key_table[DOWN], 0u);
  axis(0, 1, -8000);
  EXPECT_EQ(key_table[DOWN], 0u);
  EXPECT_EQ(key_table[UP], 0u);
}

TEST_F(Events, AxisAndKeyShareADirection) {
  axis(0, 0, -8001);
  press(SDLK_LEFT);
  // A released key clears the whole entry, though the axis still holds it.
  release(SDLK_LEFT);
  EXPECT_EQ(key_table[LEFT], 0u);
  // The axis touches only its own bit.
  press(SDLK_RIGHT);
  axis(0, 0, -8001);
  axis(0, 0, 0);
  EXPECT_NE(key_table[RIGHT], 0u);
}

struct AdamTyping : Events {
  void SetUp() override {
    Events::SetUp();
    nmi_use = 2;
  }
  std::vector<int> typed() {
    std::vector<int> codes;
    for (int slot = 0; slot < 16 && adam_keyboard[slot] != 0; slot++)
      codes.push_back(~adam_keyboard[slot] & 255);
    return codes;
  }
};

TEST_F(AdamTyping, BindingsShiftAndCapsLock) {
  tap('a');
  tap('a', KMOD_CAPS);
  tap('a', KMOD_LSHIFT);
  tap('7');
  tap(';');
  tap('1', KMOD_RSHIFT);                     // adam_exclamation
  tap('1', KMOD_LALT);                       // adam_i
  tap('1', KMOD_LALT | KMOD_LSHIFT | KMOD_LCTRL);  // first match: adam_shift_i
  tap('d', KMOD_RCTRL | KMOD_RALT);          // adam_del
  tap(SDLK_RETURN);
  tap(SDLK_F11);                             // no code: types nothing
  EXPECT_EQ(typed(), (std::vector<int>{'a', 'A', 'A', '7', ';', '!', 129, 137, 127, 13}));
  // Typing also drives the bindings: '1' pressed keypad key 1.
  EXPECT_EQ(do_pause, 0);
}

TEST_F(AdamTyping, ShiftDigitWithoutABindingTypesNothing) {
  mapping("adam_cr key13\n");
  tap('1', KMOD_LSHIFT);
  tap(';', KMOD_LSHIFT);
  tap('z', KMOD_LSHIFT);
  tap('1');
  EXPECT_EQ(typed(), (std::vector<int>{'Z', '1'}));
}

TEST_F(AdamTyping, FullQueueDropsTheKey) {
  for (int n = 0; n < 16; n++) tap('a' + n);
  tap('z');
  std::vector<int> codes = typed();
  ASSERT_EQ(codes.size(), 16u);
  EXPECT_EQ(codes[15], 'p');
  // A freed slot takes the next key.
  adam_keyboard[3] = 0;
  tap('z');
  EXPECT_EQ(~adam_keyboard[3] & 255, 'z');
  // Outside Adam mode nothing is typed.
  memset(adam_keyboard, 0, sizeof adam_keyboard);
  nmi_use = 1;
  tap('a');
  EXPECT_EQ(adam_keyboard[0], 0);
}

TEST_F(Events, PauseTwiceInOneFrameOnlyRequestsIt) {
  key(SDLK_F3, true);
  key(SDLK_F3, false);
  key(SDLK_F3, true);
  key(SDLK_F3, false);
  do_something();
  EXPECT_EQ(do_pause, 1);
  EXPECT_EQ(emulator_event, 0);
  EXPECT_EQ(shown(), "");
  // The frame driver completes the pause at the frame's end.
  machine_run_frames(2);
  EXPECT_EQ(emulator_event, 1);
  EXPECT_EQ(do_pause, 0);
  EXPECT_EQ(shown(), "Paused");
  // Resume is immediate.
  tap(SDLK_F3);
  EXPECT_EQ(emulator_event, 2);
  EXPECT_EQ(do_pause, 0);
  EXPECT_EQ(shown(), "Running");
}

TEST_F(Events, QuitEndsRecordings) {
  tap(SDLK_F9);
  ASSERT_EQ(record_sound, 1);
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_QUIT;
  push(e);
  do_something();
  EXPECT_EQ(quit, 1);
  EXPECT_EQ(emulator_event, 1);
  EXPECT_EQ(record_sound, 0);
  EXPECT_EQ(sound_file, nullptr);

  // The exit action ends them as well.
  quit = 0;
  emulator_event = 0;
  tap(SDLK_F9);
  ASSERT_EQ(record_sound, 1);
  process_action(42, 0);
  EXPECT_EQ(quit, 1);
  EXPECT_EQ(emulator_event, 1);
  EXPECT_EQ(record_sound, 0);
  EXPECT_EQ(sound_file, nullptr);
  std::vector<std::string> wavs = files(home, "audio");
  ASSERT_EQ(wavs.size(), 2u);
  std::vector<uint8_t> wav = read_file(wavs[1]);
  ASSERT_GE(wav.size(), 44u);
  uint32_t riff_size;
  memcpy(&riff_size, wav.data() + 4, 4);
  EXPECT_EQ(riff_size, wav.size() - 8);  // sizes written: a complete file
}

TEST_F(Events, ActionMessages) {
  emulator_registers[REG_PC] = 0x1234;
  tap(SDLK_BACKSPACE);
  EXPECT_EQ(shown(), "Reset");
  EXPECT_EQ(emulator_registers[REG_PC], 0);

  roller_x = 5;
  tap(SDLK_F5);
  EXPECT_EQ(shown(), "Roller Controller enabled");
  EXPECT_EQ(roller_enabled, 1);
  EXPECT_EQ(roller_x, 0);
  tap(SDLK_F5);
  EXPECT_EQ(shown(), "Roller Controller disabled");
  EXPECT_EQ(roller_enabled, 0);

  tap(SDLK_F8);
  EXPECT_EQ(shown(), "Ultrafast disk/tape");
  tap(SDLK_F8);
  EXPECT_EQ(shown(), "Normal speed disk/tape");
  EXPECT_EQ(adam_fast, 0);

  tap(SDLK_F4);
  EXPECT_EQ(shown(), "PAL mode");
  EXPECT_EQ(vdp_pal, 1);
  tap(SDLK_F4);
  EXPECT_EQ(shown(), "NTSC mode");
  EXPECT_EQ(vdp_pal, 0);
  tap(SDLK_F4, KMOD_LCTRL);
  EXPECT_EQ(shown(), "Memory snapshot created");
  EXPECT_EQ(vdp_pal, 0);

  tap(SDLK_F9, KMOD_RCTRL);
  EXPECT_EQ(shown(), "Started logging PSG");
  EXPECT_EQ(record_psg, 1);
  tap(SDLK_F9, KMOD_RCTRL);
  EXPECT_EQ(shown(), "Finished logging PSG");
  EXPECT_EQ(record_psg, 0);

  tap(SDLK_F10);
  EXPECT_EQ(get_screenshot, 1);
  get_screenshot = 0;
  emulator_event = 1;  // paused: the screenshot is taken at once
  tap(SDLK_F10);
  EXPECT_EQ(get_screenshot, 0);

  tap(SDLK_F24);
  EXPECT_EQ(quit, 1);
  EXPECT_EQ(emulator_event, 1);
}

TEST_F(Events, KeyCodeDisplay) {
  tap(SDLK_F7);
  EXPECT_EQ(shown(), "Checking codes");
  press('x');
  EXPECT_EQ(shown(), "key120");
  current_message[0] = '\0';
  release('x');
  EXPECT_EQ(shown(), "");
  axis(1, 3, -32768);
  EXPECT_EQ(shown(), "joy1 axis3 -32768");
  button(0, 9, true);
  EXPECT_EQ(shown(), "joy0_9");
  tap(SDLK_F7);
  EXPECT_EQ(shown(), "Not checking codes");
  press('y');
  EXPECT_EQ(shown(), "Not checking codes");
}

TEST_F(Events, SnapshotSaveAndRestore) {
  tap(SDLK_F1);
  ASSERT_EQ(shown(), "Snapshot saved");
  emulator_registers[REG_PC] = 0x4321;
  tap(SDLK_F2);
  EXPECT_EQ(shown(), "Snapshot read");
  EXPECT_NE(emulator_registers[REG_PC], 0x4321);
}

TEST_F(Events, RecordingsTakeNumberedFilesAndReportFailures) {
  tap(SDLK_F9);
  EXPECT_EQ(shown(), "Starting sound recording");
  EXPECT_NE(sound_file, nullptr);
  tap(SDLK_F9);
  EXPECT_EQ(shown(), "Sound recording ended");
  EXPECT_EQ(record_sound, 0);
  std::vector<std::string> wavs = files(home, "audio");
  ASSERT_EQ(wavs.size(), 1u);
  EXPECT_EQ(read_file(wavs[0]).size(), 44u);

  // The counters go on from the last number taken.
  tap(SDLK_F9);
  tap(SDLK_F9);
  wavs = files(home, "audio");
  ASSERT_EQ(wavs.size(), 2u);
  EXPECT_FALSE(read_file(wavs[1]).empty());

  set_home(home + "/no/such/folder");
  tap(SDLK_F9);
  EXPECT_EQ(shown(), "Sound recording couldn't open WAV file");
  EXPECT_EQ(record_sound, 0);
  tap(SDLK_F6);
  EXPECT_EQ(shown(), "Video recording couldn't open AVI file");
  EXPECT_EQ(record_video, 0);
  set_home(home);
}

TEST_F(Events, VideoRecordingStartsAndEnds) {
  tap(SDLK_F6);
  EXPECT_EQ(shown(), "Starting video recording");
  EXPECT_EQ(record_video, 1);
  tap(SDLK_F6);
  EXPECT_EQ(shown(), "Video recording ended");
  EXPECT_EQ(record_video, 0);
  std::vector<std::string> avis = files(home, "video");
  ASSERT_EQ(avis.size(), 1u);
  EXPECT_FALSE(read_file(avis[0]).empty());
}

TEST_F(Events, WindowEventsAndFullScreenHotkey) {
  window = SDL_CreateWindow("t", 0, 0, 640, 416, SDL_WINDOW_RESIZABLE);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
  e.window.data1 = 800;
  e.window.data2 = 600;
  previous_border_color = 5;
  screenSurface = nullptr;
  push(e);
  do_something();
  EXPECT_EQ(SCREEN_WIDTH, 800);
  EXPECT_EQ(SCREEN_HEIGHT, 600);
  EXPECT_EQ(previous_border_color, -1);
  EXPECT_NE(screenSurface, nullptr);

  // Ctrl+GUI+F toggles full screen, records it, and is still a key press.
  press('f', KMOD_LCTRL | KMOD_LGUI);
  EXPECT_EQ(full_screen, 1);
  EXPECT_EQ(key_table[C2 + 11], 1u);  // key4_2 is bound to f
  EXPECT_NE(read_text_file(home + "/tervox_mapping.txt").find("fullscreen\tyes\n"), std::string::npos);
  release('f');
  press('f', KMOD_LCTRL);  // without GUI: nothing
  EXPECT_EQ(full_screen, 1);
  release('f');
  // The Windows program's key is Alt+Return instead.
  platform = PLATFORM_WINDOWS;
  press('f', KMOD_LCTRL | KMOD_LGUI);
  release('f');
  EXPECT_EQ(full_screen, 1);
  press(SDLK_RETURN, KMOD_LALT);
  release(SDLK_RETURN);
  EXPECT_EQ(full_screen, 0);
  EXPECT_NE(read_text_file(home + "/tervox_mapping.txt").find("fullscreen\tno\n"), std::string::npos);
  platform = PLATFORM_DESKTOP;
  host_set_fullscreen(0);
  full_screen = 0;
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SDL_DestroyWindow(window);
  window = nullptr;
  screenSurface = nullptr;
  SCREEN_WIDTH = 640;
  SCREEN_HEIGHT = 416;
}

TEST_F(Events, DroppedFileLoadsAndResetsWithoutResuming) {
  std::vector<uint8_t> cart(0x2000, 0);
  cart[0] = 0x55;
  cart[1] = 0xAA;
  std::string path = home + "/game.col";
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fwrite(cart.data(), 1, cart.size(), f);
  fclose(f);
  emulator_event = 1;
  emulator_registers[REG_PC] = 0x1234;
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_DROPFILE;
  e.drop.file = SDL_strdup(path.c_str());
  push(e);
  do_something();
  EXPECT_EQ(rom[0], 0x55);
  EXPECT_EQ(rom[1], 0xAA);
  EXPECT_EQ(emulator_registers[REG_PC], 0);
  EXPECT_EQ(emulator_event, 1);
  // A file that cannot be loaded says so and leaves the game running as
  // it was: no reset, the same cartridge.
  emulator_registers[REG_PC] = 0x1234;
  testing::internal::CaptureStderr();
  e.drop.file = SDL_strdup(home.c_str());
  push(e);
  do_something();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Couldn't load " + home + ": is a folder\n");
  EXPECT_EQ(std::string(current_message).substr(0, 14), "Couldn't load ");
  EXPECT_EQ(emulator_registers[REG_PC], 0x1234);
  EXPECT_EQ(rom[0], 0x55);
  EXPECT_EQ(emulator_event, 1);
}

}  // namespace
