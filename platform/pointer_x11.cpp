// The real pointer on X11: the XTest extension of $DISPLAY moves the core
// pointer and presses its buttons (see platform/pointer.h).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/pointer.h"

namespace Tavrin::Platform::Pointer {
namespace {

std::atomic<PointerDevice*> installed_device{nullptr};

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// Xlib's default error handler ends the process; while steps run, protocol
// errors are counted instead, and the run that met one fails.
std::mutex run_mutex;
int protocol_errors = 0;
int count_error(Display*, XErrorEvent*) {
  ++protocol_errors;
  return 0;
}

std::string display_name() {
  const char* name = std::getenv("DISPLAY");
  return name ? name : "";
}

// A connection of its own for each run of steps: a display that went away
// between two runs fails the next one with an error instead of leaving a
// dead connection behind.
DisplayPtr open_display() {
  const std::string name = display_name();
  if (name.empty()) throw NoPointerError("there is no display for the real pointer ($DISPLAY is unset)");
  DisplayPtr display(XOpenDisplay(name.c_str()));
  if (!display) throw NoPointerError("the display " + name + " cannot be reached for the real pointer");
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display.get(), &event_base, &error_base, &major, &minor)) {
    throw NoPointerError("the display " + name + " has no XTest extension for the real pointer");
  }
  return display;
}

void run_on(Display* display, const Step& step) {
  switch (step.kind) {
    case Step::Kind::kMove:
      XTestFakeMotionEvent(display, DefaultScreen(display), step.x, step.y, CurrentTime);
      break;
    case Step::Kind::kPress:
    case Step::Kind::kRelease:
      XTestFakeButtonEvent(display, static_cast<unsigned>(step.button), step.kind == Step::Kind::kPress,
                           CurrentTime);
      break;
    case Step::Kind::kPause:
      XSync(display, False);
      std::this_thread::sleep_for(std::chrono::milliseconds(step.ms > 0 ? step.ms : 0));
      return;
  }
}

class XTestPointer final : public PointerDevice {
 public:
  void Run(const std::vector<Step>& steps) override {
    std::lock_guard<std::mutex> lock(run_mutex);
    DisplayPtr display = open_display();
    protocol_errors = 0;
    const XErrorHandler previous = XSetErrorHandler(&count_error);
    for (const Step& step : steps) run_on(display.get(), step);
    // The server has taken every step once the round trip is back.
    XSync(display.get(), False);
    XSetErrorHandler(previous);
    if (protocol_errors) throw std::runtime_error("the display " + display_name() + " refused the pointer's input");
  }
};

}  // namespace

bool has_display() { return !display_name().empty(); }

void run_steps(const std::vector<Step>& steps) {
  if (PointerDevice* device = installed_device.load()) {
    device->Run(steps);
    return;
  }
  static XTestPointer real;
  real.Run(steps);
}

PointerDevice* set_pointer_device(PointerDevice* device) { return installed_device.exchange(device); }

}  // namespace Tavrin::Platform::Pointer
