// Page commands that move the pointer or press its button, done with the
// screen's real pointer where the run has a display, so that the browser
// hit-tests, hovers, slides and drags as for a user and its events are
// trusted (see proxy/pages/pointer_protocol.h for the exchange).
//
// Why the runtime object does it, inside Remote, and not the support
// scripts through a method of their own: the run's display belongs to
// this process (the runner starts it on demand and names it in $DISPLAY),
// the page knows where its elements are and the runtime object carries
// every command, so the exchange stays one call for the scripts, the
// object's interface stays as it is, and the screen is reached only
// through Platform::Pointer. Without a display every command goes as it
// is, and the page acts it out with its own events.
#ifndef QUORVANE_RUNTIME_REAL_POINTER_H_
#define QUORVANE_RUNTIME_REAL_POINTER_H_

#include <functional>
#include <string>

namespace Tavrin::Runtime {

// Sends one command to the proxy and returns its answer's text; throws
// when the proxy fails.
using RemoteSend = std::function<std::string(const std::string& command)>;

// Sends `command` through `send`. A command that moves the pointer, while
// the process has a display, goes as one the page answers with steps; the
// steps are done on the real pointer and the page told so, round after
// round, and the exchange's answer comes back as the command's. A pointer
// that cannot be driven is told to the page, which then acts the command
// out with its own events.
std::string send_page_command(const std::string& command, const RemoteSend& send);

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_REAL_POINTER_H_
