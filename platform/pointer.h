// The real pointer of the screen: moves it and presses its buttons as a
// user's mouse does (SetCursorPos and SendInput with mouse input), so
// that the windows under it see the input as a user's and act on it by
// themselves (hover states, native sliders, native drag and drop).
//
// Here the screen is the X11 display named by $DISPLAY, driven through
// the XTest extension; coordinates are the root window's pixels. Without a
// display there is no pointer: every call throws NoPointerError, which
// names what is missing.
//
// Tests can replace the device (set_pointer_device) with a fake that
// records what it was asked, or one that fails.
//
// Thread safety: the functions may be called from any thread; one call
// at a time reaches the device. Replace the device while no call runs.
#ifndef QUORVANE_PLATFORM_POINTER_H_
#define QUORVANE_PLATFORM_POINTER_H_

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/export.h"

namespace Tavrin::Platform::Pointer {

// There is no pointer to drive: no display, one that cannot be reached, or
// one without the input extension. The text says which.
class QUORVANE_PLATFORM_EXPORT NoPointerError : public std::runtime_error {
 public:
  explicit NoPointerError(const std::string& why) : std::runtime_error(why) {}
};

// One thing the pointer does. Buttons: 1 left, 2 middle, 3 right.
struct Step {
  enum class Kind { kMove, kPress, kRelease, kPause };
  Kind kind = Kind::kMove;
  int x = 0;       // kMove: the screen point
  int y = 0;
  int button = 1;  // kPress, kRelease
  int ms = 0;      // kPause: how long
};

// The device a run of steps goes through.
class QUORVANE_PLATFORM_EXPORT PointerDevice {
 public:
  virtual ~PointerDevice() = default;
  // Does `steps` in order, and returns once the display has taken them.
  // Throws NoPointerError when there is no pointer, std::runtime_error
  // when the display fails on the way.
  virtual void Run(const std::vector<Step>& steps) = 0;
};

// Whether the process has a display whose pointer the steps could move
// ($DISPLAY names one); says nothing about whether it can be reached.
QUORVANE_PLATFORM_EXPORT bool has_display();

// Does `steps` on the device (the display's real pointer unless replaced).
QUORVANE_PLATFORM_EXPORT void run_steps(const std::vector<Step>& steps);

// Replaces the device for the whole process; nullptr restores the real
// one. Returns the previous device (nullptr for the real one). The caller
// keeps ownership of `device`.
QUORVANE_PLATFORM_EXPORT PointerDevice* set_pointer_device(PointerDevice* device);

}  // namespace Tavrin::Platform::Pointer

#endif  // QUORVANE_PLATFORM_POINTER_H_
