// Debug dump: line format, character column, numbering, register sections.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "memory/memory.h"
#include "sound/psg.h"
#include "support/harness.h"
#include "video/vdp.h"

namespace {

std::string line_at(const std::string &text, const std::string &start) {
  size_t at = text.find(start);
  if (at == std::string::npos) return "";
  return text.substr(at, text.find('\n', at) - at);
}

// The counter is per process and starts once, so one test covers the run.
TEST(Dump, WritesNumberedFilesWithTheDocumentedText) {
  std::string home = private_home();
  memset(video_ram, 0, sizeof video_ram);
  memcpy(video_ram, "ABCD", 4);
  video_ram[0x3FF0] = 0x7F;
  video_ram[0x3FF1] = 0x80;
  video_ram[0x3FF2] = 0x1F;
  video_ram[0x3FF3] = 0x20;
  memset(null + 1024, 0xFF, 1024);
  for (int p = 0; p < 64; p++) map_page(map1, p, null, 1024);
  map_page(map1, 0x24, internal_ram, 0x400);
  internal_ram[0x400] = 'h';
  internal_ram[0x401] = 'i';
  for (int i = 0; i < 8; i++) vdp_reg[i] = 0x10 * i + 1;
  vdp_status = 0x9F;
  vdp_line = 192;
  psg_init();
  psg_reg[0] = 0x3FF;
  psg_reg[1] = psg_vol[2];
  psg_reg[3] = 999;
  psg_reg[6] = 0x05;

  debugging_snapshot();
  std::string t = read_text_file(home + "/debug001.txt");
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.rfind("Tervox emulator\n\nCurrent VRAM snapshot:\n"
                    "0000: 41 42 43 44  00 00 00 00  00 00 00 00  00 00 00 00  ABCD............\n", 0),
            0u);
  EXPECT_EQ(line_at(t, "3FF0: "),
            "3FF0: 7F 80 1F 20  00 00 00 00  00 00 00 00  00 00 00 00  \x7F.. ............");
  EXPECT_NE(t.find("\n\nZ80 memory snapshot:\n0000: FF FF"), std::string::npos);
  EXPECT_EQ(line_at(t, "9000: "),
            "9000: 68 69 00 00  00 00 00 00  00 00 00 00  00 00 00 00  hi..............");
  EXPECT_NE(t.find("FFF0: FF FF FF FF  FF"), std::string::npos);
  const size_t line = 6 + 16 * 3 + 4 + 16 + 1;
  const size_t head = strlen("Tervox emulator\n\nCurrent VRAM snapshot:\n");
  EXPECT_EQ(t.find("\n\nZ80 memory snapshot:\n"), head + 1024 * line);
  EXPECT_NE(t.find("\n\nVDP registers:\nVDP[0] = 01\nVDP[1] = 11\n"), std::string::npos);
  EXPECT_NE(t.find("VDP[7] = 71\nVDP status = 9F\nVDP line = 192\n"), std::string::npos);
  EXPECT_NE(t.find("\n\nPSG registers:\nPSG[0] = 03FF\nPSG[1] = 02\nPSG[2] = 0000\n"
                   "PSG[3] = 0F\nPSG[4] = 0000\nPSG[5] = 0F\nPSG[6] = 0005\nPSG[7] = 0F\n"),
            std::string::npos);
  EXPECT_EQ(t.size(), t.find("PSG[7] = 0F\n") + strlen("PSG[7] = 0F\n"));

  debugging_snapshot();
  EXPECT_FALSE(read_file(home + "/debug002.txt").empty());

  // A folder that cannot be written: nothing is created, nothing breaks.
  std::string gone = home + "/missing";
  set_home(gone);
  debugging_snapshot();
  EXPECT_TRUE(read_file(gone + "/debug003.txt").empty());
}

}  // namespace
