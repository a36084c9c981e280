// A run's screen, started when something first needs one. A run without a
// display ($DISPLAY unset) whose browsers may open windows makes one
// DisplayOnDemand for its whole length; it starts nothing yet. The first
// need_display() (a browser about to start with a window, a screenshot)
// starts the run's private display (private_display.h) and names it in
// $DISPLAY for the run and every program the run starts from then on. A
// run that never needs a screen starts no server and pays nothing for one.
//
// A server that cannot be started is tried once; the run then goes on
// without a screen (browsers headless, screenshots failing), as it would
// on a machine without Xvfb.
//
// Thread safety: need_display may be called from any thread, at the same
// time; the server ends with the thread that started it (see
// Process::StartOptions::end_with_starter), so it is best needed from the
// run's main thread, which is where scripts run.
#ifndef QUORVANE_PLATFORM_DISPLAY_ON_DEMAND_H_
#define QUORVANE_PLATFORM_DISPLAY_ON_DEMAND_H_

#include <memory>
#include <mutex>
#include <string>

#include "platform/export.h"
#include "platform/private_display.h"

namespace Tavrin::Platform {

class QUORVANE_PLATFORM_EXPORT DisplayOnDemand {
 public:
  // The screen to make when needed: `width` x `height`. From now on this
  // object answers need_display() for the process; one at a time.
  DisplayOnDemand(int width, int height);
  // Ends the server if it was started; need_display() does nothing after.
  ~DisplayOnDemand();
  DisplayOnDemand(const DisplayOnDemand&) = delete;
  DisplayOnDemand& operator=(const DisplayOnDemand&) = delete;

  // Starts the display unless it runs or failed before; true when there is
  // one.
  bool Need();
  // ":N" once the display runs; empty before.
  std::string name() const;
  // The server's process id once it runs; -1 before.
  int server_pid() const;

 private:
  const int width_;
  const int height_;
  mutable std::mutex mutex_;
  std::unique_ptr<PrivateDisplay> display_;
  bool tried_ = false;
};

// Called before anything that needs a screen: the process's
// DisplayOnDemand starts its display. Nothing when there is none (a
// display was there from the start, or browsers are to be headless).
QUORVANE_PLATFORM_EXPORT void need_display();

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_DISPLAY_ON_DEMAND_H_
