// One launch of QuorvaneBrowser: make the throwaway profile, start the
// browser in a process group of its own, wait until it ends, is asked to
// close, or the run that opened it has ended, then close it and remove the
// profile.
#ifndef QUORVANE_BROWSER_LAUNCHER_H_
#define QUORVANE_BROWSER_LAUNCHER_H_

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

#include "browser/launch_plan.h"

namespace Tavrin::Browser {

struct LauncherOptions {
  LaunchSettings settings;  // `profile` is filled in by run_launcher
  // The local proxy's authority certificate to trust (proxy_authority.h);
  // empty for none.
  std::string authority_file;
  // The run's process: the browser is closed once it has ended.
  std::optional<int> owner;
  // Set (from another thread) to close the browser.
  const std::atomic<bool>* stop = nullptr;
  // How long a browser asked to close may take before it is ended.
  std::chrono::milliseconds grace = std::chrono::seconds(5);
  // How often the owner and `stop` are looked at.
  std::chrono::milliseconds poll = std::chrono::milliseconds(100);
};

// Runs one launch to its end. Returns 0 when the browser ran, 1 when it
// could not be started (with a message on standard error). The profile is
// gone when this returns.
int run_launcher(LauncherOptions options);

}  // namespace Tavrin::Browser

#endif  // QUORVANE_BROWSER_LAUNCHER_H_
