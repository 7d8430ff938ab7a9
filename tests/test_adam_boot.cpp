// The Adam end to end: our boot ROM and operating system running on the
// CPU, booting tape and disk images, and the typewriter with no medium.
#include <gtest/gtest.h>


#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "adam/adamnet.h"
#include "core/machine.h"
#include "host/sdl.h"
#include "input/ports.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

const int NAMES = 0x1800;

// The 32 x 24 name table as text, one line per row.
std::string screen_text() {
  std::string s;
  for (int row = 0; row < 24; row++) {
    for (int col = 0; col < 32; col++) {
      int c = video_ram[NAMES + row * 32 + col];
      s += (c >= 0x20 && c < 0x7F) ? (char)c : ' ';
    }
    s += '\n';
  }
  return s;
}

std::string screen_row(int row) {
  std::string s = screen_text().substr(row * 33, 32);
  return s.substr(0, s.find_last_not_of(' ') + 1);
}

void save_png(const std::string &path) { save_frame_png(path.c_str()); }

// Runs whole frames until cond holds; the frames it took, or -1.
int run_until(const std::function<bool()> &cond, int limit) {
  for (int f = 1; f <= limit; f++) {
    machine_run_frames(1);
    if (cond()) return f;
  }
  return -1;
}

bool screen_has(const std::string &text) {
  std::string s = screen_text();
  // Lines are joined so a message may run over the end of a row.
  std::string joined;
  for (char c : s)
    if (c != '\n') joined += c;
  return joined.find(text) != std::string::npos;
}

class AdamBoot : public ::testing::Test {
 protected:
  std::vector<std::string> files;
  void TearDown() override {
    if (tape1) fclose(tape1);
    if (disk1) fclose(disk1);
    tape1 = disk1 = nullptr;
    adam_fast = 0;
    for (auto &f : files) remove(f.c_str());
  }

  // An image with the given 1 KB blocks; a disk lays its sectors out with
  // the drive's interleave.
  std::string make_image(const char *ext, int total_blocks,
                         const std::vector<std::vector<uint8_t>> &blocks) {
    static const int interleave[8] = {0, 5, 2, 7, 4, 1, 6, 3};
    bool disk = std::string(ext) == ".dsk";
    std::vector<uint8_t> img(total_blocks * 1024, 0);
    for (size_t b = 0; b < blocks.size(); b++) {
      std::vector<uint8_t> blk = blocks[b];
      blk.resize(1024, 0);
      for (int half = 0; half < 2; half++) {
        int s = 2 * (int)b + half;
        long off = disk ? (long)((s & ~7) | interleave[s & 7]) * 512 : (long)s * 512;
        memcpy(&img[off], &blk[half * 512], 512);
      }
    }
    char tmpl[] = "/tmp/tervox-adam-XXXXXX";
    int fd = mkstemp(tmpl);
    close(fd);
    remove(tmpl);
    std::string path = std::string(tmpl) + ext;
    FILE *f = fopen(path.c_str(), "wb");
    fwrite(img.data(), 1, img.size(), f);
    fclose(f);
    files.push_back(path);
    return path;
  }

  static std::vector<uint8_t> text_block(const std::string &s) {
    std::vector<uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return b;
  }

  void boot(const std::string &path) {
    private_home();
    machine_fresh();
    open_rom_file(path.c_str());
    init_peripheral(0);
    ASSERT_EQ(nmi_use, 2);
  }
};

TEST_F(AdamBoot, DiskBootBlockReadsFurtherBlocks) {
  std::vector<uint8_t> program = test_program("adam_hello");
  ASSERT_FALSE(program.empty());
  std::string path = make_image(".dsk", 160, {program, text_block("Hello from block 1"),
                                              text_block(" and block 2 on device ")});
  boot(path);
  adam_fast = 1;
  int frames = run_until([] { return screen_has("device 4"); }, 300);
  machine_run_frames(2);  // the picture follows the names a frame later
  save_png("/tmp/tervox_adam_disk_boot.png");
  EXPECT_GT(frames, 0) << screen_text();
  EXPECT_TRUE(screen_has("Hello from block 1 and block 2 on device 4")) << screen_text();
  EXPECT_EQ(screen_row(0), "Tervox Adam");
}

TEST_F(AdamBoot, TapeBootsAtNormalSpeed) {
  std::vector<uint8_t> program = test_program("adam_hello");
  std::string path = make_image(".ddp", 256, {program, text_block("Hello from block 1"),
                                              text_block(" and block 2 on device ")});
  boot(path);
  adam_fast = 0;
  // Three block reads at one per 43 frames, plus start-up.
  int frames = run_until([] { return screen_has("device 8"); }, 400);
  EXPECT_GT(frames, 2 * 43) << screen_text();
  EXPECT_LT(frames, 4 * 43 + 40);
  EXPECT_TRUE(screen_has("Hello from block 1 and block 2 on device 8")) << screen_text();
}

TEST_F(AdamBoot, NoMediumGivesTheTypewriter) {
  private_home();
  machine_fresh();
  nmi_use = 2;
  init_peripheral(0);
  ASSERT_GT(run_until([] { return screen_has("typewriter"); }, 200), 0) << screen_text();

  auto type = [](const std::vector<int> &codes) {
    for (int c : codes) {
      int i = 0;
      while (i < 16 && adam_keyboard[i] != 0) i++;
      ASSERT_LT(i, 16);
      adam_keyboard[i] = ~c & 0xFF;
    }
  };
  auto settle = [] {
    run_until([] { return adam_keyboard[0] == 0; }, 100);
    machine_run_frames(3);
  };
  type({'H', 'e', 'l', 'p', 0x08, 'l', 'o', 13, 'A', 'd', 'a', 'm'});
  settle();
  EXPECT_EQ(screen_row(2), "Hello");
  EXPECT_EQ(screen_row(3), "Adam");

  // Up twice from the second line stops at the top; then right three, left
  // one and type.
  type({0xA0, 0xA0, 0xA1, 0xA1, 0xA1, 0xA3, 'J'});
  settle();
  EXPECT_EQ(screen_row(2), "Hello J");
  EXPECT_EQ(screen_row(3), "Adam");
  type({0xA2, 0xA2, 0xA2, '!'});
  settle();
  EXPECT_EQ(screen_row(5), "       !");
  save_png("/tmp/tervox_adam_typewriter.png");

  // The print key sends the page to the printer device.
  type({0x95});
  settle();
  int pcb = 0xFEC0, printer = -1;
  for (int n = 0; n < 15; n++)
    if (internal_ram[pcb + 4 + 21 * n + 16] == 2) printer = pcb + 4 + 21 * n;
  ASSERT_GE(printer, 0);
  EXPECT_EQ(internal_ram[printer], 0x80);
  int buf = internal_ram[printer + 1] | internal_ram[printer + 2] << 8;
  int len = internal_ram[printer + 3] | internal_ram[printer + 4] << 8;
  std::string printed((const char *)&internal_ram[buf], len);
  EXPECT_EQ(printed, "Hello J\rAdam\r\r       !\r");

  // Running off the bottom scrolls the page, not the title.
  type({0xA0, 0xA0, 0xA0, 13, 13});  // to the third line
  settle();
  for (int i = 0; i < 2; i++) {
    type(std::vector<int>(10, 13));
    settle();
  }
  type({'B'});
  settle();
  EXPECT_EQ(screen_row(0), "Tervox Adam typewriter");
  EXPECT_EQ(screen_row(2), "Adam");  // the first line went off the top
  EXPECT_EQ(screen_row(3), "");
  EXPECT_EQ(screen_row(4), "       !");
  EXPECT_EQ(screen_row(22), "");
  EXPECT_EQ(screen_row(23), "B");
}

TEST_F(AdamBoot, BlankDiskFallsBackToTheTypewriter) {
  boot(make_image(".dsk", 160, {}));
  adam_fast = 1;
  EXPECT_GT(run_until([] { return screen_has("typewriter"); }, 300), 0) << screen_text();
}

// Host key presses go through the event loop's Adam typing.
TEST_F(AdamBoot, HostKeysTypeOnTheTypewriter) {
  private_home();
  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS), 0) << SDL_GetError();
  machine_fresh();
  nmi_use = 2;
  init_peripheral(0);
  ASSERT_GT(run_until([] { return screen_has("typewriter"); }, 200), 0);
  auto tap = [](SDL_Keycode k, Uint16 mod) {
    for (int down = 1; down >= 0; down--) {
      SDL_Event e;
      SDL_zero(e);
      e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
      e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
      e.key.keysym.sym = k;
      e.key.keysym.mod = mod;
      SDL_PushEvent(&e);
    }
  };
  tap('h', KMOD_LSHIFT);
  tap('i', 0);
  tap('1', KMOD_LSHIFT);
  tap(SDLK_RETURN, 0);
  tap('o', 0);
  tap('k', 0);
  tap(SDLK_LEFT, 0);
  tap('x', 0);
  // Not Backspace: by default that host key is also the reset hotkey.
  machine_run_frames(30);
  EXPECT_EQ(screen_row(2), "Hi!");
  EXPECT_EQ(screen_row(3), "ox");
  SDL_Quit();
}

TEST_F(AdamBoot, ServiceCallsAnswerAsDocumented) {
  std::vector<uint8_t> program = test_program("adam_calls");
  ASSERT_FALSE(program.empty());
  std::vector<uint8_t> block2(1024, 0x22);
  std::string path = make_image(".dsk", 160, {program, {}, block2});
  boot(path);
  adam_fast = 0;
  adam_keyboard[0] = ~'Q' & 0xFF;
  const uint8_t *r = internal_ram + 0xC000;
  ASSERT_GT(run_until([&] { return r[31] == 0xAA; }, 1000), 0);

  EXPECT_EQ(r[0], 1);  // FIND_DCB: no DCB for device 3
  EXPECT_EQ(r[1], 0);
  int dcb = r[2] | r[3] << 8;
  EXPECT_EQ((dcb - 0xFEC4) % 21, 0);
  EXPECT_EQ(internal_ram[dcb + 16], 4);
  EXPECT_EQ(r[4], 0);     // REQUEST_STATUS of the disk
  EXPECT_EQ(r[5], 3);     // second drive: no medium
  EXPECT_EQ(r[6], 0x33);  // tape drive, empty
  EXPECT_EQ(r[7], 0);     // WRITE_BLOCK, READ_BLOCK
  EXPECT_EQ(r[8], 0);
  for (int i = 0; i < 1024; i++) ASSERT_EQ(internal_ram[0x9400 + i], 0x22) << i;  // block 2 by start and end
  std::vector<uint8_t> disk = read_file(path);
  // Block 10: sectors 20 and 21 at file sectors 16 + 4 and 16 + 1.
  for (int i = 0; i < 512; i++) {
    ASSERT_EQ(disk[20 * 512 + i], (uint8_t)(3 * i)) << i;
    ASSERT_EQ(disk[17 * 512 + i], (uint8_t)(3 * (i + 512))) << i;
  }
  EXPECT_EQ(r[9], 0);      // START_RD_1_BLOCK
  EXPECT_EQ(r[10], 0);     // END_RD_1_BLOCK, after polls that saw it busy
  EXPECT_GT(r[11] | r[12] << 8, 1);
  EXPECT_EQ(r[13], 1);     // block 200: failed
  EXPECT_EQ(r[14], 0);
  EXPECT_EQ(r[15], 1);     // no tape
  EXPECT_EQ(r[16], 'Q');   // RD_KBD
  EXPECT_EQ(r[17], 1);
  EXPECT_EQ(r[18], 0);     // PR_CH
  const uint8_t *v = internal_ram + 0x9800;
  EXPECT_EQ(v[0], 0x5A);
  EXPECT_EQ(std::string((const char *)v + 4, 4), "Adam");
  EXPECT_EQ(v[15], 0x5A);
  EXPECT_EQ(vdp_reg[7], 0x1E);
  for (int i = 0; i < 8; i++) {  // PUT_VRAM, GET_VRAM: pattern 0x41
    EXPECT_EQ(video_ram[0x41 * 8 + i], i + 1);
    EXPECT_EQ(r[32 + i], i + 1);
  }
  int word = 0, nibbles = 0;
  for (int a = 0xC800; a < 0xCC00 - 3; a++)  // data at the end of the program
    if (!memcmp(&internal_ram[a], "\x01\x02\x03\x04\x05\x06\x07\x08", 8)) word = a + 8, nibbles = a + 10;
  ASSERT_NE(word, 0);
  EXPECT_EQ(internal_ram[word] | internal_ram[word + 1] << 8, 0x0FFE);  // ADD816 with -2
  EXPECT_EQ(internal_ram[nibbles], 0x30);  // DECLSN down to 0
  EXPECT_EQ(r[22], 1);
  EXPECT_EQ(r[20], 0);     // RELOC_PCB, then the printer still answers
  EXPECT_EQ(pcb_adam, 0xD800);
  EXPECT_EQ(r[21], 0);
}

// Holds a controller-1 input for some frames, then lets go.
void press(int input, int hold, int after) {
  key_table[input] = 1;
  machine_run_frames(hold);
  key_table[input] = 0;
  machine_run_frames(after);
}

void type_key(int code) {
  int i = 0;
  while (i < 16 && adam_keyboard[i] != 0) i++;
  if (i < 16) adam_keyboard[i] = ~code & 0xFF;
}

// Pixels of the board area (the middle of the screen) as one string.
std::string board_pixels() {
  std::string s;
  for (int y = 24; y < 168; y++) s.append((const char *)(frame_buffer + y * 256 + 64), 128 * 4);
  return s;
}

TEST_F(AdamBoot, ReversiFromItsDataPack) {
  std::string path = testdata("adam-ddp-reversi/reversi.ddp");
  if (path.empty()) GTEST_SKIP() << "adam-ddp-reversi test data not present";
  // Work on a copy: the drive opens its image for writing.
  std::vector<uint8_t> data = read_file(path);
  ASSERT_EQ(data.size(), 256u * 1024);
  std::vector<std::vector<uint8_t>> blocks;
  for (size_t b = 0; b < data.size() / 1024; b++)
    blocks.emplace_back(data.begin() + b * 1024, data.begin() + (b + 1) * 1024);
  std::string copy = make_image(".ddp", 256, blocks);
  boot(copy);
  adam_fast = 1;
  // The boot block loads 31 blocks to 0x0000 and jumps there with all RAM.
  int frames = run_until([&] {
    return (map_adam & 0x0F) == 1 && memcmp(internal_ram, &data[1024], 31 * 1024) == 0;
  }, 600);
  EXPECT_GT(frames, 0);
  machine_run_frames(300);
  save_png("/tmp/tervox_adam_reversi_menu.png");

  // Menu key I, a name typed on the keyboard, key V to move first.
  type_key(129);
  machine_run_frames(200);
  for (char c : std::string("Ann")) type_key(c);
  type_key(13);
  machine_run_frames(200);
  type_key(133);
  machine_run_frames(800);
  EXPECT_EQ(adam_keyboard[0], 0);  // every key was read
  std::string before = board_pixels();
  save_png("/tmp/tervox_adam_reversi_board.png");

  // The cursor is moved with the joystick and a piece placed with fire.
  const int UP = 0, LEFT = 3, FIRE = 4;
  press(LEFT, 20, 60);
  press(LEFT, 20, 60);
  press(UP, 20, 60);
  press(LEFT, 20, 60);
  press(LEFT, 20, 60);
  press(FIRE, 10, 400);
  save_png("/tmp/tervox_adam_reversi_moved.png");
  EXPECT_NE(board_pixels(), before);
}

TEST_F(AdamBoot, TextReversiTakesMovesFromTheKeyboard) {
  std::string path = testdata("adam-ddp-reversi/reversi-text.ddp");
  if (path.empty()) GTEST_SKIP() << "adam-ddp-reversi test data not present";
  std::vector<uint8_t> data = read_file(path);
  ASSERT_EQ(data.size(), 256u * 1024);
  std::vector<std::vector<uint8_t>> blocks;
  for (size_t b = 0; b < 16; b++)
    blocks.emplace_back(data.begin() + b * 1024, data.begin() + (b + 1) * 1024);
  boot(make_image(".ddp", 256, blocks));
  adam_fast = 1;
  machine_run_frames(400);
  type_key('y');
  type_key(13);
  machine_run_frames(300);
  std::string before = board_pixels();
  for (char c : std::string("35\r")) type_key(c);  // row 3, column 5
  machine_run_frames(600);
  save_png("/tmp/tervox_adam_reversi_text.png");
  EXPECT_EQ(adam_keyboard[0], 0);
  EXPECT_NE(board_pixels(), before);
}

TEST_F(AdamBoot, AdeCommanderDiskDrawsItsScreen) {
  std::string path = testdata("adam-dsk-ade-commander/boot.dsk");
  if (path.empty()) GTEST_SKIP() << "adam-dsk-ade-commander test data not present";
  std::vector<uint8_t> data = read_file(path);
  ASSERT_EQ(data.size(), 160u * 1024);
  std::string copy = make_image(".dsk", 160, {});
  FILE *f = fopen(copy.c_str(), "wb");
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
  boot(copy);
  adam_fast = 1;
  // A 40-column text screen whose first row holds the title, drawn with
  // its own two-cell characters (seen in /tmp/tervox_adam_ade.png).
  static const uint8_t title_cells[] = {0x01, 0x02, 0x05, 0x06, 0x09, 0x0A, 0x00, 0x81, 0x82};
  auto title = [] {
    return (vdp_reg[1] & 0x18) == 0x10 && memcmp(video_ram, title_cells, sizeof title_cells) == 0;
  };
  EXPECT_GT(run_until(title, 600), 0);
  machine_run_frames(60);
  save_png("/tmp/tervox_adam_ade.png");
  EXPECT_EQ(std::vector<uint8_t>(data), read_file(copy));  // nothing written to the disk
}

}  // namespace
