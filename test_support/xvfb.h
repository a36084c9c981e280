// A private X server for the tests that need a screen: the programs' own
// (platform/private_display.h) with one screen of a chosen size and depth,
// stopped and reaped when the object goes, its failure to start a test
// failure. Tests skip (GTEST_SKIP) only when Xvfb is not installed.
#ifndef QUORVANE_TEST_SUPPORT_XVFB_H_
#define QUORVANE_TEST_SUPPORT_XVFB_H_

#include <optional>
#include <string>

#include "platform/private_display.h"

namespace quorvane_test {

class Xvfb {
 public:
  static bool installed();

  // Starts the server and waits until it accepts clients. Fails the test
  // when it does not come up; running() says so.
  Xvfb(int width, int height, int depth);
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool running() const { return server_.has_value(); }
  // The display name, ":N"; empty when the server did not start.
  const std::string& display() const { return display_; }

 private:
  std::optional<Tavrin::Platform::PrivateDisplay> server_;
  std::string display_;
};

// A rectangle of the screen, in pixels.
struct Rect {
  int x, y, width, height;
};

// Paints the root window of `display` with the pixel value `background`
// and fills `rect` with the pixel value `foreground` (raw pixel values of
// the screen's visual), and waits until the server has done it.
void paint_root(const std::string& display, unsigned long background, const Rect& rect, unsigned long foreground);

}  // namespace quorvane_test

#endif  // QUORVANE_TEST_SUPPORT_XVFB_H_
