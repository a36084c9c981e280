// A screen of a run's own where the machine has none (CI): a virtual X
// server (Xvfb) on a display number that it picks itself among the free
// ones, so runs at the same time never share one. The server ends when
// the object goes, and also when the process that started it ends in any
// way (killed included), so none is left behind. On Windows a run always
// has the desktop; this has no counterpart there.
//
// Thread safety: one owner; Start may be called from any thread.
#ifndef QUORVANE_PLATFORM_PRIVATE_DISPLAY_H_
#define QUORVANE_PLATFORM_PRIVATE_DISPLAY_H_

#include <memory>
#include <string>

#include "platform/export.h"
#include "platform/process.h"

namespace Tavrin::Platform {

class QUORVANE_PLATFORM_EXPORT PrivateDisplay {
 public:
  // The virtual X server program.
  static constexpr const char* kServer = "/usr/bin/Xvfb";

  // Starts a server with one screen of `width` x `height` at `depth` bits
  // and waits (at most 10 s) until it takes clients. The screen keeps what
  // was drawn on it when its last client goes. Throws
  // boost::system::system_error: ENOENT when the server is not installed,
  // ETIMEDOUT when it does not come up.
  PrivateDisplay(int width, int height, int depth = 24);
  ~PrivateDisplay();
  PrivateDisplay(const PrivateDisplay&) = delete;
  PrivateDisplay& operator=(const PrivateDisplay&) = delete;

  // The display name for $DISPLAY, ":N".
  const std::string& name() const { return name_; }
  int server_pid() const;

 private:
  std::unique_ptr<Process::Child> server_;
  std::string name_;
};

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_PRIVATE_DISPLAY_H_
