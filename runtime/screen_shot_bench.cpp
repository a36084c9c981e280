// Prints how long a screenshot of a 1920 x 1080 screen takes on a private
// Xvfb at 24 and 16 bits: the capture, the PNG file and the BMP file, each
// the median of 5 runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/screen.h"
#include "platform/text.h"
#include "runtime/screen_image.h"
#include "test_support/temp_dir.h"
#include "test_support/xvfb.h"

namespace {

using Clock = std::chrono::steady_clock;

double median_ms(const std::function<void()>& work) {
  std::vector<double> times;
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[2];
}

}  // namespace

int main() {
  if (!quorvane_test::Xvfb::installed()) {
    std::printf("Xvfb is not installed\n");
    return 1;
  }
  quorvane_test::TempDir dir;
  const std::wstring png = Tavrin::Platform::from_utf8(dir.file("shot.png"));
  const std::wstring bmp = Tavrin::Platform::from_utf8(dir.file("shot.bmp"));
  std::printf("screenshot of 1920 x 1080, median of 5\n");
  for (int depth : {24, 16}) {
    quorvane_test::Xvfb server(1920, 1080, depth);
    if (!server.running()) return 1;
    quorvane_test::paint_root(server.display(), depth == 16 ? 0x1234 : 0x123456, {100, 100, 800, 600},
                              depth == 16 ? 0xF81F : 0xFF00FF);
    ::setenv("DISPLAY", server.display().c_str(), 1);
    Tavrin::Platform::Screen::Bitmap bitmap;
    const double capture = median_ms([&] { bitmap = Tavrin::Platform::Screen::capture_screen(); });
    const double png_ms = median_ms([&] { Tavrin::Runtime::write_png(png, bitmap); });
    const double bmp_ms = median_ms([&] { Tavrin::Runtime::write_bmp(bmp, bitmap); });
    std::printf("  depth %2d: capture %7.1f ms  PNG %7.1f ms (%6zu KB)  BMP %6.1f ms (%6zu KB)\n", depth, capture,
                png_ms, static_cast<std::size_t>(std::filesystem::file_size(dir.file("shot.png")) / 1024), bmp_ms,
                static_cast<std::size_t>(std::filesystem::file_size(dir.file("shot.bmp")) / 1024));
  }
  return 0;
}
