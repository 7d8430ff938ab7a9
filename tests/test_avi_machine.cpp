// A recording of the running machine: ffmpeg must decode exactly the frames
// the frame driver produced and exactly the samples the sound chips made
// (the WAV recorder, running at the same time, holds the same samples).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "capture/capture.h"
#include "support/harness.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

bool have(const char *tool) {
  return system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(AviMachine, FfmpegDecodesWhatTheMachineProduced) {
  if (!have("ffmpeg")) GTEST_SKIP() << "ffmpeg (package ffmpeg) is not installed";
  std::vector<uint8_t> cart = test_program("snapshot_motion");
  ASSERT_FALSE(cart.empty());
  std::string dir = private_home();
  machine_load_cartridge(cart);
  const std::string avi = dir + "/video001.avi", wav = dir + "/audio001.wav";
  video_file = fopen(avi.c_str(), "wb");
  ASSERT_NE(video_file, nullptr);
  record_video = 1;
  ASSERT_EQ(avi_start_video(), 0);
  FILE *w = fopen(wav.c_str(), "wb");
  ASSERT_NE(w, nullptr);
  wav_start(w);

  // Runs of one sound period keep the sound exactly as in one long run. A
  // run that ends between line 192 and the frame's end leaves that frame's
  // whole picture in the frame buffer: those frames are kept to compare.
  std::map<int, std::vector<uint32_t>> seen;
  long lines = 0;
  for (int run = 0; run < 170; run++) {
    machine_run_scanlines(157);
    lines += 157;
    long in_frame = lines % 262;
    if (in_frame >= 192) seen[(int)(lines / 262)] = std::vector<uint32_t>(image, image + 256 * 192);
    if (in_frame == 0) seen[(int)(lines / 262) - 1] = std::vector<uint32_t>(image, image + 256 * 192);
  }
  avi_end_video();
  record_video = 0;
  end_sound_recording();

  const std::string rgb = dir + "/v.rgb", pcm = dir + "/a.pcm";
  ASSERT_EQ(system(("ffmpeg -v error -y -i '" + avi + "' -map 0:v -vsync passthrough -f rawvideo "
                    "-pix_fmt bgr0 '" + rgb + "' -map 0:a -f s16le '" + pcm + "'").c_str()),
            0);
  std::vector<uint8_t> v = read_file(rgb), a = read_file(pcm), s = read_file(wav);
  const size_t frame = 256 * 192 * 4, frames = v.size() / frame;
  ASSERT_EQ(frames, 170u * 157 / 262);  // every frame that ended
  int compared = 0;
  for (const auto &kv : seen) {
    if ((size_t)kv.first >= frames) continue;
    EXPECT_EQ(memcmp(&v[kv.first * frame], kv.second.data(), frame), 0) << "frame " << kv.first;
    compared++;
  }
  EXPECT_GE(compared, 30);
  EXPECT_NE(memcmp(&v[0], &v[(frames - 1) * frame], frame), 0) << "the picture should change";

  ASSERT_EQ(s.size(), 44 + a.size() * 2);  // every sample, as in the WAV
  for (size_t i = 0; i < a.size() / 2; i++) {
    ASSERT_EQ(memcmp(&a[2 * i], &s[44 + 4 * i], 2), 0) << "sample " << i;
    ASSERT_EQ(memcmp(&a[2 * i], &s[44 + 4 * i + 2], 2), 0) << "sample " << i;
  }
  unlink(rgb.c_str());
  unlink(pcm.c_str());
}

}  // namespace
