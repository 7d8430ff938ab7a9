// Sound-register log: the short SN76489 form, the long form once the AY has
// been written, appending, and a folder that cannot be written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "support/harness.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

void sn_registers(void) {
  psg_init();
  psg_reg[0] = 0x1AB;
  psg_reg[1] = psg_vol[3];
  psg_reg[2] = 0x3FF;
  psg_reg[3] = 0;  // code 15
  psg_reg[4] = 0;
  psg_reg[5] = psg_vol[14];
  psg_reg[6] = 5;
  psg_reg[7] = 1234;  // matches no code
}

TEST(PsgLog, ShortFormUntilTheAyIsWrittenThenLongForm) {
  std::string home = private_home();
  sn_registers();
  sgm_active = 1;
  video_frame = 1234;
  psg_log_frame();
  const int32_t ay[16] = {0xBC, 0x0A, 0x01, 0x00, 0xEF, 0x0D, 0x1F, 0xB8,
                          0x1C, 0x0A, 0x1B, 0x34, 0x12, 0x0E, 0xFF, 0x00};
  for (int i = 0; i < 16; i++) psg2_reg[i] = ay[i];
  sgm_active = 2;
  video_frame = 1235;
  psg_log_frame();
  EXPECT_EQ(read_text_file(home + "/psg.txt"),
            "A=01ab 3 B=03ff f C=0000 e N=05 f Frame:1234\n"
            "A=01ab 3 B=03ff f C=0000 e N=05 f "
            "A=0abc 1C B=0001 0a C=0DEF 1b N=1f M=b8 E=1234 0e Frame:1235\n");
  sgm_active = 1;
}

// A full disk in the middle of a line: the part written is taken back, the
// log stops and says so.
#ifndef _WIN32  // a full disk is made with a POSIX file size limit
TEST(PsgLog, AFullDiskTakesBackThePartLineAndStopsTheLog) {
  std::string home = private_home();
  sn_registers();
  sgm_active = 1;
  record_psg = 1;
  recording_failed = 0;
  psg_log_frame();
  const std::string line = read_text_file(home + "/psg.txt");
  {
    FileSizeLimit disk((long)(line.size() * 5 / 2));
    for (int i = 0; i < 5 && record_psg; i++) psg_log_frame();
  }
  EXPECT_EQ(read_text_file(home + "/psg.txt"), line + line);
  EXPECT_EQ(record_psg, 0);
  EXPECT_EQ(recording_failed, 1);
  EXPECT_STREQ(current_message, "PSG log stopped: write failed");
}
#endif

TEST(PsgLog, UnwritableFolderLosesTheLineQuietly) {
  std::string home = private_home() + "/missing";
  set_home(home);
  sn_registers();
  psg_log_frame();
  EXPECT_TRUE(read_file(home + "/psg.txt").empty());
}

}  // namespace
