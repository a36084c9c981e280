// The browsers that one run opened, so that they end with the run.
//
// Each browser is watched from the moment it was started, so a later
// process that reuses its number is never touched. EndAll asks every
// browser (its whole process group: a browser is started in a session of
// its own) to close, waits a bounded time, and ends those still running.
// The browser launcher closes its browser and removes the browser's profile
// when asked to close.
//
// Not thread-safe: owned by the runtime object, used on its thread.
#ifndef QUORVANE_RUNTIME_RUN_BROWSERS_H_
#define QUORVANE_RUNTIME_RUN_BROWSERS_H_

#include <chrono>
#include <vector>

#include "platform/process_watch.h"

namespace Tavrin::Runtime {

class RunBrowsers {
 public:
  RunBrowsers() = default;
  RunBrowsers(const RunBrowsers&) = delete;
  RunBrowsers& operator=(const RunBrowsers&) = delete;

  // Records the browser started as process `pid`. Never throws: a browser
  // that cannot be watched is not recorded.
  void Add(int pid) noexcept;
  // Closes every recorded browser: asks each to close, waits up to `grace`
  // for all of them together, then ends the rest at once. Forgets them all.
  void EndAll(std::chrono::milliseconds grace = std::chrono::seconds(10)) noexcept;
  std::size_t size() const { return browsers_.size(); }

 private:
  std::vector<Platform::Process::ProcessWatch> browsers_;
};

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_RUN_BROWSERS_H_
