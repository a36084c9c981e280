// A route of a run: which requests it takes (a UrlPattern) and what the
// proxy does with them (a RouteAction), read from the JSON that a script's
// route() sends. Every fault of the input is found here, before the rule is
// added anywhere, and thrown as BadInput naming the argument and the
// fault.
//
// The action's JSON keys:
//   status, headers, body (text)      an answer made here
//   json (any value)                  the same, its body the value's JSON
//                                     text, as application/json
//   file (an absolute path)           the same, the file's bytes (read now),
//                                     its content type from the name
//   base64 (text)                     the same, the decoded bytes
//   abort "reset" | "refused" | "timeout" | "empty" | "malformed"
//   delay (ms)                        before the answer; alone, the real
//                                     answer comes that much later
//   throttle (bytes per second)       the answer's body is paced
//   continue {url, method, headers, postData}
//                                     the request goes on changed (a header
//                                     set to null is removed)
//   response {status, headers, replace: [[from, to], ...]}
//                                     the real answer, changed: a "from" is
//                                     a text (every occurrence) or
//                                     {"regex", "flags"} (every match with
//                                     flag "g", else the first)
// and beside the action, in the rule: times (the rule holds for its first
// n matches). A rule with "har": {file, options} instead of an action
// answers from an archive (proxy/network/har_replay.h).
#ifndef QUORVANE_PROXY_NETWORK_ROUTE_RULE_H_
#define QUORVANE_PROXY_NETWORK_ROUTE_RULE_H_

#include <atomic>
#include <chrono>
#include <memory>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "proxy/network/url_pattern.h"

namespace Tavrin::Proxy::Network {

enum class AbortKind { kReset, kRefused, kTimeout, kEmpty, kMalformed };
const char* abort_name(AbortKind kind);

// Header changes in order; a value of nullopt removes the header.
using HeaderChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

struct Fulfilment {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string content_type;  // empty: none given by the action's headers either
};

struct RequestChanges {
  std::optional<std::string> url;
  std::optional<std::string> method;
  std::optional<std::string> post_data;
  HeaderChanges headers;
};

struct Replacement {
  std::optional<std::regex> regex;  // else `from` as text
  bool all = true;
  std::string from;
  std::string to;
};

struct ResponseChanges {
  std::optional<int> status;
  HeaderChanges headers;
  std::vector<Replacement> replace;
};

class HarReplay;

struct RouteAction {
  std::optional<Fulfilment> fulfil;
  std::optional<AbortKind> abort;
  std::chrono::milliseconds delay{0};
  std::uint64_t throttle = 0;  // bytes per second; 0: not paced
  std::optional<RequestChanges> changes;
  std::optional<ResponseChanges> response;
  // Answers from an archive's entries (routeFromHar) instead of the above.
  std::shared_ptr<HarReplay> replay;
};

struct RouteRule {
  UrlPattern pattern;
  RouteAction action;
  std::optional<std::uint64_t> times;
  // What a request's "routed" names: the pattern as the script wrote it.
  std::string label;
  // Matches taken so far (counted against `times`).
  std::atomic<std::uint64_t> taken{0};
};

// Reads {"pattern": ..., "label": ..., "action": {...}, "times": n}.
// Throws BadInput.
std::unique_ptr<RouteRule> read_route_rule(std::string_view json_text);

// The content type of a file by its name's extension
// ("application/octet-stream" when unknown).
std::string content_type_of(const std::string& path);

// Decodes base64 (either alphabet, white space left out), strictly;
// `what` names the text in the BadInput thrown.
std::string decode_base64(std::string_view text, const std::string& what);

// Applies `replace` to a text body.
std::string replace_all(std::string body, const std::vector<Replacement>& replace);

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_ROUTE_RULE_H_
