#include "test_support/xvfb.h"

#include <unistd.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "platform/process_watch.h"

// After gtest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>

namespace quorvane_test {

namespace Process = Tavrin::Platform::Process;

bool Xvfb::installed() { return ::access(kProgram, X_OK) == 0; }

Xvfb::Xvfb(int width, int height, int depth) {
  Process::StartOptions options;
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  options.arguments = {kProgram, "-displayfd", "1", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
  options.output = Process::StartOptions::Output::kCapture;
  options.error_file = "/dev/null";
  try {
    server_.emplace(Process::start(options));
  } catch (const std::exception& e) {
    ADD_FAILURE() << "Xvfb could not be started: " << e.what();
    return;
  }
  // It writes its display number once it takes clients.
  const std::optional<std::string> number = server_->ReadLine(std::chrono::seconds(20));
  if (!number || number->empty()) {
    ADD_FAILURE() << "Xvfb did not come up";
    return;
  }
  display_ = ":" + *number;
}

Xvfb::~Xvfb() {
  if (!server_) return;
  Process::ask_process_to_end(server_->pid());
  if (!server_->WaitFor(std::chrono::seconds(5))) server_->Kill();
}

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
