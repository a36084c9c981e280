// The command line of the proxy server program QuorvaneProxy. Switches
// begin with "/" or "-" and are compared without regard to case:
//
//   /RegServer            register the server's class, then end
//   /UnregServer          remove the registration, then end
//   /Embedding            started by the component system: serve
//   /StartupGrace:<ms>    length of the start-up grace (default 10000)
//   /Port:<n>             listen on port n instead of "proxy"/"port"
//                         (0: any free port)
//   /Config:<path>        read this file instead of config.xml beside the
//                         program
//
// Without /RegServer or /UnregServer the program serves.
#ifndef QUORVANE_PROXY_PROXY_COMMAND_LINE_H_
#define QUORVANE_PROXY_PROXY_COMMAND_LINE_H_

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Tavrin::Proxy {

struct ProxyCommandLine {
  enum class Mode { kServe, kRegister, kUnregister };
  Mode mode = Mode::kServe;
  std::chrono::milliseconds grace{10000};
  std::optional<std::uint16_t> port;
  std::optional<std::string> config;
};

// The meaning of `arguments` (without the program's name); std::nullopt
// for an unknown switch, a grace that is no non-negative number, or both
// /RegServer and /UnregServer.
std::optional<ProxyCommandLine> parse_proxy_command_line(const std::vector<std::string>& arguments);

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PROXY_COMMAND_LINE_H_
