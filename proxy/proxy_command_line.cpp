#include "proxy/proxy_command_line.h"

#include <boost/algorithm/string/predicate.hpp>

#include "proxy/proxy_state.h"

namespace Tavrin::Proxy {

std::optional<ProxyCommandLine> parse_proxy_command_line(const std::vector<std::string>& arguments) {
  ProxyCommandLine result;
  result.grace = ProxyState::kDefaultGrace;
  bool registering = false, unregistering = false;
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::nullopt;
    const std::string name = argument.substr(1);
    static const std::string kGrace = "StartupGrace:";
    static const std::string kPort = "Port:";
    static const std::string kConfig = "Config:";
    if (boost::iequals(name, "RegServer")) {
      registering = true;
    } else if (boost::iequals(name, "UnregServer")) {
      unregistering = true;
    } else if (boost::iequals(name, "Embedding")) {
      // Serving is the default.
    } else if (boost::istarts_with(name, kGrace)) {
      const std::string digits = name.substr(kGrace.size());
      // Up to nine digits: more than a week is no grace any more.
      if (digits.empty() || digits.size() > 9 ||
          digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
      result.grace = std::chrono::milliseconds(std::stol(digits));
    } else if (boost::istarts_with(name, kPort)) {
      const std::string digits = name.substr(kPort.size());
      if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
          std::stol(digits) > 65535)
        return std::nullopt;
      result.port = static_cast<std::uint16_t>(std::stol(digits));
    } else if (boost::istarts_with(name, kConfig)) {
      if (name.size() == kConfig.size()) return std::nullopt;
      result.config = name.substr(kConfig.size());
    } else {
      return std::nullopt;
    }
  }
  if (registering && unregistering) return std::nullopt;
  if (registering) result.mode = ProxyCommandLine::Mode::kRegister;
  if (unregistering) result.mode = ProxyCommandLine::Mode::kUnregister;
  return result;
}

}  // namespace Tavrin::Proxy
