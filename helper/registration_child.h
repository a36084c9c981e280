// One registration child of install and uninstall mode (the registration
// tool on a module, the proxy server with /RegServer): started from its
// Windows command line, split with the Windows rules, and waited for.
#ifndef QUORVANE_HELPER_REGISTRATION_CHILD_H_
#define QUORVANE_HELPER_REGISTRATION_CHILD_H_

#include <chrono>
#include <string>

namespace Tavrin::Helper {

// How long a registration child may take before it counts as failed.
constexpr std::chrono::milliseconds kRegistrationChildTimeout{60000};

// Starts `command_line` with its output discarded and waits for it at most
// `timeout`. True when it ended with exit code 0; false when it failed or
// was still running then (it is ended). Throws
// boost::system::system_error (errno) when it cannot be started.
bool run_registration_child(const std::wstring& command_line,
                            std::chrono::milliseconds timeout = kRegistrationChildTimeout);

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_REGISTRATION_CHILD_H_
