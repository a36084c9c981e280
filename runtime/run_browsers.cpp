#include "runtime/run_browsers.h"

#include "platform/process.h"

namespace Tavrin::Runtime {

void RunBrowsers::Add(int pid) noexcept {
  try {
    browsers_.emplace_back(pid);
  } catch (...) {
    // Not watchable: left to end by itself.
  }
}

void RunBrowsers::EndAll(std::chrono::milliseconds grace) noexcept {
  namespace Process = Platform::Process;
  // A browser is started in a process group of its own; the whole group is
  // asked, so the helpers a browser started go too.
  for (auto& browser : browsers_)
    if (!browser.Ended()) Process::ask_process_to_end(browser.group(), true);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  for (auto& browser : browsers_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!browser.WaitForExit(std::max(left, std::chrono::milliseconds(0)))) Process::kill_process(browser.group(), true);
  }
  browsers_.clear();
}

}  // namespace Tavrin::Runtime
