// The image files of screenshots, from bitmaps of known pixels.
#include "runtime/screen_image.h"

#include <boost/gil.hpp>
#include <boost/gil/extension/io/png.hpp>
#include <gtest/gtest.h>

#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace {

using Tavrin::Platform::Screen::Bitmap;
using Tavrin::Runtime::bmp_bytes;
using Tavrin::Runtime::rgb_of;
using Tavrin::Runtime::write_bmp;
using Tavrin::Runtime::write_png;
using Rgb = std::array<std::uint8_t, 3>;

// A width x height bitmap whose pixel (x, y) has red x*40, green y*50 and
// blue 7, at 32 or 24 bits.
Bitmap gradient(int width, int height, int bits) {
  Bitmap b;
  b.width = width;
  b.height = height;
  b.bits_per_pixel = bits;
  b.pixels.assign(b.stride() * height, 0xEE);  // padding bytes are copied as they are
  const int bytes = bits / 8;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = b.pixels.data() + y * b.stride() + x * bytes;
      p[0] = 7, p[1] = static_cast<std::uint8_t>(y * 50), p[2] = static_cast<std::uint8_t>(x * 40);
      if (bytes == 4) p[3] = 0x99;
    }
  return b;
}

Bitmap words16(int width, int height, std::initializer_list<unsigned> words) {
  Bitmap b;
  b.width = width;
  b.height = height;
  b.bits_per_pixel = 16;
  b.pixels.assign(b.stride() * height, 0);
  auto w = words.begin();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x, ++w) {
      b.pixels[y * b.stride() + x * 2] = static_cast<std::uint8_t>(*w);
      b.pixels[y * b.stride() + x * 2 + 1] = static_cast<std::uint8_t>(*w >> 8);
    }
  return b;
}

std::uint32_t u32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// 32- and 24-bit pixels are blue, green, red; 16-bit words are 5-6-5,
// scaled with truncation.
TEST(ScreenImage, PixelConversion) {
  const Bitmap b32 = gradient(3, 2, 32);
  EXPECT_EQ(rgb_of(b32, b32.row(1), 2), (Rgb{80, 50, 7}));
  const Bitmap b24 = gradient(3, 2, 24);
  EXPECT_EQ(rgb_of(b24, b24.row(1), 2), (Rgb{80, 50, 7}));
  const Bitmap b16 = words16(4, 1, {0xFFFF, 0xF800, 0x07E0, 0x0841});
  EXPECT_EQ(rgb_of(b16, b16.row(0), 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(rgb_of(b16, b16.row(0), 1), (Rgb{255, 0, 0}));
  EXPECT_EQ(rgb_of(b16, b16.row(0), 2), (Rgb{0, 255, 0}));
  EXPECT_EQ(rgb_of(b16, b16.row(0), 3), (Rgb{8, 8, 8}));  // 1*255/31, 2*255/63, 1*255/31
}

// The BMP headers byte for byte, then the rows bottom first with their
// padding.
TEST(ScreenImage, BmpHeadersAndRowOrder) {
  const Bitmap b = gradient(3, 2, 24);  // rows of 9 bytes padded to 12
  const std::vector<std::uint8_t> bytes = bmp_bytes(b);
  ASSERT_EQ(bytes.size(), 54u + 24u);
  const std::vector<std::uint8_t> headers(bytes.begin(), bytes.begin() + 54);
  const std::vector<std::uint8_t> expected = {
      'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,   // file header
      40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,  // size, width, height, planes, bits
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    // compression, image size, resolutions
      0, 0, 0, 0, 0, 0, 0, 0};                           // colours used, important
  EXPECT_EQ(headers, expected);
  EXPECT_TRUE(std::equal(bytes.begin() + 54, bytes.begin() + 66, b.row(1)));
  EXPECT_TRUE(std::equal(bytes.begin() + 66, bytes.end(), b.row(0)));
  EXPECT_EQ(u32(bmp_bytes(gradient(5, 4, 32)), 2), 54u + 80u);
}

// 16-bit rows are stored as 5-5-5 words, what a 16-bit uncompressed BMP
// means to its readers.
TEST(ScreenImage, BmpSixteenBitRowsAre555) {
  const Bitmap b = words16(2, 1, {0xF800, 0x07E5});
  const std::vector<std::uint8_t> bytes = bmp_bytes(b);
  ASSERT_EQ(bytes.size(), 54u + 4u);
  EXPECT_EQ(bytes[28], 16);
  EXPECT_EQ(bytes[54] | bytes[55] << 8, 0x7C00);
  EXPECT_EQ(bytes[56] | bytes[57] << 8, 0x03E5);
}

class ImageFiles : public ::testing::Test {
 protected:
  std::wstring Path(const std::string& name) { return Tavrin::Platform::from_utf8(dir_.file(name)); }
  quorvane_test::TempDir dir_;
};

// The PNG is 8-bit RGB, not interlaced, and holds the bitmap's pixels.
TEST_F(ImageFiles, PngHoldsThePixels) {
  const Bitmap b = gradient(5, 3, 32);
  write_png(Path("shot.png"), b);
  const std::string bytes = quorvane_test::read_file(dir_.file("shot.png"));
  ASSERT_GT(bytes.size(), 33u);
  EXPECT_EQ(bytes.substr(1, 3), "PNG");
  EXPECT_EQ(bytes[24], 8);  // bit depth
  EXPECT_EQ(bytes[25], 2);  // colour type RGB
  EXPECT_EQ(bytes[28], 0);  // no interlacing
  boost::gil::rgb8_image_t image;
  boost::gil::read_image(dir_.file("shot.png"), image, boost::gil::png_tag());
  ASSERT_EQ(image.width(), 5);
  ASSERT_EQ(image.height(), 3);
  const auto view = boost::gil::const_view(image);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      const auto p = view(x, y);
      EXPECT_EQ((Rgb{p[0], p[1], p[2]}), (Rgb{static_cast<std::uint8_t>(x * 40), static_cast<std::uint8_t>(y * 50), 7}))
          << x << "," << y;
    }
}

// A file that cannot be opened fails with the writer's message; nothing is
// left behind.
TEST_F(ImageFiles, UnopenableFilesFail) {
  const Bitmap b = gradient(2, 2, 32);
  try {
    write_png(Path("no such folder/shot.png"), b);
    ADD_FAILURE() << "wrote into a missing folder";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Unable to open file for writing");
  }
  EXPECT_THROW(write_bmp(Path("no such folder/shot.bmp"), b), std::runtime_error);
  EXPECT_THROW(write_bmp(Path(""), b), std::runtime_error);
}

// write_bmp writes exactly bmp_bytes, replacing an older file.
TEST_F(ImageFiles, BmpFileIsTheBytes) {
  const Bitmap b = gradient(3, 2, 32);
  quorvane_test::write_file(dir_.file("shot.bmp"), std::string(500, 'x'));
  write_bmp(Path("shot.bmp"), b);
  const std::vector<std::uint8_t> expected = bmp_bytes(b);
  EXPECT_EQ(quorvane_test::read_file(dir_.file("shot.bmp")), std::string(expected.begin(), expected.end()));
}

}  // namespace
