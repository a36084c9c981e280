// Watching and ending processes that are not our children: what the
// browser launcher and the runtime object need to tie a browser's life to a
// run. The stand-in for OpenProcess + WaitForSingleObject on a process
// handle, and for asking a program to close (WM_CLOSE) before ending it.
//
// A ProcessWatch holds a handle on one process (a pidfd here), so the
// process it watches cannot be confused with a later one that reuses its
// number. Move-only. Thread safety: a watch is owned by one thread at a
// time; the free functions may be called from any thread.
#ifndef QUORVANE_PLATFORM_PROCESS_WATCH_H_
#define QUORVANE_PLATFORM_PROCESS_WATCH_H_

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "platform/export.h"

namespace Tavrin::Platform::Process {

class QUORVANE_PLATFORM_EXPORT ProcessWatch {
 public:
  // Watches process `pid`. A process that has already ended (or never
  // existed) gives a watch that reports it ended. Throws
  // boost::system::system_error when the system cannot make the handle.
  explicit ProcessWatch(int pid);
  ProcessWatch(ProcessWatch&& other) noexcept;
  ProcessWatch& operator=(ProcessWatch&& other) noexcept;
  ProcessWatch(const ProcessWatch&) = delete;
  ProcessWatch& operator=(const ProcessWatch&) = delete;
  ~ProcessWatch();

  int pid() const { return pid_; }
  // The process group the process was in when the watch was made; -1 when
  // it had ended by then.
  int group() const { return group_; }
  // Whether the process has ended (a zombie counts as ended), waiting at
  // most `timeout` for it.
  bool WaitForExit(std::chrono::milliseconds timeout);
  bool Ended() { return WaitForExit(std::chrono::milliseconds(0)); }

 private:
  int pid_ = -1;
  int group_ = -1;
  int fd_ = -1;  // -1: the process had ended when the watch was made
};

// Asks process `pid` (with `group`, its whole process group) to close, the
// way a window is asked to close: SIGTERM. False when there is no such
// process or it may not be signalled.
QUORVANE_PLATFORM_EXPORT bool ask_process_to_end(int pid, bool group = false);

// Whether any process of process group `group` still exists.
QUORVANE_PLATFORM_EXPORT bool process_group_exists(int group);

// The calling process's id (GetCurrentProcessId).
QUORVANE_PLATFORM_EXPORT int current_process_id();

// Whether the calling process runs with the administrator's rights (root).
QUORVANE_PLATFORM_EXPORT bool current_process_elevated();

// The calling process's environment ("NAME=value" each) with `name` set to
// `value`, replacing an earlier value: what a child is given to inherit the
// caller's environment plus one variable.
QUORVANE_PLATFORM_EXPORT std::vector<std::string> environment_with(const std::string& name,
                                                                   const std::string& value);

// The same with each of `variables` (name, value) set.
QUORVANE_PLATFORM_EXPORT std::vector<std::string> environment_with(
    const std::vector<std::pair<std::string, std::string>>& variables);

// Sets `name` to `value` in the calling process's own environment, so that
// every child it starts from now on inherits it. Throws
// boost::system::system_error when the name is not a valid one.
QUORVANE_PLATFORM_EXPORT void set_own_environment(const std::string& name, const std::string& value);

}  // namespace Tavrin::Platform::Process

#endif  // QUORVANE_PLATFORM_PROCESS_WATCH_H_
