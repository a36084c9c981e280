// Which requests a route or a request query names: a URL glob or a
// regular expression over the whole URL, optionally with a method.
//
// A glob: "*" any characters but "/", "**" any characters, "?" one
// character, everything else itself. A glob without a scheme ("://")
// matches the URL with or without its "http://" or "https://".
// A regular expression is an ECMAScript one with the flags of a script's
// RegExp ("i" ignores case); it matches anywhere in the URL, as RegExp's
// test() does.
//
// Globs are matched by hand, not through a regular expression: a request
// that a run's rules do not match pays a few comparisons per rule.
//
// Immutable once made; matches() may be called from any thread.
#ifndef QUORVANE_PROXY_NETWORK_URL_PATTERN_H_
#define QUORVANE_PROXY_NETWORK_URL_PATTERN_H_

#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <boost/json/value.hpp>

namespace Tavrin::Proxy::Network {

// A script's input that cannot be used; what() names the argument and the
// fault.
class BadInput : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class UrlPattern {
 public:
  // From its JSON form: {"glob": G}, {"regex": R, "flags": F}, either with
  // "method": M; `what` names the argument in errors. Throws BadInput.
  static UrlPattern from_json(const boost::json::value& pattern, const std::string& what);
  // Matches every request.
  UrlPattern() = default;

  bool matches(std::string_view url, std::string_view method) const;
  // The pattern as it was given, compact: equal patterns have equal keys.
  const std::string& key() const { return key_; }

 private:
  // A glob in pieces: a text, "?", "*" or "**".
  struct GlobPiece {
    enum class Kind { kText, kOne, kSegment, kAny } kind;
    std::string text;
  };
  static bool match_glob(const GlobPiece* piece, const GlobPiece* end, std::string_view text);

  bool any_ = true;
  std::vector<GlobPiece> glob_;
  // The glob's longest text: a URL without it cannot match, which one
  // search tells before any backtracking (most rules match few requests).
  std::string glob_needle_;
  bool glob_without_scheme_ = false;
  bool search_ = false;  // a regular expression: anywhere in the URL
  std::regex regex_;
  std::string method_;  // upper case; empty: any
  std::string key_ = "{}";
};


}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_URL_PATTERN_H_
