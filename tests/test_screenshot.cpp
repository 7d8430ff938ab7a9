// PNG screenshots: numbering, messages, and the file read back with a
// small PNG reader of our own (zlib inflate and the five row filters).
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/harness.h"
#include "support/posix.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

void touch(const std::string &path) {
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  fputs("keep", f);
  fclose(f);
}

uint32_t be32(const uint8_t *p) {
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

// Decodes a non-interlaced PNG of 8-bit grey, RGB or RGBA, or of a
// palette of 1 to 8 bits, into rows of RGBA bytes.
bool decode_png(const std::vector<uint8_t> &file, int *w, int *h, std::vector<uint8_t> *out) {
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() < 8 || memcmp(file.data(), signature, 8) != 0) return false;
  std::vector<uint8_t> idat, palette, alpha;
  int depth = 0, type = -1;
  size_t pos = 8;
  *w = *h = 0;
  while (pos + 12 <= file.size()) {
    uint32_t len = be32(&file[pos]);
    if (pos + 12 + len > file.size()) return false;
    std::string kind(file.begin() + pos + 4, file.begin() + pos + 8);
    const uint8_t *data = &file[pos + 8];
    if (crc32(crc32(0, &file[pos + 4], 4), data, len) != be32(data + len)) return false;
    if (kind == "IHDR") {
      *w = (int)be32(data);
      *h = (int)be32(data + 4);
      depth = data[8];
      type = data[9];
      if (data[12] != 0) return false;
    } else if (kind == "PLTE") {
      palette.assign(data, data + len);
    } else if (kind == "tRNS") {
      alpha.assign(data, data + len);
    } else if (kind == "IDAT") {
      idat.insert(idat.end(), data, data + len);
    } else if (kind == "IEND") {
      break;
    }
    pos += 12 + len;
  }
  int channels = type == 6 ? 4 : type == 2 ? 3 : (type == 0 || type == 3) ? 1 : 0;
  if (channels == 0 || (depth != 8 && type != 3) || *w <= 0 || *h <= 0) return false;
  const size_t stride = ((size_t)*w * channels * depth + 7) / 8;
  const size_t bpp = channels * depth >= 8 ? (size_t)channels * depth / 8 : 1;
  std::vector<uint8_t> raw((stride + 1) * (size_t)*h), rows(stride * (size_t)*h);
  uLongf raw_size = raw.size();
  if (uncompress(raw.data(), &raw_size, idat.data(), idat.size()) != Z_OK) return false;
  if (raw_size != raw.size()) return false;
  for (int y = 0; y < *h; y++) {
    const uint8_t *in = &raw[y * (stride + 1)];
    uint8_t *row = &rows[y * stride];
    const uint8_t *up = y ? row - stride : nullptr;
    for (size_t i = 0; i < stride; i++) {
      int a = i >= bpp ? row[i - bpp] : 0, b = up ? up[i] : 0;
      int c = (up && i >= bpp) ? up[i - bpp] : 0;
      int pred = 0;
      switch (in[0]) {
        case 0: pred = 0; break;
        case 1: pred = a; break;
        case 2: pred = b; break;
        case 3: pred = (a + b) / 2; break;
        case 4: {
          int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
          pred = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
          break;
        }
        default: return false;
      }
      row[i] = (uint8_t)(in[1 + i] + pred);
    }
  }
  out->assign((size_t)*w * *h * 4, 255);
  for (int y = 0; y < *h; y++) {
    for (int x = 0; x < *w; x++) {
      const uint8_t *row = &rows[y * stride];
      uint8_t *o = &(*out)[((size_t)y * *w + x) * 4];
      if (type == 3) {
        int bit = x * depth;
        int index = (row[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1);
        if ((size_t)index * 3 + 2 >= palette.size()) return false;
        for (int k = 0; k < 3; k++) o[k] = palette[index * 3 + k];
        if ((size_t)index < alpha.size()) o[3] = alpha[index];
      } else {
        const uint8_t *q = row + (size_t)x * channels;
        for (int k = 0; k < 3; k++) o[k] = q[channels == 1 ? 0 : k];
        if (channels == 4) o[3] = q[3];
      }
    }
  }
  return true;
}

void paint_frame(void) {
  for (int y = 0; y < 192; y++)
    for (int x = 0; x < 256; x++) frame_buffer[y * 256 + x] = (uint32_t)(x * 0x010203 + y * 0x030501) & 0xFFFFFF;
}

TEST(Screenshot, NumberingContinuesAfterExistingFilesAndNeverGoesBack) {
  std::string home = private_home();
  paint_frame();
  touch(home + "/image001.png");
  touch(home + "/image002.png");
  save_screenshot();
  EXPECT_STREQ(current_message, "Screenshot saved");
  EXPECT_TRUE(exists(home + "/image003.png"));
  unlink((home + "/image001.png").c_str());
  save_screenshot();
  EXPECT_TRUE(exists(home + "/image004.png"));
  EXPECT_FALSE(exists(home + "/image001.png")) << "a freed number is not reused";

  // A name that cannot be read but exists (a dangling link; on Windows a
  // folder) is skipped, never written through.
#ifdef _WIN32
  ASSERT_EQ(mkdir((home + "/image005.png").c_str(), 0700), 0);
#else
  ASSERT_EQ(symlink((home + "/victim").c_str(), (home + "/image005.png").c_str()), 0);
#endif
  save_screenshot();
  EXPECT_STREQ(current_message, "Screenshot saved");
  EXPECT_FALSE(exists(home + "/victim"));
  EXPECT_TRUE(exists(home + "/image006.png"));

  // A folder that cannot be written: failure message, and the number
  // tried is used up.
  set_home(home + "/missing");
  save_screenshot();
  EXPECT_STREQ(current_message, "Couldn't save screenshot");
  set_home(home + "/");  // a trailing slash gets no second one
  save_screenshot();
  EXPECT_TRUE(exists(home + "/image008.png"));
  EXPECT_FALSE(exists(home + "/image007.png"));
}

void expect_file_equals_frame(const std::string &home) {
  std::string path;
  for (int n = 1; n < 100 && path.empty(); n++) {
    char name[32];
    snprintf(name, sizeof name, "/image%03d.png", n);
    if (exists(home + name)) path = home + name;
  }
  ASSERT_FALSE(path.empty());
  int w, h;
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(decode_png(read_file(path), &w, &h, &rgba));
  ASSERT_EQ(w, 256);
  ASSERT_EQ(h, 192);
  for (int y = 0; y < 192; y++) {
    for (int x = 0; x < 256; x++) {
      uint32_t p = frame_buffer[y * 256 + x];
      const uint8_t *q = &rgba[(y * 256 + x) * 4];
      ASSERT_EQ(q[0], (p >> 16) & 255) << x << "," << y;
      ASSERT_EQ(q[1], (p >> 8) & 255);
      ASSERT_EQ(q[2], p & 255);
      ASSERT_EQ(q[3], 255);
    }
  }
}

TEST(Screenshot, FileHoldsTheFrameBufferPixelForPixel) {
  // Many colours, then a rendered picture of a few (a palette file).
  std::string home = private_home();
  paint_frame();
  save_screenshot();
  expect_file_equals_frame(home);

  home = private_home();
  vdp_pal = 0;
  vdp_init();
  vdp_reg[1] = 0x40;
  vdp_reg[2] = 6;
  vdp_reg[3] = 0x80;
  vdp_reg[5] = 0x36;
  vdp_reg[7] = 0x15;
  for (int i = 0; i < 0x1B00; i++) video_ram[i] = (uint8_t)(i * 13);
  for (int i = 0; i < 0x20; i++) video_ram[0x2000 + i] = (uint8_t)(i * 0x37);
  video_ram[0x1B00] = 0xD0;
  vdp_memory_changed();
  for (int y = 0; y < 192; y++) vdp_draw_line(frame_buffer + y * 256, y);
  save_screenshot();
  expect_file_equals_frame(home);
}

}  // namespace
