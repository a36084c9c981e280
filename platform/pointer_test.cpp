// The real pointer on a private Xvfb: a window of the test's own sees the
// moves and the buttons as a user's, where the steps put them; without a
// display every run fails with the reason.
#include "platform/pointer.h"

#include <X11/Xlib.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"
#include "test_support/xvfb.h"

namespace {

using Tavrin::Platform::Pointer::NoPointerError;
using Tavrin::Platform::Pointer::PointerDevice;
using Tavrin::Platform::Pointer::run_steps;
using Tavrin::Platform::Pointer::set_pointer_device;
using Tavrin::Platform::Pointer::Step;
using quorvane_test::ScopedEnv;
using quorvane_test::Xvfb;

Step move(int x, int y) { return {Step::Kind::kMove, x, y, 1, 0}; }
Step press(int button) { return {Step::Kind::kPress, 0, 0, button, 0}; }
Step release(int button) { return {Step::Kind::kRelease, 0, 0, button, 0}; }

// A window at (100, 50), 200 x 100, that listens to the pointer.
class Listener {
 public:
  explicit Listener(const std::string& name) : display_(XOpenDisplay(name.c_str())) {
    if (!display_) return;
    const Window root = DefaultRootWindow(display_);
    window_ = XCreateSimpleWindow(display_, root, 100, 50, 200, 100, 0, 0, 0);
    XSelectInput(display_, window_,
                 PointerMotionMask | ButtonPressMask | ButtonReleaseMask | EnterWindowMask | LeaveWindowMask);
    XMapWindow(display_, window_);
    XSync(display_, False);
  }
  ~Listener() {
    if (display_) XCloseDisplay(display_);
  }
  bool ok() const { return display_ != nullptr; }

  // The events that came so far, one short text each: "enter 10,20",
  // "motion 10,20", "press 3 10,20", "release 3 10,20", "leave".
  std::vector<std::string> Events() {
    XSync(display_, False);
    std::vector<std::string> seen;
    while (XPending(display_)) {
      XEvent e;
      XNextEvent(display_, &e);
      if (e.type == MotionNotify) seen.push_back("motion " + at(e.xmotion.x, e.xmotion.y));
      if (e.type == EnterNotify) seen.push_back("enter " + at(e.xcrossing.x, e.xcrossing.y));
      if (e.type == LeaveNotify) seen.push_back("leave");
      if (e.type == ButtonPress || e.type == ButtonRelease) {
        seen.push_back(std::string(e.type == ButtonPress ? "press " : "release ") + std::to_string(e.xbutton.button) +
                       " " + at(e.xbutton.x, e.xbutton.y));
      }
    }
    return seen;
  }

 private:
  static std::string at(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
  Display* display_;
  Window window_ = 0;
};

class RealPointer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
  }
};

// Into the window, a right press and release there, and out again: the
// window gets each in its own coordinates, in order, as from a mouse.
TEST_F(RealPointer, MovesAndButtonsReachTheWindowUnderThePointer) {
  Xvfb server(640, 480, 24);
  ASSERT_TRUE(server.running());
  ScopedEnv display("DISPLAY", server.display());
  Listener window(server.display());
  ASSERT_TRUE(window.ok());
  run_steps({move(5, 5)});
  EXPECT_TRUE(window.Events().empty()) << "the pointer is outside the window";
  run_steps({move(110, 60), move(150, 90), press(3), release(3), move(400, 300)});
  EXPECT_EQ(window.Events(), (std::vector<std::string>{"enter 10,10", "motion 10,10", "motion 50,40",
                                                        "press 3 50,40", "release 3 50,40", "leave"}));
}

// A press held across moves is a drag: the motion comes with the button
// down, and the release where the pointer ended.
TEST_F(RealPointer, HeldButtonDrags) {
  Xvfb server(640, 480, 24);
  ASSERT_TRUE(server.running());
  ScopedEnv display("DISPLAY", server.display());
  Listener window(server.display());
  ASSERT_TRUE(window.ok());
  run_steps({move(120, 70), press(1), {Step::Kind::kPause, 0, 0, 1, 5}, move(200, 100), release(1)});
  EXPECT_EQ(window.Events(), (std::vector<std::string>{"enter 20,20", "motion 20,20", "press 1 20,20",
                                                        "motion 100,50", "release 1 100,50"}));
}

// No display, and one nobody serves: each run fails with the reason, and
// has_display tells the first apart beforehand.
TEST_F(RealPointer, WithoutADisplayEveryRunFails) {
  {
    ScopedEnv display("DISPLAY", std::nullopt);
    EXPECT_FALSE(Tavrin::Platform::Pointer::has_display());
    try {
      run_steps({move(1, 1)});
      ADD_FAILURE() << "moved a pointer without a display";
    } catch (const NoPointerError& e) {
      EXPECT_STREQ(e.what(), "there is no display for the real pointer ($DISPLAY is unset)");
    }
  }
  ScopedEnv display("DISPLAY", ":65000");
  EXPECT_TRUE(Tavrin::Platform::Pointer::has_display());
  try {
    run_steps({move(1, 1)});
    ADD_FAILURE() << "moved the pointer of a display nobody serves";
  } catch (const NoPointerError& e) {
    EXPECT_STREQ(e.what(), "the display :65000 cannot be reached for the real pointer");
  }
}

// The seam: a device put in place gets the steps instead of the display.
TEST_F(RealPointer, ReplacedDeviceGetsTheSteps) {
  struct Recorder final : PointerDevice {
    std::vector<Step> got;
    void Run(const std::vector<Step>& steps) override { got.insert(got.end(), steps.begin(), steps.end()); }
  } recorder;
  ScopedEnv display("DISPLAY", std::nullopt);
  PointerDevice* before = set_pointer_device(&recorder);
  run_steps({move(7, 8), press(2)});
  set_pointer_device(before);
  ASSERT_EQ(recorder.got.size(), 2u);
  EXPECT_EQ(recorder.got[0].x, 7);
  EXPECT_EQ(recorder.got[1].button, 2);
  EXPECT_THROW(run_steps({move(1, 1)}), NoPointerError);
}

}  // namespace
