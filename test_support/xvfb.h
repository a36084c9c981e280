// A private X server for the tests that need a screen: Xvfb on a display
// number it picks itself (-displayfd), with one screen of a chosen size and
// depth, stopped and reaped when the object goes. Tests skip (GTEST_SKIP)
// only when Xvfb is not installed.
#ifndef QUORVANE_TEST_SUPPORT_XVFB_H_
#define QUORVANE_TEST_SUPPORT_XVFB_H_

#include <optional>
#include <string>

#include "platform/process.h"

namespace quorvane_test {

class Xvfb {
 public:
  static constexpr const char* kProgram = "/usr/bin/Xvfb";
  static bool installed();

  // Starts the server and waits (at most 20 s) until it accepts clients.
  // Fails the test when it does not come up; running() says so.
  Xvfb(int width, int height, int depth);
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool running() const { return !display_.empty(); }
  // The display name, ":N"; empty when the server did not start.
  const std::string& display() const { return display_; }

 private:
  std::optional<Tavrin::Platform::Process::Child> server_;
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
