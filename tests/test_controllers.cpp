// Controllers as the program sees them through IN and OUT, and the roller
// controller from host mouse motion to the CPU's interrupt.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/machine.h"
#include "core/z80.h"
#include "input/ports.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/vdp.h"

extern int host_null_mouse_dx, host_null_mouse_dy;

namespace {

struct Controllers : ::testing::Test {
  void SetUp() override {
    private_home();
    memset(key_table, 0, sizeof key_table);
    std::vector<uint8_t> cart(0x4000, 0x00);
    cart[0] = 0xAA;
    cart[1] = 0x55;
    machine_load_cartridge(cart);
    host_null_mouse_dx = host_null_mouse_dy = 0;
  }
  void TearDown() override {
    memset(key_table, 0, sizeof key_table);
    roller_reset();
  }
  // Places code at 0x8100 and steps through it.
  void run(const std::vector<uint8_t> &code) {
    memcpy(rom + 0x100, code.data(), code.size());
    emulator_registers[REG_PC] = 0x8100;
    emulator_registers[REG_SP] = 0x7FF0;
    for (int i = 0; i < 1000 && emulator_registers[REG_PC] != 0x8100 + (int)code.size(); i++)
      z80_step();
  }
  // One roller sample: the line counter on a multiple of 32.
  void sample(int dx, int dy) {
    host_null_mouse_dx = dx;
    host_null_mouse_dy = dy;
    vdp_line = 64;
    roller_update();
  }
};

TEST_F(Controllers, ProgramSelectsSegmentsAndReadsBothControllers) {
  key_table[8] = 1;        // key1_1
  key_table[16] = 1;       // key9_1
  key_table[20 + 3] = 1;   // left_2
  key_table[20 + 4] = 1;   // left_button_2
  run({
    0xD3, 0x80,        // OUT (0x80),A: keypad segment
    0xDB, 0xFC,        // IN A,(0xFC)
    0x32, 0x00, 0x71,  // LD (0x7100),A
    0xD3, 0xC0,        // OUT (0xC0),A: joystick segment
    0xDB, 0xFF,        // IN A,(0xFF)
    0x32, 0x01, 0x71,  // LD (0x7101),A
    0x0E, 0xFC,        // LD C,0xFC
    0xED, 0x78,        // IN A,(C)
    0x32, 0x02, 0x71,  // LD (0x7102),A
  });
  EXPECT_EQ(memory_read(0x7100), 0x7B);
  EXPECT_EQ(memory_read(0x7101), 0x37);
  EXPECT_EQ(memory_read(0x7102), 0x7F);
  EXPECT_EQ(joystick, 1);
}

TEST_F(Controllers, RollerStepsFromMouseMotion) {
  roller_enabled = 1;
  sample(1, -1);  // under half a step: nothing
  EXPECT_EQ(roller_state, 15);
  EXPECT_EQ(roller_int, 0);
  sample(2, 0);  // one step right
  EXPECT_EQ(roller_state & 3, 0);
  EXPECT_EQ(roller_int, 1);
  EXPECT_EQ(read_port(0xFC, 0), 0x4F);
  sample(0, 0);
  EXPECT_EQ(roller_state, 15);
  EXPECT_EQ(roller_int, 0);

  sample(6, 0);  // two steps, on consecutive samples
  EXPECT_EQ(roller_state & 3, 0);
  EXPECT_EQ(roller_x, 1);
  sample(0, 0);
  EXPECT_EQ(roller_state & 3, 0);
  EXPECT_EQ(roller_x, 0);
  sample(0, 0);
  EXPECT_EQ(roller_state & 3, 3);

  sample(-2, 2);  // left on controller 1, down on controller 2
  EXPECT_EQ(read_port(0xFC, 0), 0x6F);
  EXPECT_EQ(read_port(0xFF, 0), 0x6F);
  sample(0, -3);  // -3 rounds to one step up
  EXPECT_EQ(read_port(0xFF, 0), 0x4F);
}

TEST_F(Controllers, RollerHoldsBetweenSamplesAndIsSilentWhenOff) {
  roller_enabled = 1;
  sample(8, 0);
  EXPECT_EQ(roller_int, 1);
  vdp_line = 65;  // not a sampling line: the step stays until read
  roller_update();
  EXPECT_EQ(roller_int, 1);
  EXPECT_EQ(roller_x, 1);
  read_port(0xFC, 0);
  roller_update();
  EXPECT_EQ(roller_int, 0);

  roller_enabled = 0;
  roller_state = 0;
  roller_update();
  EXPECT_EQ(roller_state, 15);
  EXPECT_EQ(roller_int, 0);
}

TEST_F(Controllers, RollerInterruptIsTakenByTheCpu) {
  roller_enabled = 1;
  run({0xED, 0x56, 0xFB, 0x00});  // IM 1 ; EI ; NOP
  ASSERT_EQ(interrupt_mode, 1);
  sample(2, 0);
  ASSERT_EQ(roller_int, 1);
  int sp = emulator_registers[REG_SP];
  z80_step();  // takes the interrupt, then runs the first instruction at 0x0038
  EXPECT_EQ(emulator_registers[REG_SP], sp - 2);
  EXPECT_EQ(memory_read(sp - 2) | memory_read(sp - 1) << 8, 0x8104);
  EXPECT_EQ(interrupt_mask_2, 0);
  EXPECT_EQ(interrupt_mask, 0);
}

TEST_F(Controllers, RollerRunsPerScanlineInTheFrameDriver) {
  roller_enabled = 1;
  host_null_mouse_dx = 2;
  std::vector<uint8_t> loop = {0xF3, 0x18, 0xFE};  // DI ; JR $
  memcpy(rom + 0x100, loop.data(), loop.size());
  emulator_registers[REG_PC] = 0x8100;
  machine_run_frames(1);
  // Sampled once into a step, which later samples withdrew unread.
  EXPECT_EQ(host_null_mouse_dx, 0);
  EXPECT_EQ(roller_x, 0);
  EXPECT_EQ(roller_state, 15);
  // Headerless mode never samples the mouse.
  nmi_use = 0;
  host_null_mouse_dx = 8;
  machine_run_frames(1);
  EXPECT_EQ(host_null_mouse_dx, 8);
  EXPECT_EQ(roller_x, 0);
  nmi_use = 1;
}

}  // namespace
