// The requests of one run as the proxy saw them: each one's address,
// method, headers and body, and once it came, its answer (status, headers,
// body), the rule that answered it, its failure and its timings. Bounded:
// the newest `max_requests` are kept, each body up to `max_body_bytes`.
//
// A connection adds its request (begin), fills the answer in as it goes
// (update) and ends it (end); a script's query reads the entries as JSON,
// waiting (up to a limit) for one that matches.
//
// Thread-safe.
#ifndef QUORVANE_PROXY_NETWORK_REQUEST_LOG_H_
#define QUORVANE_PROXY_NETWORK_REQUEST_LOG_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "proxy/network/url_pattern.h"
#include "proxy/network/websocket_frames.h"

namespace Tavrin::Proxy::Network {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct LoggedRequest {
  std::uint64_t id = 0;
  std::string url;
  std::string method;
  std::string client_version = "HTTP/1.1";  // spoken by the browser
  std::string upstream_version;             // spoken by the origin; empty: none reached
  Fields headers;  // names in lower case
  std::optional<std::string> post_data;
  bool post_cut = false;  // post_data holds the first max_body_bytes only
  int status = 0;         // 0 while no answer
  Fields response_headers;
  std::string response_body;  // as it went to the browser (encoded, if the answer was)
  bool body_cut = false;
  std::string routed;   // the rule that answered, by its pattern; empty: none
  std::string failure;  // the abort kind or the network error; empty: none
  bool ended = false;   // the answer has ended (or failed)
  std::chrono::system_clock::time_point started;
  // The steps before the request went out, in ms; -1 where there was
  // none (a connection reused, a plain one's TLS, an answer made here).
  double blocked = -1;
  double dns = -1;
  double connect = -1;
  double ssl = -1;
  // From the start, in ms; -1 while not reached.
  double sent = -1;    // the request had gone on (or was taken by a rule)
  double sent_whole = -1;  // its body had gone out too
  double first = -1;   // the answer's first byte came
  double done = -1;    // the answer ended
  // A WebSocket's messages both ways, in order (their data together kept
  // up to max_body_bytes).
  std::vector<WebSocketMessage> websocket_messages;
  std::size_t websocket_bytes = 0;
};

struct LogLimits {
  std::size_t max_requests = 10000;
  std::size_t max_body_bytes = 1024 * 1024;
};

class RequestLog {
 public:
  explicit RequestLog(LogLimits limits = {}) : limits_(limits) {}
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  const LogLimits& limits() const { return limits_; }

  // A new entry; its id counts up from 1.
  std::shared_ptr<LoggedRequest> begin(std::string url, std::string method, Fields headers);
  // Changes `entry` under the log's lock, so that readers see it whole.
  void update(const std::shared_ptr<LoggedRequest>& entry, const std::function<void(LoggedRequest&)>& change);
  // The entry has ended: its answer is whole, or it failed with `failure`.
  void end(const std::shared_ptr<LoggedRequest>& entry, const std::string& failure = std::string());
  // The same with `change` made first, under the one lock (an exchange's
  // last word: its bodies and its end seen together).
  void end(const std::shared_ptr<LoggedRequest>& entry, const std::string& failure,
           const std::function<void(LoggedRequest&)>& change);
  // Appends to a body kept up to the limit.
  void keep_body(std::string& body, bool& cut, std::string_view bytes) const;

  struct Query {
    UrlPattern pattern;
    std::chrono::system_clock::time_point since{};  // only entries started then or later
    bool ended = false;                              // only entries whose answer has ended
    bool first = false;                              // the first match only
    std::chrono::milliseconds wait{0};               // how long to wait for a match
  };
  // The matching entries as a JSON array, oldest first; after waiting up
  // to query.wait for one when none is there.
  std::string select(const Query& query);
  // The same from its JSON form: {pattern, since (ms since the epoch),
  // ended, first, wait (ms)}. Throws BadInput.
  std::string select(std::string_view query_json);

  // Every entry kept, oldest first (for the HAR).
  std::vector<LoggedRequest> snapshot() const;
  std::size_t size() const;

 private:
  std::vector<std::shared_ptr<LoggedRequest>> matching(const Query& query) const;

  const LogLimits limits_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<LoggedRequest>> entries_;
  std::uint64_t next_id_ = 1;
};

// An entry as scripts read it (request_json), without the lock.
std::string request_json(const LoggedRequest& entry);

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_REQUEST_LOG_H_
