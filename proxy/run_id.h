// What may name a run: the runner makes or inherits the name, the proxy
// checks it before giving the run a port, so both hold to one rule.
#ifndef QUORVANE_PROXY_RUN_ID_H_
#define QUORVANE_PROXY_RUN_ID_H_

#include <string_view>

namespace Tavrin::Proxy {

// 1 to 64 characters, each a letter, digit, '-', '_' or '.'.
inline bool is_run_id(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  for (const char c : text) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                         c == '_' || c == '.';
    if (!allowed) return false;
  }
  return true;
}

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_RUN_ID_H_
