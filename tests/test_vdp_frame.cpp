// The frame driver: line counting, the frame flag, the interrupt, frame end.
#include <gtest/gtest.h>

#include <cstring>

#include "core/machine.h"
#include "core/z80.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

void fresh(int pal) {
  private_home();
  machine_fresh();
  vdp_pal = pal;
  vdp_init();
  emulator_event = 0;
  do_pause = 0;
  z80_cycles = 0;
}

void calls(int n) {
  for (int i = 0; i < n; i++) vdp_process();
}

TEST(FrameDriver, FlagAndPresentationTimingNtscAndPal) {
  for (int pal = 0; pal < 2; pal++) {
    const int length = pal ? 313 : 262;
    fresh(pal);
    message("probe");  // every presentation takes one step off the brightness
    calls(191);
    EXPECT_EQ(vdp_status & 0x80, 0);
    int frames = video_frame;
    calls(1);
    EXPECT_EQ(vdp_status & 0x80, 0x80) << "after 192 calls";
    EXPECT_EQ(video_frame, frames + 1);
    calls(length - 193);
    EXPECT_EQ(message_brightness, 100) << "no presentation yet";
    EXPECT_EQ(vdp_line, length - 1);
    calls(1);
    EXPECT_EQ(message_brightness, 99) << "presented after " << length << " calls";
    EXPECT_EQ(vdp_line, 0);
  }
  vdp_pal = 0;
}

TEST(FrameDriver, OneInterruptPerFrameAtLine192) {
  fresh(0);
  emulator_registers[REG_PC] = 0x8200;
  emulator_registers[REG_SP] = 0x7000;
  vdp_reg[1] = 0x60;
  calls(191);
  EXPECT_EQ(emulator_registers[REG_PC], 0x8200);
  calls(1);
  EXPECT_EQ(emulator_registers[REG_PC], 0x0066);
  EXPECT_EQ(z80_cycles, 12);
  // Never acknowledged: the flag stays up and no second NMI comes.
  emulator_registers[REG_PC] = 0x8200;
  calls(262);
  EXPECT_EQ(emulator_registers[REG_PC], 0x8200);
  // Read the status and the next frame interrupts again.
  vdp_read_port(0xBF);
  calls(261);
  EXPECT_EQ(emulator_registers[REG_PC], 0x8200);
  calls(1);
  EXPECT_EQ(emulator_registers[REG_PC], 0x0066);
}

TEST(FrameDriver, PauseAndScreenshotAreServedAtTheFrameEnd) {
  fresh(0);
  calls(100);
  do_pause = 1;
  calls(161);
  EXPECT_EQ(emulator_event, 0);
  calls(1);
  EXPECT_EQ(emulator_event, 1);
  EXPECT_EQ(do_pause, 0);
  EXPECT_STREQ(current_message, "Paused");
  EXPECT_EQ(message_brightness, 99) << "shown by the same frame's presentation";

  // A screenshot request is served at the end of the frame, before the
  // presentation shows its message.
  emulator_event = 0;
  get_screenshot = 1;
  calls(261);
  EXPECT_EQ(get_screenshot, 1);
  calls(1);
  EXPECT_EQ(get_screenshot, 0);
  EXPECT_STREQ(current_message, "Screenshot saved");
  EXPECT_EQ(message_brightness, 99);
}

TEST(FrameDriver, LinesAreDrawnIntoTheFrameBuffer) {
  fresh(0);
  vdp_reg[1] = 0x00;  // blank: backdrop only
  vdp_reg[7] = 0x0F;
  calls(262);
  EXPECT_EQ(image[0], 0xFFFFFFu);
  EXPECT_EQ(image[191 * 256 + 255], 0xFFFFFFu);
  // A line number carried in from outside the frame never draws off the
  // buffer and still ends the frame.
  vdp_line = 5000;
  calls(1);
  EXPECT_EQ(vdp_line, 0);
  vdp_line = -3;
  calls(1);
  EXPECT_EQ(vdp_line, -2);
}

}  // namespace

namespace {

TEST(FrameDriver, CartridgeReceivesOneNmiPerFrameAndOneAtOnce) {
  std::vector<uint8_t> cart = test_program("vdp_nmi");
  ASSERT_FALSE(cart.empty());
  private_home();
  machine_load_cartridge(cart);
  machine_run_frames(12);
  const int after_out = cart[0x24] | cart[0x25] << 8;
  EXPECT_EQ(memory_read(0x7002) | memory_read(0x7003) << 8, after_out)
      << "enabling the interrupt with the flag up takes the NMI after that OUT";
  // About 2.5 frames of waiting, then one NMI at once and one per frame.
  int count = memory_read(0x7000);
  EXPECT_GE(count, 9);
  EXPECT_LE(count, 11);
  machine_run_frames(5);
  EXPECT_EQ(memory_read(0x7000), count + 5);
}

}  // namespace
