// A real cartridge: the Super Game Module test from the diagnostic set.
#include <gtest/gtest.h>

#include <string>

#include "core/machine.h"
#include "memory/cartridge.h"
#include "memory/memory.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

// The cartridge's result column on the screen's fourth row, in its own
// character codes (letters at ASCII + 9).
std::string result_text(void) {
  int names = (vdp_reg[2] & 0x0F) << 10;
  std::string text;
  for (int column = 23; column < 27; column++) {
    int code = video_ram[names + 3 * 32 + column];
    text += code == 0x2F ? ' ' : code == 0x2E ? '/' : (char)(code - 9);
  }
  return text;
}

void run_sgmtst(int sgm) {
  std::string path = testdata("phoenix-diagnostic-roms/SGMTST.ROM");
  private_home();
  machine_fresh();
  ASSERT_EQ(open_rom_file(path.c_str()), 0);
  ASSERT_EQ(nmi_use, 1);
  init_peripheral(0);
  sgm_active = sgm;
  machine_run_frames(60);
}

TEST(SgmTestCartridge, ReportsTheBiosRamSwitchAsPassed) {
  if (testdata("phoenix-diagnostic-roms/SGMTST.ROM").empty())
    GTEST_SKIP() << "phoenix-diagnostic-roms/SGMTST.ROM is not in the shared test data";
  run_sgmtst(1);
  EXPECT_EQ(result_text(), "PASS");
  // Without the module the same test is reported as not applicable.
  run_sgmtst(0);
  EXPECT_EQ(result_text(), "N/A ");
}

}  // namespace
