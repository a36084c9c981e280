// BMP files of screenshots, written directly, and the image file that both
// writers fill.
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/text.h"
#include "runtime/screen_image.h"

namespace Tavrin::Runtime {
namespace {

constexpr std::uint32_t kHeadersSize = 14 + 40;

void put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// A row as the file holds it: 5-6-5 words become 5-5-5 (green loses its
// lowest bit), other depths stay as they are.
void append_row(std::vector<std::uint8_t>& out, const Platform::Screen::Bitmap& bitmap, int y) {
  const std::uint8_t* row = bitmap.row(y);
  const std::size_t start = out.size();
  out.insert(out.end(), row, row + bitmap.stride());
  if (bitmap.bits_per_pixel != 16) return;
  for (int x = 0; x < bitmap.width; ++x) {
    std::uint8_t* p = out.data() + start + static_cast<std::size_t>(x) * 2;
    const unsigned word = p[0] | p[1] << 8;
    const unsigned rgb555 = (word >> 11 & 0x1F) << 10 | (word >> 6 & 0x1F) << 5 | (word & 0x1F);
    p[0] = static_cast<std::uint8_t>(rgb555);
    p[1] = static_cast<std::uint8_t>(rgb555 >> 8);
  }
}

}  // namespace

std::vector<std::uint8_t> bmp_bytes(const Platform::Screen::Bitmap& bitmap) {
  const auto data_size = static_cast<std::uint32_t>(bitmap.stride() * static_cast<std::size_t>(bitmap.height));
  std::vector<std::uint8_t> out;
  out.reserve(kHeadersSize + data_size);
  put16(out, 0x4D42);  // "BM"
  put32(out, kHeadersSize + data_size);
  put16(out, 0);
  put16(out, 0);
  put32(out, kHeadersSize);
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(bitmap.width));
  put32(out, static_cast<std::uint32_t>(bitmap.height));
  put16(out, static_cast<std::uint32_t>(bitmap.planes));
  put16(out, static_cast<std::uint32_t>(bitmap.bits_per_pixel));
  for (int i = 0; i < 6; ++i) put32(out, 0);  // compression, image size, resolutions, colours
  for (int y = bitmap.height - 1; y >= 0; --y) append_row(out, bitmap, y);
  return out;
}

void write_bmp(const std::wstring& path, const Platform::Screen::Bitmap& bitmap) {
  ImageFile file(path, "Unable to create the screenshot file");
  const std::vector<std::uint8_t> bytes = bmp_bytes(bitmap);
  file.Commit(bytes.data(), bytes.size());
}

ImageFile::ImageFile(const std::wstring& path, const char* open_failure)
    : path_(Platform::to_utf8(path)), file_(std::fopen(path_.c_str(), "wb")) {
  if (!file_) throw std::runtime_error(open_failure);
}

ImageFile::~ImageFile() {
  if (!file_) return;
  std::fclose(file_);
  std::remove(path_.c_str());
}

void ImageFile::Commit(const void* bytes, std::size_t size) {
  const bool written = std::fwrite(bytes, 1, size, file_) == size;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!written || !closed) {
    std::remove(path_.c_str());
    throw std::runtime_error("Unable to write the screenshot file");
  }
}

}  // namespace Tavrin::Runtime
