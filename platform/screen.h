// The screen: the stand-in for the screen's device context, the size of the
// virtual screen, a bitmap compatible with the screen, the copy of the
// screen into it and the read-back of its pixel rows (GetWindowDC of no
// window, GetSystemMetrics, CreateCompatibleBitmap, BitBlt, GetDIBits).
//
// Here the screen is the X11 display named by $DISPLAY: its default
// screen's root window, which covers the whole virtual screen. Without a
// display there is no screen.
//
// The pixels come back as a device-independent bitmap in the screen's own
// colour depth, converted from the visual's colour masks:
//   32 bits: bytes blue, green, red, unused
//   24 bits: bytes blue, green, red
//   16 bits: a little-endian word, red in bits 15-11, green 10-5, blue 4-0
// Each row is padded to a whole number of 32-bit words, rows top first.
// A screen of another depth, or with a colour map instead of colour masks,
// is captured at 32 bits.
//
// Tests can replace the screen (set_screen_source) with a fake of known
// pixels or one that fails.
//
// Thread safety: capture_screen may be called from any thread; the source
// should be replaced while no capture runs.
#ifndef QUORVANE_PLATFORM_SCREEN_H_
#define QUORVANE_PLATFORM_SCREEN_H_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "platform/export.h"

namespace Tavrin::Platform::Screen {

struct Bitmap {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 32;  // 16, 24 or 32
  int planes = 1;
  std::vector<std::uint8_t> pixels;  // height rows of stride() bytes, top row first

  // Bytes per row: width * bits_per_pixel bits, rounded up to 4 bytes.
  std::size_t stride() const {
    return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bits_per_pixel) + 31) / 32) * 4;
  }
  const std::uint8_t* row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * stride(); }
};

// There is no screen to capture (no display, or it cannot be reached).
class QUORVANE_PLATFORM_EXPORT NoScreenError : public std::runtime_error {
 public:
  NoScreenError() : std::runtime_error("Unable to retrieve Desktop Context") {}
};

// Copies the whole screen. Throws NoScreenError without a screen, and
// std::runtime_error when the copy fails (the screen went away, or its
// pixels cannot be read).
QUORVANE_PLATFORM_EXPORT Bitmap capture_screen();

// The seam: what capture_screen goes through.
class QUORVANE_PLATFORM_EXPORT ScreenSource {
 public:
  virtual ~ScreenSource() = default;
  virtual Bitmap Capture() = 0;
};

// Replaces the screen for the whole process; nullptr restores the real one.
// Returns the previous source (nullptr for the real one). The caller keeps
// ownership of `source`.
QUORVANE_PLATFORM_EXPORT ScreenSource* set_screen_source(ScreenSource* source);

}  // namespace Tavrin::Platform::Screen

#endif  // QUORVANE_PLATFORM_SCREEN_H_
