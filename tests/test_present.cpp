// Presentation on a real (dummy-driver) window surface: scale, position,
// border repaint rules and the fading status line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/sdl.h"
#include "memory/memory.h"
#include "video/present.h"
#include "video/vdp.h"

namespace {

const uint32_t PICTURE = 0x123456;

class Present : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
    ASSERT_EQ(host_create_surfaces(), -1);
    vdp_pal = 0;
    vdp_init();
    vdp_reg[7] = 0x04;
    SDL_FillRect(surface, nullptr, PICTURE);
    message_brightness = 0;
    previous_border_color = previous_x_size = previous_y_size = -1;
    previous_message_brightness = -1;
    // Glyph for 'A': a 6-pixel-wide block with a hole in row 3.
    for (int r = 0; r < 8; r++) base_rom[0x14A3 + 8 * 'A' + r] = r == 3 ? 0x00 : 0xFC;
  }
  void TearDown() override {
    SDL_FreeSurface(surface);
    SDL_FreeSurface(status_surface);
    surface = status_surface = nullptr;
    if (window) SDL_DestroyWindow(window);
    window = nullptr;
    screenSurface = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  void open_window(int w, int h) {
    window = SDL_CreateWindow("present", 0, 0, w, h, 0);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    screenSurface = SDL_GetWindowSurface(window);
    ASSERT_NE(screenSurface, nullptr) << SDL_GetError();
    SCREEN_WIDTH = w;
    SCREEN_HEIGHT = h;
    SDL_FillRect(screenSurface, nullptr, 0);
  }
  // What the desktop host does at every presentation.
  void present(void) {
    update_screen();
    present_window(screenSurface);
  }
  uint32_t at(int x, int y) {
    const uint8_t *row = (const uint8_t *)screenSurface->pixels + y * screenSurface->pitch;
    Uint32 p = ((const Uint32 *)row)[x];
    Uint8 r, g, b;
    SDL_GetRGB(p, screenSurface->format, &r, &g, &b);
    return (uint32_t)r << 16 | (uint32_t)g << 8 | b;
  }
  uint32_t status_at(int x, int y) {
    return ((const uint32_t *)((const uint8_t *)status_surface->pixels +
                               y * status_surface->pitch))[x] & 0xFFFFFF;
  }
  // Checks that the picture fills exactly (x, y, w, h) with border around.
  void expect_picture(int x, int y, int w, int h) {
    const uint32_t border = 0x5557E8;
    EXPECT_EQ(at(x, y), PICTURE);
    EXPECT_EQ(at(x + w - 1, y + h - 1), PICTURE);
    if (x > 0) { EXPECT_EQ(at(x - 1, y + h / 2), border); }
    if (x + w < SCREEN_WIDTH) { EXPECT_EQ(at(x + w, y + h / 2), border); }
    if (y > 0) { EXPECT_EQ(at(x + w / 2, y - 1), border); }
    if (y + h < SCREEN_HEIGHT) { EXPECT_EQ(at(x + w / 2, y + h), border); }
  }
};

TEST(PresentGeometry, ScaleAndPositions) {
  present_layout l = present_geometry(640, 416);
  EXPECT_EQ(l.x, 32); EXPECT_EQ(l.y, 16); EXPECT_EQ(l.w, 576); EXPECT_EQ(l.h, 384);
  EXPECT_EQ(l.status_x, 8); EXPECT_EQ(l.status_y, 8);
  EXPECT_EQ(l.status_w, 256); EXPECT_EQ(l.status_h, 8);
  l = present_geometry(288, 208);
  EXPECT_EQ(l.x, 0); EXPECT_EQ(l.y, 8); EXPECT_EQ(l.w, 288); EXPECT_EQ(l.h, 192);
  EXPECT_EQ(l.status_x, 4); EXPECT_EQ(l.status_w, 128); EXPECT_EQ(l.status_h, 4);
  l = present_geometry(1000, 208);
  EXPECT_EQ(l.x, 356); EXPECT_EQ(l.y, 8); EXPECT_EQ(l.w, 288); EXPECT_EQ(l.h, 192);
  l = present_geometry(0, 0);
  EXPECT_EQ(l.w, 0); EXPECT_EQ(l.h, 0);
}

TEST_F(Present, PictureAndBorderOnTheWindow) {
  struct { int W, H, x, y, w, h; } cases[] = {
      {640, 416, 32, 16, 576, 384}, {288, 208, 0, 8, 288, 192}, {1000, 208, 356, 8, 288, 192}};
  for (auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H);
    open_window(c.W, c.H);
    present();
    expect_picture(c.x, c.y, c.w, c.h);
    EXPECT_EQ(at(0, 0), 0x5557E8u);
    EXPECT_EQ(at(c.W - 1, c.H - 1), 0x5557E8u);
    TearDown();
    SetUp();
  }
}

// Every pixel of the scaled picture where the library's scaler puts it,
// at sizes that scale up, down and unevenly.
TEST_F(Present, PictureScalesPixelForPixelAsTheLibraryDoes) {
  for (int y = 0; y < 192; y++)
    for (int x = 0; x < 256; x++)
      ((Uint32 *)((uint8_t *)surface->pixels + y * surface->pitch))[x] = (Uint32)(y << 8 | x);
  // 512 and 768 wide: whole factors 2 and 3 across.
  const int sizes[][2] = {{640, 416}, {1000, 700}, {293, 211}, {200, 150}, {1920, 1080}, {512, 400}, {768, 600}};
  for (const auto &size : sizes) {
    SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1]);
    open_window(size[0], size[1]);
    present();
    const present_layout &l = present_current;
    SDL_Surface *want = SDL_CreateRGBSurfaceWithFormat(0, size[0], size[1], 32, screenSurface->format->format);
    ASSERT_NE(want, nullptr);
    SDL_Rect r = {l.x, l.y, l.w, l.h};
    SDL_BlitScaled(surface, nullptr, want, &r);
    int wrong = 0;
    for (int y = l.y; y < l.y + l.h; y++)
      for (int x = l.x; x < l.x + l.w; x++)
        wrong += ((Uint32 *)((uint8_t *)want->pixels + y * want->pitch))[x] !=
                 ((Uint32 *)((uint8_t *)screenSurface->pixels + y * screenSurface->pitch))[x];
    EXPECT_EQ(wrong, 0);
    SDL_FreeSurface(want);
    if (window) SDL_DestroyWindow(window);
    window = nullptr;
  }
}

// A frame redraws only the rows that changed since the last one on this
// surface, and lists them as bands; a repaint or a new surface redraws all.
TEST_F(Present, OnlyChangedRowsAreRedrawnAndListed) {
  open_window(640, 416);  // scale 2: source row y is output rows 16 + 2y, 17 + 2y
  present();
  auto row = [&](int y) { return (Uint32 *)((uint8_t *)surface->pixels + y * surface->pitch); };
  auto mark = [&](int y) { ((Uint32 *)((uint8_t *)screenSurface->pixels + y * screenSurface->pitch))[40] = 0; };
  SDL_Rect rects[PRESENT_MAX_RECTS];
  struct {
    std::vector<int> rows;  // source rows changed before the presentation
    bool repaint;           // the border changes too
    std::vector<SDL_Rect> want;
  } cases[] = {
      {{}, false, {}},
      {{50, 51, 190}, false, {{32, 116, 576, 4}, {32, 396, 576, 2}}},
      {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18}, false,
       {{32, 16, 576, 2}, {32, 20, 576, 2}, {32, 24, 576, 2}, {32, 28, 576, 2}, {32, 32, 576, 2},
        {32, 36, 576, 2}, {32, 40, 576, 2}, {32, 44, 576, 10}}},
      {{}, true, {{32, 16, 576, 384}}},
  };
  Uint32 value = 0x010101;
  for (auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows.size() << " rows, repaint " << c.repaint);
    for (int y : c.rows) {  // as the renderer writes rows
      row(y)[0] = value++;
      frame_rows_written[y >> 6] |= (uint64_t)1 << (y & 63);
    }
    mark(16 + 2 * 100);  // an unchanged row keeps what the surface holds
    present_border_dirty = c.repaint;  // as update_screen decides it
    const int n = present_window(screenSurface, rects);
    ASSERT_EQ(n, (int)c.want.size());
    for (int i = 0; i < n; i++)
      EXPECT_TRUE(SDL_RectEquals(&rects[i], &c.want[i])) << i << ": y " << rects[i].y << " h " << rects[i].h;
    EXPECT_EQ(at(40, 16 + 2 * 100), c.repaint ? PICTURE : 0u);
    for (int y : c.rows) EXPECT_EQ(at(32, 16 + 2 * y + 1), row(y)[0] & 0xFFFFFF) << y;
  }
}

TEST_F(Present, StatusLineOnTheWindow) {
  open_window(640, 416);
  message("A");
  present();
  // Bar 256x8 at (8, 8); the glyph in cell 1 (columns 6..11), white.
  EXPECT_EQ(at(8, 8), 0xFF0000u);
  EXPECT_EQ(at(263, 15), 0xFF0000u);
  EXPECT_EQ(at(264, 8), 0x5557E8u);
  EXPECT_EQ(at(14, 8), 0xFFFFFFu);
  EXPECT_EQ(at(19, 15), 0xFFFFFFu);
  EXPECT_EQ(at(14, 11), 0xFF0000u) << "row 3 of the glyph is empty";
  EXPECT_EQ(at(20, 8), 0xFF0000u);
  // Drawn again only when it looks different: once at full brightness,
  // then at each of the 50 fading levels; the border is back when it goes.
  SDL_Rect mark = {8, 8, 1, 1};
  SDL_FillRect(screenSurface, &mark, 0);
  present();
  EXPECT_EQ(at(8, 8), 0u);
  int redrawn = 0;
  for (int i = 3; i <= 100; i++) {  // presentations 3 to 100
    present();
    redrawn += status_redrawn;
  }
  EXPECT_EQ(redrawn, 50);
  EXPECT_EQ(at(8, 8), 0u) << "the last level is a black bar";
  present();
  EXPECT_FALSE(status_redrawn);
  EXPECT_EQ(at(8, 8), 0x5557E8u);

  TearDown();
  SetUp();
  open_window(288, 208);
  message("A");
  present();
  EXPECT_EQ(at(4, 4), 0xFF0000u);
  EXPECT_EQ(at(131, 7), 0xFF0000u);
  EXPECT_EQ(at(132, 4), 0x5557E8u);
  EXPECT_EQ(at(4, 8), PICTURE);
}

TEST_F(Present, BorderIsRepaintedOnlyOnChange) {
  open_window(640, 416);
  present();
  SDL_Rect corner = {0, 0, 4, 4};
  SDL_FillRect(screenSurface, &corner, 0);
  present();
  EXPECT_EQ(at(0, 0), 0u) << "nothing changed: no repaint";
  vdp_reg[7] = 0x06;
  vdp_reg[7] = 0x0F;  // twice before a presentation: one repaint, last colour
  present();
  EXPECT_EQ(at(0, 0), 0xFFFFFFu);
  SDL_FillRect(screenSurface, &corner, 0);
  SCREEN_WIDTH = 639;  // a size change repaints too
  present();
  EXPECT_EQ(at(0, 0), 0xFFFFFFu);
  // Backdrop 0 is black even though colour 0's pixel value is shared.
  vdp_reg[7] = 0;
  present();
  EXPECT_EQ(at(0, 0), 0u);
}

TEST_F(Present, MessageFadesOverOneHundredPresentations) {
  message("A");
  int levels[101];
  for (int i = 0; i < 101; i++) {
    update_screen();
    levels[i] = present_status_shown ? (int)(status_at(0, 0) >> 16) : -1;
  }
  for (int i = 0; i < 50; i++) EXPECT_EQ(levels[i], 255) << i;
  EXPECT_EQ(levels[50], 49 * 255 / 50);
  EXPECT_EQ(levels[75], 24 * 255 / 50);
  EXPECT_EQ(levels[99], 0) << "the last one is a black bar";
  EXPECT_EQ(levels[100], -1) << "then it is gone";
  EXPECT_EQ(message_brightness, 0);
  // Text colour follows the level.
  message("A");
  for (int i = 0; i < 60; i++) update_screen();
  EXPECT_EQ(status_at(6, 0), 0x000000u + (uint32_t)(40 * 255 / 50) * 0x010101u);
}

TEST_F(Present, LongMessagesAreClippedToTheLine) {
  std::string text(300, 'A');
  message(text.c_str());
  EXPECT_EQ(strlen(current_message), 255u);
  update_screen();
  // 41 cells after the empty first one: the last ends at column 251.
  EXPECT_EQ(status_at(251, 0), 0xFFFFFFu);
  for (int x = 252; x < 256; x++) EXPECT_EQ(status_at(x, 0), 0xFF0000u) << x;
  // Codes above 127 take glyphs from further up the BIOS, never beyond it.
  message("\xff\x80");
  update_screen();
  message(nullptr);
  update_screen();
  EXPECT_EQ(status_at(6, 0), 0xFF0000u);
}

}  // namespace
