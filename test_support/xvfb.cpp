#include "test_support/xvfb.h"

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

// After gtest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>

namespace quorvane_test {

bool Xvfb::installed() { return ::access(Tavrin::Platform::PrivateDisplay::kServer, X_OK) == 0; }

Xvfb::Xvfb(int width, int height, int depth) {
  try {
    server_.emplace(width, height, depth);
    display_ = server_->name();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "Xvfb did not come up: " << e.what();
  }
}

Xvfb::~Xvfb() = default;

void paint_root(const std::string& display_name, unsigned long background, const Rect& rect,
                unsigned long foreground) {
  Display* display = XOpenDisplay(display_name.c_str());
  ASSERT_NE(display, nullptr) << "cannot open " << display_name;
  const Window root = DefaultRootWindow(display);
  XSetWindowBackground(display, root, background);
  XClearWindow(display, root);
  GC gc = XCreateGC(display, root, 0, nullptr);
  XSetForeground(display, gc, foreground);
  XFillRectangle(display, root, gc, rect.x, rect.y, static_cast<unsigned>(rect.width),
                 static_cast<unsigned>(rect.height));
  XFreeGC(display, gc);
  XSync(display, False);
  XCloseDisplay(display);
}

}  // namespace quorvane_test
