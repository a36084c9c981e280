// Page tokens: every document the proxy injects over a run's port gets a
// token of its own, which the page's agent presents on the channel. A
// token is bound to the run whose port served the document and to the
// document's origin: the channel admits it only over that run's port and
// from that origin. Documents served over the main port get none, so no
// client that is not a browser of a run can drive anything with what the
// proxy hands it. (The registry binds each page to the token it first
// registered with: a token drives only its own document's pages.)
//
// Thread-safe.
#ifndef QUORVANE_PROXY_PAGES_PAGE_TOKENS_H_
#define QUORVANE_PROXY_PAGES_PAGE_TOKENS_H_

#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Tavrin::Proxy {

// 128 random bits as 32 hex digits.
std::string make_token();

class PageTokens {
 public:
  // The most tokens kept; the one used least recently goes first.
  static constexpr std::size_t kMaxTokens = 1u << 16;

  explicit PageTokens(std::size_t max_tokens = kMaxTokens) : max_tokens_(max_tokens) {}
  PageTokens(const PageTokens&) = delete;
  PageTokens& operator=(const PageTokens&) = delete;

  // A new token for a document of `origin` ("http://host[:port]") served
  // over the port of `run`; `run` must not be empty.
  std::string issue(const std::string& run, const std::string& origin);
  // Whether `token` was issued for `run` and `origin` (and is still kept).
  bool admits(std::string_view token, const std::string& run, const std::string& origin);

 private:
  struct Binding {
    std::string run;
    std::string origin;
    std::list<std::string>::iterator use;
  };

  const std::size_t max_tokens_;
  std::mutex mutex_;
  std::unordered_map<std::string, Binding> tokens_;
  std::list<std::string> uses_;  // least recently used first
};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PAGES_PAGE_TOKENS_H_
