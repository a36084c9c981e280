// The image files of screenshots: a captured screen bitmap (see
// platform/screen.h) written as a PNG or a BMP file.
#ifndef QUORVANE_RUNTIME_SCREEN_IMAGE_H_
#define QUORVANE_RUNTIME_SCREEN_IMAGE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/screen.h"

namespace Tavrin::Runtime {

// The red, green and blue of pixel x of a bitmap row: 32 bits B, G, R, X;
// 24 bits B, G, R; 16 bits a little-endian 5-6-5 word, each channel scaled
// by 255 / 31 or 255 / 63 (truncating). Black for other depths.
std::array<std::uint8_t, 3> rgb_of(const Platform::Screen::Bitmap& bitmap, const std::uint8_t* row, int x);

// The PNG file of `bitmap`: 8-bit RGB, no interlacing, rows top first, one
// row per call of the encoder. The file is opened before the image is
// encoded. Throws std::runtime_error "Unable to open file for writing" when
// it cannot be opened, and std::runtime_error when the image cannot be
// encoded or written (the partial file is removed then).
void write_png(const std::wstring& path, const Platform::Screen::Bitmap& bitmap);

// The bytes of the BMP file of `bitmap`: the 14-byte file header, the
// 40-byte information header (no compression, no colour table) and the rows
// bottom first. 16-bit rows are written as 5-5-5 words, the layout that a
// 16-bit uncompressed bitmap has for every reader.
std::vector<std::uint8_t> bmp_bytes(const Platform::Screen::Bitmap& bitmap);

// Writes bmp_bytes(bitmap) to `path`, replacing the file. Throws
// std::runtime_error when the file cannot be created or written (the
// partial file is removed then).
void write_bmp(const std::wstring& path, const Platform::Screen::Bitmap& bitmap);

// An image file being written: opened (created or truncated) at once,
// removed again unless Commit succeeds. Throws std::runtime_error
// `open_failure` when the file cannot be opened.
class ImageFile {
 public:
  ImageFile(const std::wstring& path, const char* open_failure);
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  // Writes `bytes` and closes the file. Throws std::runtime_error when the
  // bytes cannot be written or the file cannot be closed.
  void Commit(const void* bytes, std::size_t size);

 private:
  std::string path_;
  std::FILE* file_;
};

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_SCREEN_IMAGE_H_
