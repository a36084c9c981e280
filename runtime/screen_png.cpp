// PNG files of screenshots, encoded by Boost.GIL's PNG writer on libpng.
#include <sstream>
#include <stdexcept>

#include <boost/gil.hpp>
#include <boost/gil/extension/io/png.hpp>
#include <zlib.h>

#include "runtime/screen_image.h"

namespace Tavrin::Runtime {

std::array<std::uint8_t, 3> rgb_of(const Platform::Screen::Bitmap& bitmap, const std::uint8_t* row, int x) {
  switch (bitmap.bits_per_pixel) {
    case 32: {
      const std::uint8_t* p = row + x * 4;
      return {p[2], p[1], p[0]};
    }
    case 24: {
      const std::uint8_t* p = row + x * 3;
      return {p[2], p[1], p[0]};
    }
    case 16: {
      const unsigned word = row[x * 2] | row[x * 2 + 1] << 8;
      return {static_cast<std::uint8_t>((word >> 11 & 0x1F) * 255 / 31),
              static_cast<std::uint8_t>((word >> 5 & 0x3F) * 255 / 63),
              static_cast<std::uint8_t>((word & 0x1F) * 255 / 31)};
    }
    default:
      return {0, 0, 0};
  }
}

void write_png(const std::wstring& path, const Platform::Screen::Bitmap& bitmap) {
  ImageFile file(path, "Unable to open file for writing");
  boost::gil::rgb8_image_t image(bitmap.width, bitmap.height);
  const auto view = boost::gil::view(image);
  for (int y = 0; y < bitmap.height; ++y) {
    const std::uint8_t* row = bitmap.row(y);
    auto out = view.row_begin(y);
    for (int x = 0; x < bitmap.width; ++x) {
      const auto rgb = rgb_of(bitmap, row, x);
      out[x] = boost::gil::rgb8_pixel_t(rgb[0], rgb[1], rgb[2]);
    }
  }
  // libpng's own defaults; GIL's (a 512-byte window) make large screens
  // several times slower to encode and larger.
  const boost::gil::image_write_info<boost::gil::png_tag> settings(PNG_COMPRESSION_TYPE_BASE, Z_DEFAULT_COMPRESSION,
                                                                   8, Z_FILTERED, 15);
  std::ostringstream encoded;
  boost::gil::write_view(encoded, boost::gil::const_view(image), settings);
  const std::string bytes = encoded.str();
  file.Commit(bytes.data(), bytes.size());
}

}  // namespace Tavrin::Runtime
