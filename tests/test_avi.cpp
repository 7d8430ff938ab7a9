// AVI recorder: file structure, ZMBV key and delta frames, the motion
// search, audio interleaving, and independent decoding by ffmpeg.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "capture/capture.h"
#include "support/harness.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

const int W = 256, H = 192, PIXELS = W * H;
typedef std::vector<uint32_t> Frame;

uint32_t u32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint32_t u16(const uint8_t *p) { return p[0] | p[1] << 8; }

// ---- a small reader of the file, independent of the writer

struct Chunk {
  std::string code;
  size_t at;    // header position
  uint32_t size;
};

struct Avi {
  std::vector<uint8_t> d;
  bool ok = true;
  const uint8_t *avih = nullptr;
  std::vector<const uint8_t *> strh, strf;
  std::string isft;
  size_t movi_type = 0;
  uint32_t movi_size = 0;
  std::vector<Chunk> recs, video, audio;
  const uint8_t *idx1 = nullptr;
  uint32_t idx1_size = 0;

  void walk(size_t from, size_t to, const std::string &parent) {
    size_t at = from;
    while (ok && at + 8 <= to) {
      std::string code((const char *)&d[at], 4);
      uint32_t size = u32(&d[at + 4]);
      if (at + 8 + size > to) { ok = false; return; }
      if (code == "RIFF" || code == "LIST") {
        std::string type((const char *)&d[at + 8], 4);
        if (type == "movi") { movi_type = at + 8; movi_size = size; }
        if (type == "rec ") recs.push_back({type, at, size});
        walk(at + 12, at + 8 + size, type);
      } else if (code == "avih") avih = &d[at + 8];
      else if (code == "strh") strh.push_back(&d[at + 8]);
      else if (code == "strf") strf.push_back(&d[at + 8]);
      else if (code == "ISFT") isft.assign((const char *)&d[at + 8], size);
      else if (code == "idx1") { idx1 = &d[at + 8]; idx1_size = size; }
      else if (code == "00dc" && parent == "rec ") video.push_back({code, at, size});
      else if (code == "01wb" && parent == "rec ") audio.push_back({code, at, size});
      at += 8 + size + (size & 1);
    }
    if (at != to) ok = false;
  }
};

Avi parse(const std::string &path) {
  Avi a;
  a.d = read_file(path);
  if (a.d.size() < 12 || memcmp(a.d.data(), "RIFF", 4) != 0 || memcmp(&a.d[8], "AVI ", 4) != 0) {
    a.ok = false;
    return a;
  }
  a.walk(0, a.d.size(), "");
  return a;
}

// ---- a small ZMBV decoder, to check every frame and every block vector

struct Decoder {
  z_stream z{};
  Frame prev = Frame(PIXELS), cur = Frame(PIXELS);
  std::vector<uint8_t> raw = std::vector<uint8_t>(PIXELS * 4 + 1000);
  size_t raw_size = 0;
  Decoder() { inflateInit(&z); }
  ~Decoder() { inflateEnd(&z); }

  bool inflate_all(const uint8_t *p, size_t n) {
    z.next_in = const_cast<uint8_t *>(p);
    z.avail_in = (uInt)n;
    z.next_out = raw.data();
    z.avail_out = (uInt)raw.size();
    int r = inflate(&z, Z_SYNC_FLUSH);
    raw_size = raw.size() - z.avail_out;
    return (r == Z_OK || r == Z_BUF_ERROR) && z.avail_in == 0;
  }

  // Decodes one chunk into cur; false when it is malformed.
  bool frame(const uint8_t *p, size_t n) {
    if (n < 1) return false;
    if (p[0] & 1) {
      static const uint8_t header[7] = {1, 0, 1, 1, 8, 16, 16};
      if (n < 7 || memcmp(p, header, 7) != 0) return false;
      inflateReset(&z);
      if (!inflate_all(p + 7, n - 7) || raw_size != (size_t)PIXELS * 4) return false;
      memcpy(cur.data(), raw.data(), raw_size);
    } else {
      if (p[0] != 0 || !inflate_all(p + 1, n - 1) || raw_size < 384) return false;
      size_t x_at = 384;
      for (int b = 0; b < 192; b++) {
        int bx = (b % 16) * 16, by = (b / 16) * 16;
        int dx = (int8_t)raw[2 * b] >> 1, dy = (int8_t)raw[2 * b + 1] >> 1;
        bool xored = raw[2 * b] & 1;
        for (int r = 0; r < 16; r++)
          for (int k = 0; k < 16; k++) {
            uint32_t v = prev[(by + r + dy) * W + bx + k + dx];
            if (xored) {
              if (x_at + 4 > raw_size) return false;
              v ^= u32(&raw[x_at]);
              x_at += 4;
            }
            cur[(by + r) * W + bx + k] = v;
          }
      }
      if (x_at != raw_size) return false;
    }
    prev = cur;
    return true;
  }
};

// ---- feeding the recorder the way the machine does

uint32_t texture(int x, int y, int seed) {
  uint32_t h = (uint32_t)x * 73856093u ^ (uint32_t)y * 19349663u ^ (uint32_t)seed * 83492791u;
  h ^= h >> 13;
  h *= 0x5bd1e995;
  h ^= h >> 15;
  return h & 0xFFFFFF;
}

struct Recording {
  std::string path;
  std::vector<Frame> frames;
  std::vector<int16_t> samples;
  int lines = 0, audio_lines = 0, frame_lines = 262;

  explicit Recording(const std::string &name, int pal = 0) {
    path = private_home() + "/" + name;
    vdp_pal = pal;
    frame_lines = pal ? 313 : 262;
    video_file = fopen(path.c_str(), "wb");
    record_video = 1;
    EXPECT_EQ(avi_start_video(), 0);
  }
  // One frame's lines: the sound blocks due by its end, then the frame.
  void frame(const Frame &f) {
    lines += frame_lines;
    while (audio_lines + 157 <= lines) {
      int16_t block[440];
      for (int i = 0; i < 440; i++) block[i] = (int16_t)(samples.size() * 37 + i * 1001);
      samples.insert(samples.end(), block, block + 440);
      avi_record_audio(block, 440);
      audio_lines += 157;
    }
    frames.push_back(f);
    avi_record_video(f.data(), 0);
  }
  void end() {
    avi_end_video();
    record_video = 0;
  }
};

Frame still_frame(void) {
  Frame f(PIXELS);
  for (int i = 0; i < PIXELS; i++) f[i] = texture(i % W, i / W, 1);
  return f;
}

Frame scrolled(int step) {
  Frame f(PIXELS);
  for (int y = 0; y < H; y++)
    for (int x = 0; x < W; x++) f[y * W + x] = texture(x + step, y, 2);
  return f;
}

// The file's chunks decoded in order; returns the per-frame inflated deltas.
std::vector<std::vector<uint8_t>> decode_all(const Avi &a, std::vector<Frame> *out) {
  Decoder dec;
  std::vector<std::vector<uint8_t>> deltas;
  for (const Chunk &c : a.video) {
    const uint8_t *p = &a.d[c.at + 8];
    EXPECT_TRUE(dec.frame(p, c.size));
    deltas.emplace_back(dec.raw.begin(), dec.raw.begin() + (long)dec.raw_size);
    if (p[0] & 1) deltas.back().clear();
    out->push_back(dec.cur);
  }
  return deltas;
}

bool have(const char *tool) {
  return system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string run(const std::string &cmd) {
  std::string out;
  FILE *p = popen(cmd.c_str(), "r");
  char buf[512];
  while (p && fgets(buf, sizeof buf, p)) out += buf;
  if (p) pclose(p);
  return out;
}

// ---- tests

TEST(Avi, StoppedAtOnceIsAValidEmptyFile) {
  Recording rec("video001.avi");
  rec.end();
  EXPECT_EQ(video_file, nullptr);
  Avi a = parse(rec.path);
  ASSERT_TRUE(a.ok);
  ASSERT_NE(a.avih, nullptr);
  EXPECT_EQ(u32(a.avih + 16), 0u);
  EXPECT_EQ(a.movi_size, 4u);
  ASSERT_NE(a.idx1, nullptr);
  EXPECT_EQ(a.idx1_size, 0u);
  EXPECT_EQ(u32(&a.d[4]), a.d.size() - 8);
  if (!have("ffprobe")) GTEST_SKIP() << "ffprobe (package ffmpeg) is not installed";
  EXPECT_EQ(run("ffprobe -v error -show_entries stream=codec_name -of csv '" + rec.path + "'"),
            "stream,zmbv\nstream,pcm_s16le\n");
}

TEST(Avi, HeadersCarryTheStreamsAndThePatchedSizes) {
  Recording rec("video002.avi");
  Frame f = still_frame();
  for (int i = 0; i < 40; i++) {
    f[i * 100] ^= 0x00FF00;  // a little change per frame
    rec.frame(f);
  }
  rec.end();
  Avi a = parse(rec.path);
  ASSERT_TRUE(a.ok);
  ASSERT_EQ(a.strh.size(), 2u);
  ASSERT_EQ(a.strf.size(), 2u);
  const uint32_t frames = (uint32_t)a.video.size();
  ASSERT_EQ(frames, 40u);  // every frame, each with the sound made before it
  ASSERT_EQ(a.audio.size(), 40u);
  uint32_t max_video = 0, max_audio = 0, audio_bytes = 0;
  for (const Chunk &c : a.video) max_video = std::max(max_video, c.size + (c.size & 1));
  for (const Chunk &c : a.audio) max_audio = std::max(max_audio, c.size), audio_bytes += c.size;
  EXPECT_EQ(audio_bytes, 2 * rec.samples.size());
  const uint8_t *h = a.avih;
  EXPECT_EQ(u32(h), 16650u);  // 262 lines of 440 / (44100 x 157) s
  EXPECT_EQ(u32(h + 4), 300000u);
  EXPECT_EQ(u32(h + 12), 0x110u);
  EXPECT_EQ(u32(h + 16), frames);
  EXPECT_EQ(u32(h + 24), 2u);
  EXPECT_EQ(u32(h + 28), (max_audio + max_video + 2087) & ~2047u);
  EXPECT_EQ(u32(h + 32), 256u);
  EXPECT_EQ(u32(h + 36), 192u);

  const uint8_t *vs = a.strh[0], *vf = a.strf[0], *as = a.strh[1], *af = a.strf[1];
  EXPECT_EQ(memcmp(vs, "vidsZMBV", 8), 0);
  EXPECT_EQ(u32(vs + 20), 5764u);    // scale: 440 x 262 / 20
  EXPECT_EQ(u32(vs + 24), 346185u);  // rate: 44100 x 157 / 20, 60.06 frames a second
  EXPECT_EQ(u32(vs + 32), frames);
  EXPECT_EQ(u32(vs + 36), max_video);
  EXPECT_EQ(u32(vs + 40), 8000u);
  EXPECT_EQ(u32(vf), 40u);
  EXPECT_EQ(u32(vf + 4), 256u);
  EXPECT_EQ(u32(vf + 8), 192u);
  EXPECT_EQ(u16(vf + 12), 1u);
  EXPECT_EQ(u16(vf + 14), 32u);
  EXPECT_EQ(memcmp(vf + 16, "ZMBV", 4), 0);
  EXPECT_EQ(u32(vf + 20), 196608u);
  EXPECT_EQ(memcmp(as, "auds\0\0\0\0", 8), 0);
  EXPECT_EQ(u32(as + 20), 1u);
  EXPECT_EQ(u32(as + 24), 44100u);
  EXPECT_EQ(u32(as + 32), rec.samples.size());
  EXPECT_EQ(u32(as + 36), max_audio);
  EXPECT_EQ(u32(as + 44), 2u);
  const uint8_t pcm[16] = {1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0x88, 0x58, 1, 0, 2, 0, 16, 0};
  EXPECT_EQ(memcmp(af, pcm, 16), 0);
  EXPECT_EQ(a.isft, "Tervox");

  // Index: three entries per frame, offsets from the "movi" type code.
  ASSERT_EQ(a.idx1_size, 48u * frames);
  for (uint32_t k = 0; k < frames; k++) {
    const uint8_t *e = a.idx1 + 48 * k;
    EXPECT_EQ(memcmp(e, "rec ", 4), 0);
    EXPECT_EQ(u32(e + 4), 1u);
    EXPECT_EQ(u32(e + 8) + a.movi_type, a.recs[k].at);
    EXPECT_EQ(u32(e + 12), a.recs[k].size + (a.recs[k].size & 1));
    EXPECT_EQ(memcmp(e + 16, "00dc", 4), 0);
    EXPECT_EQ(u32(e + 20), k % 32 == 0 ? 18u : 2u) << k;
    EXPECT_EQ(u32(e + 24) + a.movi_type, a.video[k].at);
    EXPECT_EQ(u32(e + 28), a.video[k].size);
    EXPECT_EQ(memcmp(e + 32, "01wb", 4), 0);
    EXPECT_EQ(u32(e + 36), 0u);
    EXPECT_EQ(u32(e + 40) + a.movi_type, a.audio[k].at);
    EXPECT_EQ(u32(e + 44), a.audio[k].size);
    EXPECT_EQ(a.d[a.video[k].at + 8], k % 32 == 0 ? 1 : 0);
  }
}

TEST(Avi, StillPictureDeltasAreZeroVectorsOnly) {
  Recording rec("video003.avi");
  Frame f = still_frame();
  for (int i = 0; i < 12; i++) rec.frame(f);
  rec.end();
  Avi a = parse(rec.path);
  ASSERT_TRUE(a.ok);
  std::vector<Frame> decoded;
  std::vector<std::vector<uint8_t>> deltas = decode_all(a, &decoded);
  ASSERT_GE(decoded.size(), 10u);
  for (size_t k = 1; k < deltas.size(); k++) EXPECT_EQ(deltas[k], std::vector<uint8_t>(384, 0));
  for (const Frame &d : decoded) EXPECT_TRUE(d == f);
}

TEST(Avi, OnePixelScrollReusesTheNeighbourBlock) {
  Recording rec("video004.avi");
  for (int i = 0; i < 8; i++) rec.frame(scrolled(i));
  rec.end();
  Avi a = parse(rec.path);
  ASSERT_TRUE(a.ok);
  std::vector<Frame> decoded;
  std::vector<std::vector<uint8_t>> deltas = decode_all(a, &decoded);
  ASSERT_GE(decoded.size(), 6u);
  for (size_t k = 0; k < decoded.size(); k++) EXPECT_TRUE(decoded[k] == rec.frames[k]) << k;
  for (size_t k = 1; k < deltas.size(); k++) {
    const std::vector<uint8_t> &v = deltas[k];
    for (int b = 0; b < 192; b++) {
      if (b % 16 == 15) {
        EXPECT_EQ(v[2 * b] & 1, 1) << "right-edge block " << b << " carries XOR data";
      } else {
        EXPECT_EQ(v[2 * b], 2) << b;
        EXPECT_EQ(v[2 * b + 1], 0) << b;
      }
    }
    EXPECT_EQ(v.size(), 384u + 12 * 1024);
  }
}

// Rows of two alternating colours moved up by one line: several vectors
// match exactly, and the spiral order and the picture bounds decide.
TEST(Avi, SearchTakesTheFirstExactMatchInSpiralOrder) {
  Recording rec("video005.avi");
  for (int i = 0; i < 3; i++) {  // the third only pushes the second out
    Frame f(PIXELS);
    for (int y = 0; y < H; y++)
      for (int x = 0; x < W; x++) f[y * W + x] = ((y + (i > 0)) & 1) ? 0x123456 : 0xABCDEF;
    rec.frame(f);
  }
  rec.end();
  Avi a = parse(rec.path);
  ASSERT_TRUE(a.ok);
  std::vector<Frame> decoded;
  std::vector<std::vector<uint8_t>> deltas = decode_all(a, &decoded);
  ASSERT_GE(deltas.size(), 2u);
  const std::vector<uint8_t> &v = deltas[1];
  ASSERT_EQ(v.size(), 384u);
  auto vec = [&](int b) { return std::make_pair((int8_t)v[2 * b] / 2, (int8_t)v[2 * b + 1] / 2); };
  EXPECT_EQ(vec(0), std::make_pair(1, 1));
  EXPECT_EQ(vec(15), std::make_pair(0, 1));     // x + 1 would leave the picture
  EXPECT_EQ(vec(11 * 16 + 3), std::make_pair(-1, -1));  // so would y + 1
  EXPECT_EQ(vec(11 * 16), std::make_pair(0, -1));
  EXPECT_TRUE(decoded[1] == rec.frames[1]);
}

// A frame never waits for sound: it goes out with whatever sound came
// before it (none, too), and sound after the last frame closes the file.
TEST(Avi, EveryFrameGoesOutWithTheSoundBeforeIt) {
  Recording rec("video006.avi");
  int16_t block[440] = {};
  Frame a = still_frame(), b = scrolled(3);
  avi_record_audio(block, 440);
  avi_record_video(a.data(), 0);
  avi_record_video(b.data(), 0);
  avi_record_audio(block, 440);
  avi_record_audio(block, 440);
  rec.end();
  Avi f = parse(rec.path);
  ASSERT_TRUE(f.ok);
  ASSERT_EQ(f.video.size(), 2u);
  ASSERT_EQ(f.recs.size(), 3u);
  ASSERT_EQ(f.audio.size(), 2u);
  EXPECT_EQ(f.audio[0].size, 880u);
  EXPECT_EQ(f.audio[1].size, 1760u);
  EXPECT_LT(f.audio[0].at, f.video[1].at);
  EXPECT_GT(f.audio[1].at, f.video[1].at);
  EXPECT_EQ(f.idx1_size, 16u * 7);
  std::vector<Frame> decoded;
  decode_all(f, &decoded);
  EXPECT_TRUE(decoded[0] == a);
  EXPECT_TRUE(decoded[1] == b);

  // Frames that come with no sound at all are all kept, and every delta
  // refers to the frame before it.
  Recording quiet("video008.avi");
  std::vector<Frame> given;
  for (int i = 0; i < 70; i++) {
    Frame g(PIXELS);
    for (int p = 0; p < PIXELS; p++) g[p] = texture(p % W + i, p / W, i % 3);
    given.push_back(g);
    avi_record_video(g.data(), 0);
  }
  quiet.end();
  Avi q = parse(quiet.path);
  ASSERT_TRUE(q.ok);
  ASSERT_EQ(q.video.size(), 70u);
  EXPECT_TRUE(q.audio.empty());
  decoded.clear();
  decode_all(q, &decoded);
  for (size_t k = 0; k < decoded.size(); k++) EXPECT_TRUE(decoded[k] == given[k]) << "frame " << k;
}

// A full disk in the middle of a frame: the recording stops and says so,
// and the file holds the frames written whole, with sizes that match them
// and an index, or none when not even that fits (players then read the
// lists), so that players read all of it.
#ifndef _WIN32  // a full disk is made with a POSIX file size limit
TEST(Avi, AFullDiskStopsTheRecordingAndLeavesAPlayableFile) {
  long fourth_end = 0;  // where the fourth frame's list ends
  {
    Recording probe("video009.avi");
    for (int i = 0; i < 4; i++) probe.frame(scrolled(i));
    probe.end();
    Avi a = parse(probe.path);
    ASSERT_EQ(a.recs.size(), 4u);
    fourth_end = (long)(a.recs[3].at + 8 + a.recs[3].size);
  }
  for (long limit : {300000L, fourth_end + 4}) {
    Recording rec("video010.avi");
    recording_failed = 0;
    int written = 0;
    {
      FileSizeLimit disk(limit);  // a key frame of noise and a few deltas
      for (; written < 40 && video_file != nullptr; written++) rec.frame(scrolled(written));
    }
    EXPECT_EQ(video_file, nullptr);
    EXPECT_EQ(record_video, 0);
    EXPECT_EQ(recording_failed, 1);
    EXPECT_STREQ(current_message, "Video recording stopped: write failed");
    Frame f = still_frame();
    avi_record_video(f.data(), 0);  // nothing more happens
    rec.end();

    Avi a = parse(rec.path);
    ASSERT_TRUE(a.ok) << "sizes that do not match the file, limit " << limit;
    EXPECT_LE((long)a.d.size(), limit);
    const uint32_t frames = (uint32_t)a.video.size();
    ASSERT_GE(frames, 4u);
    ASSERT_LT(frames, (uint32_t)written);
    EXPECT_EQ(u32(a.avih + 16), frames);
    EXPECT_EQ(u32(a.strh[0] + 32), frames);
    uint32_t audio_bytes = 0;
    for (const Chunk &c : a.audio) audio_bytes += c.size;
    EXPECT_EQ(2 * u32(a.strh[1] + 32), audio_bytes);
    if (limit == 300000) {
      ASSERT_NE(a.idx1, nullptr);
      EXPECT_EQ(u32(a.avih + 12), 0x110u);
      EXPECT_EQ(a.idx1_size, 16u * (a.recs.size() + a.video.size() + a.audio.size()));
    } else {
      EXPECT_EQ(frames, 4u);
      EXPECT_EQ(a.idx1, nullptr);
      EXPECT_EQ(u32(a.avih + 12), 0x100u);  // interleaved, no index
    }
    std::vector<Frame> decoded;
    decode_all(a, &decoded);
    for (size_t k = 0; k < decoded.size(); k++) EXPECT_TRUE(decoded[k] == rec.frames[k]) << "frame " << k;
    if (!have("ffmpeg")) continue;
    EXPECT_EQ(run("ffmpeg -v error -i '" + rec.path + "' -f null - 2>&1"), "");
    EXPECT_EQ(run("ffprobe -v error -count_frames -select_streams v -show_entries "
                  "stream=nb_read_frames -of csv=p=0 '" + rec.path + "'"),
              std::to_string(frames) + "\n") << "limit " << limit;
  }

  // A file that takes no byte at all is refused at the start.
  video_file = fopen("/dev/full", "wb");
  ASSERT_NE(video_file, nullptr);
  record_video = 1;
  EXPECT_EQ(avi_start_video(), 1);
  EXPECT_EQ(video_file, nullptr);
  EXPECT_EQ(record_video, 0);
}
#endif

// The Raspberry Pi's frame buffer holds R, G, B, 0; the file's pixels are
// 0x00RRGGBB words, so red stays red in its recordings.
TEST(Avi, PiFramesKeepTheirColours) {
  Recording rec("video011.avi");
  Frame given(PIXELS), pi(PIXELS);
  pixel_order = PIXELS_RGBX;
  for (int p = 0; p < PIXELS; p++) {
    given[p] = texture(p % W, p / W, 5);
    pi[p] = vdp_pixel((int)(given[p] >> 16), (int)(given[p] >> 8) & 0xFF, (int)given[p] & 0xFF);
  }
  avi_record_video(pi.data(), 0);
  avi_record_video(pi.data(), 0);
  pixel_order = PIXELS_XRGB;
  rec.end();
  Avi a = parse(rec.path);
  ASSERT_TRUE(a.ok);
  std::vector<Frame> decoded;
  decode_all(a, &decoded);
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_TRUE(decoded[0] == given);
  EXPECT_TRUE(decoded[1] == given);
}

TEST(Avi, NothingIsWrittenWithoutAnOpenFile) {
  video_file = nullptr;
  record_video = 1;
  EXPECT_EQ(avi_start_video(), 1);
  EXPECT_EQ(record_video, 0);
  Frame f = still_frame();
  int16_t block[440] = {};
  avi_record_audio(block, 440);
  avi_record_video(f.data(), 0);
  avi_end_video();
  EXPECT_EQ(video_file, nullptr);
}

TEST(Avi, ClosesItselfNearTwoGigabytes) {
  std::string path = private_home() + "/video007.avi";
  video_file = fopen(path.c_str(), "wb");
  ASSERT_NE(video_file, nullptr);
  ASSERT_EQ(fseek(video_file, 0x7FFE0000L, SEEK_SET), 0);  // sparse start
  record_video = 1;
  vdp_pal = 0;
  ASSERT_EQ(avi_start_video(), 0);
  int16_t block[440] = {};
  avi_record_audio(block, 440);
  avi_record_audio(block, 440);
  Frame f(PIXELS);
  for (int i = 0; i < PIXELS; i++) f[i] = texture(i, 7, 7);  // incompressible
  avi_record_video(f.data(), 0);
  EXPECT_EQ(video_file, nullptr);
  EXPECT_EQ(record_video, 1);  // the next use of the action reports the end
  record_video = 0;
  unlink(path.c_str());
}

// ffmpeg decodes every frame and every sample exactly as they were given.
void check_with_ffmpeg(int pal) {
  if (!have("ffmpeg") || !have("ffprobe"))
    GTEST_SKIP() << "ffmpeg and ffprobe (package ffmpeg) are not installed";
  Recording rec(pal ? "video050.avi" : "video060.avi", pal);
  for (int i = 0; i < 70; i++) {
    Frame f = scrolled(i / 2);
    for (int s = 0; s < 6; s++) {  // moving squares over the scroll
      int ox = (s * 40 + i * (s + 1)) % 240, oy = (s * 30 + i * 2) % 176;
      for (int y = 0; y < 16; y++)
        for (int x = 0; x < 16; x++) f[(oy + y) * W + ox + x] = 0x102030 * (s + 1);
    }
    if (i % 9 == 0) f[(i * 37) % PIXELS] = 0xFFFFFF;
    rec.frame(f);
  }
  rec.end();
  const std::string probe = run("ffprobe -v error -show_entries "
                                "stream=codec_name,width,height,r_frame_rate,sample_rate,channels "
                                "-of default=noprint_wrappers=1 '" + rec.path + "'");
  EXPECT_NE(probe.find("codec_name=zmbv"), std::string::npos) << probe;
  EXPECT_NE(probe.find("width=256\nheight=192"), std::string::npos) << probe;
  EXPECT_NE(probe.find(pal ? "r_frame_rate=346185/6886" : "r_frame_rate=346185/5764"), std::string::npos) << probe;
  EXPECT_NE(probe.find("codec_name=pcm_s16le"), std::string::npos) << probe;
  EXPECT_NE(probe.find("sample_rate=44100"), std::string::npos) << probe;
  EXPECT_NE(probe.find("channels=1"), std::string::npos) << probe;

  const std::string video = rec.path + ".rgb", audio = rec.path + ".pcm";
  ASSERT_EQ(system(("ffmpeg -v error -y -i '" + rec.path + "' -map 0:v -vsync passthrough "
                    "-f rawvideo -pix_fmt bgr0 '" + video + "' -map 0:a -f s16le '" + audio + "'")
                       .c_str()),
            0);
  Avi a = parse(rec.path);
  const size_t frames = a.video.size();
  ASSERT_EQ(frames, 70u);
  std::vector<uint8_t> v = read_file(video), s = read_file(audio);
  ASSERT_EQ(v.size(), frames * PIXELS * 4);
  for (size_t k = 0; k < frames; k++)
    EXPECT_EQ(memcmp(&v[k * PIXELS * 4], rec.frames[k].data(), PIXELS * 4), 0) << "frame " << k;
  ASSERT_EQ(s.size(), rec.samples.size() * 2);
  EXPECT_EQ(memcmp(s.data(), rec.samples.data(), s.size()), 0);
  // Picture and sound last as long, within the sound period still owed:
  // the video stream's duration against the end of the last sound packet.
  double video_seconds = 0, audio_start = 0, audio_length = 0;
  const std::string video_duration = run("ffprobe -v error -select_streams v -show_entries stream=duration -of csv=p=0 '" + rec.path + "'");
  std::string last = run("ffprobe -v error -select_streams a -show_entries packet=pts_time,duration_time -of csv=p=0 '" + rec.path + "' | tail -n 1");
  ASSERT_EQ(sscanf(video_duration.c_str(), "%lf", &video_seconds), 1) << video_duration;
  ASSERT_EQ(sscanf(last.c_str(), "%lf,%lf", &audio_start, &audio_length), 2) << last;
  const double audio_seconds = audio_start + audio_length;
  EXPECT_NEAR(video_seconds, frames * (pal ? 313 : 262) * 440.0 / (44100 * 157), 1e-3);
  EXPECT_NEAR(audio_seconds, video_seconds, 440.0 / 44100 + 1e-3);
  unlink(video.c_str());
  unlink(audio.c_str());
}

TEST(Avi, FfmpegDecodesEveryFrameAndSampleAt60) { check_with_ffmpeg(0); }
TEST(Avi, FfmpegDecodesEveryFrameAndSampleAt50) { check_with_ffmpeg(1); }

}  // namespace
