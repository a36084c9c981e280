// The screen on a private Xvfb: the root window's pixels come back in the
// screen's depth as DIB rows, top row first.
#include "platform/screen.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"
#include "test_support/xvfb.h"

namespace {

using Tavrin::Platform::Screen::Bitmap;
using Tavrin::Platform::Screen::capture_screen;
using Tavrin::Platform::Screen::NoScreenError;
using Tavrin::Platform::Screen::ScreenSource;
using Tavrin::Platform::Screen::set_screen_source;
using quorvane_test::Rect;
using quorvane_test::ScopedEnv;
using quorvane_test::Xvfb;

constexpr Rect kRect{10, 5, 20, 8};

// The 32-bit pixel at (x, y): its bytes B, G, R, X.
unsigned bgrx(const Bitmap& b, int x, int y) {
  const auto* p = b.row(y) + x * 4;
  return p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24;
}
unsigned word16(const Bitmap& b, int x, int y) {
  const auto* p = b.row(y) + x * 2;
  return p[0] | p[1] << 8;
}

class ScreenCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
  }
};

// A 24-bit screen comes back at 32 bits per pixel: blue, green, red, 0,
// with the rectangle where it was drawn.
TEST_F(ScreenCapture, DepthTwentyFourAsBgrx) {
  Xvfb server(64, 48, 24);
  ASSERT_TRUE(server.running());
  ASSERT_NO_FATAL_FAILURE(quorvane_test::paint_root(server.display(), 0x123456, kRect, 0xABCDEF));
  ScopedEnv display("DISPLAY", server.display());
  const Bitmap bitmap = capture_screen();
  ASSERT_EQ(bitmap.width, 64);
  ASSERT_EQ(bitmap.height, 48);
  ASSERT_EQ(bitmap.bits_per_pixel, 32);
  EXPECT_EQ(bitmap.stride(), 256u);
  ASSERT_EQ(bitmap.pixels.size(), 256u * 48);
  EXPECT_EQ(bgrx(bitmap, 0, 0), 0x123456u);
  EXPECT_EQ(bgrx(bitmap, 63, 47), 0x123456u);
  EXPECT_EQ(bgrx(bitmap, kRect.x, kRect.y), 0xABCDEFu);
  EXPECT_EQ(bgrx(bitmap, kRect.x + kRect.width - 1, kRect.y + kRect.height - 1), 0xABCDEFu);
  EXPECT_EQ(bgrx(bitmap, kRect.x - 1, kRect.y), 0x123456u);
  EXPECT_EQ(bgrx(bitmap, kRect.x, kRect.y + kRect.height), 0x123456u);
  EXPECT_EQ(bitmap.row(kRect.y)[kRect.x * 4 + 2], 0xAB);  // red is the third byte
}

// A 16-bit screen comes back as 5-6-5 words; an odd width pads each row to
// a whole number of 32-bit words.
TEST_F(ScreenCapture, DepthSixteenAs565Words) {
  Xvfb server(33, 20, 16);
  ASSERT_TRUE(server.running());
  ASSERT_NO_FATAL_FAILURE(quorvane_test::paint_root(server.display(), 0xF800, kRect, 0x07E5));
  ScopedEnv display("DISPLAY", server.display());
  const Bitmap bitmap = capture_screen();
  ASSERT_EQ(bitmap.bits_per_pixel, 16);
  ASSERT_EQ(bitmap.width, 33);
  EXPECT_EQ(bitmap.stride(), 68u);
  EXPECT_EQ(word16(bitmap, 0, 0), 0xF800u);
  EXPECT_EQ(word16(bitmap, 32, 19), 0xF800u);
  EXPECT_EQ(word16(bitmap, kRect.x, kRect.y), 0x07E5u);
  EXPECT_EQ(word16(bitmap, kRect.x + kRect.width - 1, kRect.y + kRect.height - 1), 0x07E5u);
  EXPECT_EQ(word16(bitmap, kRect.x + kRect.width, kRect.y), 0xF800u);
}

// A 15-bit screen (5-5-5 masks) comes back as 5-6-5 words too: green is
// scaled from 5 bits to 6.
TEST_F(ScreenCapture, DepthFifteenScaledTo565) {
  Xvfb server(16, 16, 15);
  ASSERT_TRUE(server.running());
  ASSERT_NO_FATAL_FAILURE(quorvane_test::paint_root(server.display(), 0x7C00, {0, 0, 8, 16}, 0x03FF));
  ScopedEnv display("DISPLAY", server.display());
  const Bitmap bitmap = capture_screen();
  ASSERT_EQ(bitmap.bits_per_pixel, 16);
  EXPECT_EQ(word16(bitmap, 15, 0), 0xF800u);  // red 31
  EXPECT_EQ(word16(bitmap, 0, 0), 0x07FFu);   // green 31 of 31 is 63 of 63, blue 31
}

// An 8-bit screen has a colour map instead of masks: it comes back at 32
// bits with the map's colours (pixel 0 black, 1 white in a new server).
TEST_F(ScreenCapture, ColourMapScreenAt32Bits) {
  Xvfb server(16, 16, 8);
  ASSERT_TRUE(server.running());
  ASSERT_NO_FATAL_FAILURE(quorvane_test::paint_root(server.display(), 1, {0, 0, 8, 16}, 0));
  ScopedEnv display("DISPLAY", server.display());
  const Bitmap bitmap = capture_screen();
  ASSERT_EQ(bitmap.bits_per_pixel, 32);
  EXPECT_EQ(bgrx(bitmap, 0, 0), 0x000000u);
  EXPECT_EQ(bgrx(bitmap, 15, 15), 0xFFFFFFu);
}

// Without a display there is no screen.
TEST(ScreenWithoutDisplay, NoScreenError) {
  ScopedEnv display("DISPLAY", std::nullopt);
  EXPECT_THROW(capture_screen(), NoScreenError);
  ScopedEnv nowhere("DISPLAY", ":999999");
  try {
    capture_screen();
    ADD_FAILURE() << "captured a screen that does not exist";
  } catch (const NoScreenError& e) {
    EXPECT_STREQ(e.what(), "Unable to retrieve Desktop Context");
  }
}

// A source put in place answers instead of the display, until removed.
TEST(ScreenSeam, ReplacesTheDisplay) {
  struct Fake : ScreenSource {
    Bitmap Capture() override {
      Bitmap b;
      b.width = 2;
      b.height = 1;
      b.pixels.assign(8, 7);
      return b;
    }
  } fake;
  ScopedEnv display("DISPLAY", std::nullopt);
  EXPECT_EQ(set_screen_source(&fake), nullptr);
  EXPECT_EQ(capture_screen().width, 2);
  EXPECT_EQ(set_screen_source(nullptr), &fake);
  EXPECT_THROW(capture_screen(), NoScreenError);
}

}  // namespace
