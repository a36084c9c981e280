// The screen on X11: the root window of $DISPLAY's default screen, read
// with XGetImage and converted into DIB rows (see platform/screen.h).
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <bit>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/screen.h"

namespace Tavrin::Platform::Screen {
namespace {

std::atomic<ScreenSource*> installed_source{nullptr};

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
struct ImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;
using ImagePtr = std::unique_ptr<XImage, ImageDestroyer>;

// Xlib's default error handler ends the process; while a capture runs,
// protocol errors are counted instead, and the call that met one fails.
std::mutex error_handler_mutex;
int protocol_errors = 0;
int count_error(Display*, XErrorEvent*) {
  ++protocol_errors;
  return 0;
}

class ErrorTrap {
 public:
  ErrorTrap() : lock_(error_handler_mutex), previous_(XSetErrorHandler(&count_error)) { protocol_errors = 0; }
  ~ErrorTrap() { XSetErrorHandler(previous_); }
  bool failed() const { return protocol_errors != 0; }

 private:
  std::lock_guard<std::mutex> lock_;
  XErrorHandler previous_;
};

// One colour channel of a visual: its mask, where it starts, how wide it is.
struct Channel {
  unsigned long mask = 0;
  int shift = 0;
  int bits = 0;

  explicit Channel(unsigned long m)
      : mask(m), shift(m ? std::countr_zero(m) : 0), bits(std::popcount(m)) {}
  // The channel of `pixel` scaled to `to_bits` bits (truncating).
  unsigned scaled(unsigned long pixel, int to_bits) const {
    if (bits == 0) return 0;
    const unsigned long value = (pixel & mask) >> shift;
    if (bits == to_bits) return static_cast<unsigned>(value);
    const unsigned long from_max = (1ul << bits) - 1;
    const unsigned long to_max = (1ul << to_bits) - 1;
    return static_cast<unsigned>(value * to_max / from_max);
  }
};

struct Rgb {
  std::uint8_t red = 0, green = 0, blue = 0;
};

// Raw pixel values of the image, fast for whole-byte formats.
unsigned long pixel_at(const XImage& image, int x, int y) {
  const auto* p = reinterpret_cast<const unsigned char*>(image.data) + static_cast<long>(y) * image.bytes_per_line;
  const bool lsb = image.byte_order == LSBFirst;
  switch (image.bits_per_pixel) {
    case 32: p += x * 4;
      return lsb ? (p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned long>(p[3]) << 24)
                 : (p[3] | p[2] << 8 | p[1] << 16 | static_cast<unsigned long>(p[0]) << 24);
    case 24: p += x * 3;
      return lsb ? (p[0] | p[1] << 8 | p[2] << 16) : (p[2] | p[1] << 8 | p[0] << 16);
    case 16: p += x * 2;
      return lsb ? (p[0] | p[1] << 8) : (p[1] | p[0] << 8);
    default:
      return XGetPixel(const_cast<XImage*>(&image), x, y);
  }
}

// The colours of a visual without colour masks, by pixel value.
std::vector<Rgb> colour_table(Display* display, Visual* visual, Colormap colormap) {
  std::vector<XColor> colours(static_cast<std::size_t>(visual->map_entries));
  for (std::size_t i = 0; i < colours.size(); ++i) colours[i].pixel = i;
  XQueryColors(display, colormap, colours.data(), static_cast<int>(colours.size()));
  std::vector<Rgb> table(colours.size());
  for (std::size_t i = 0; i < colours.size(); ++i)
    table[i] = {static_cast<std::uint8_t>(colours[i].red >> 8), static_cast<std::uint8_t>(colours[i].green >> 8),
                static_cast<std::uint8_t>(colours[i].blue >> 8)};
  return table;
}

void put_pixel(Bitmap& bitmap, int x, int y, const Rgb& rgb, unsigned word565) {
  std::uint8_t* p = bitmap.pixels.data() + static_cast<std::size_t>(y) * bitmap.stride();
  switch (bitmap.bits_per_pixel) {
    case 16:
      p[x * 2] = static_cast<std::uint8_t>(word565 & 0xFF);
      p[x * 2 + 1] = static_cast<std::uint8_t>(word565 >> 8);
      break;
    case 24:
      p[x * 3] = rgb.blue, p[x * 3 + 1] = rgb.green, p[x * 3 + 2] = rgb.red;
      break;
    default:
      p[x * 4] = rgb.blue, p[x * 4 + 1] = rgb.green, p[x * 4 + 2] = rgb.red, p[x * 4 + 3] = 0;
  }
}

Bitmap convert(Display* display, int screen, const XImage& image) {
  Visual* visual = DefaultVisual(display, screen);
  const bool masked = visual->c_class == TrueColor || visual->c_class == DirectColor;
  Bitmap bitmap;
  bitmap.width = image.width;
  bitmap.height = image.height;
  bitmap.bits_per_pixel = masked && (image.bits_per_pixel == 16 || image.bits_per_pixel == 24) ? image.bits_per_pixel : 32;
  bitmap.pixels.assign(bitmap.stride() * static_cast<std::size_t>(bitmap.height), 0);

  const Channel red(visual->red_mask), green(visual->green_mask), blue(visual->blue_mask);
  const std::vector<Rgb> table = masked ? std::vector<Rgb>() : colour_table(display, visual, DefaultColormap(display, screen));
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const unsigned long pixel = pixel_at(image, x, y);
      Rgb rgb;
      unsigned word565 = 0;
      if (masked) {
        rgb = {static_cast<std::uint8_t>(red.scaled(pixel, 8)), static_cast<std::uint8_t>(green.scaled(pixel, 8)),
               static_cast<std::uint8_t>(blue.scaled(pixel, 8))};
        word565 = red.scaled(pixel, 5) << 11 | green.scaled(pixel, 6) << 5 | blue.scaled(pixel, 5);
      } else if (pixel < table.size()) {
        rgb = table[pixel];
      }
      put_pixel(bitmap, x, y, rgb, word565);
    }
  }
  return bitmap;
}

Bitmap capture_x11() {
  DisplayPtr display(XOpenDisplay(nullptr));
  if (!display) throw NoScreenError();
  const int screen = DefaultScreen(display.get());
  const Window root = RootWindow(display.get(), screen);
  const int width = DisplayWidth(display.get(), screen);
  const int height = DisplayHeight(display.get(), screen);
  ImagePtr image;
  {
    ErrorTrap trap;
    image.reset(XGetImage(display.get(), root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                          AllPlanes, ZPixmap));
    XSync(display.get(), False);
    if (!image || trap.failed()) throw std::runtime_error("Unable to read the screen's pixels");
  }
  return convert(display.get(), screen, *image);
}

}  // namespace

Bitmap capture_screen() {
  if (ScreenSource* source = installed_source.load()) return source->Capture();
  return capture_x11();
}

ScreenSource* set_screen_source(ScreenSource* source) { return installed_source.exchange(source); }

}  // namespace Tavrin::Platform::Screen
