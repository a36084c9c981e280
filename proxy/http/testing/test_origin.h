// An origin server for the proxy's tests: listens on a free port of
// 127.0.0.1, plain or over TLS, and answers each request with what the
// test's handler returns. One thread per connection; requests on one
// connection are served in turn (keep-alive). A request that asks for a
// WebSocket is accepted and every message echoed.
#ifndef QUORVANE_PROXY_HTTP_TESTING_TEST_ORIGIN_H_
#define QUORVANE_PROXY_HTTP_TESTING_TEST_ORIGIN_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace Tavrin::Proxy::Http::Testing {

struct SeenRequest {
  std::string method;
  std::string target;
  std::vector<std::pair<std::string, std::string>> fields;
  std::string body;
  // The value of a field (first of the name, case-insensitive); empty if none.
  std::string field(const std::string& name) const;
  bool has(const std::string& name) const;
};

struct Reply {
  unsigned status = 200;
  std::vector<std::pair<std::string, std::string>> fields;
  std::string body;
  // Sent as the body instead of `body`, streamed, when not empty.
  std::filesystem::path file;
  bool chunked = false;
  // Raw bytes sent instead of an answer (a malformed one, say).
  std::string raw;
  // Sent nothing (or only `raw`) and the connection held for this long.
  std::chrono::milliseconds silence{0};
  // Waited before the answer is sent.
  std::chrono::milliseconds delay{0};
};

using Handler = std::function<Reply(const SeenRequest&)>;

class TestOrigin {
 public:
  // `tls_chain_pem` and `tls_key_pem` not empty: the origin speaks TLS.
  explicit TestOrigin(Handler handler, std::string tls_chain_pem = {}, std::string tls_key_pem = {});
  ~TestOrigin();
  TestOrigin(const TestOrigin&) = delete;
  TestOrigin& operator=(const TestOrigin&) = delete;

  std::uint16_t port() const { return port_; }
  // Connections accepted so far.
  int connections() const { return connections_.load(); }
  std::vector<SeenRequest> requests() const;

  struct Impl;

 private:
  void serve(std::shared_ptr<void> socket);
  std::unique_ptr<Impl> impl_;
  std::uint16_t port_ = 0;
  std::atomic<int> connections_{0};
};

}  // namespace Tavrin::Proxy::Http::Testing

#endif  // QUORVANE_PROXY_HTTP_TESTING_TEST_ORIGIN_H_
