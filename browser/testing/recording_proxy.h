// A tiny HTTP proxy for tests and benchmarks: listens on 127.0.0.1 at a
// free port, records the first line of every request it receives with the
// time it arrived, and answers each one with a small HTML page (CONNECT
// gets "403 Forbidden", so no tunnel is opened). One connection, one
// request.
#ifndef QUORVANE_BROWSER_TESTING_RECORDING_PROXY_H_
#define QUORVANE_BROWSER_TESTING_RECORDING_PROXY_H_

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Tavrin::Browser::Testing {

class RecordingProxy {
 public:
  struct Request {
    std::string line;  // "GET http://app.test/ HTTP/1.1"
    std::chrono::steady_clock::time_point when;
  };

  RecordingProxy();
  ~RecordingProxy();
  RecordingProxy(const RecordingProxy&) = delete;
  RecordingProxy& operator=(const RecordingProxy&) = delete;

  int port() const;
  std::vector<Request> Requests() const;
  // The first request whose line contains `text`, waiting up to `timeout`.
  std::optional<Request> WaitFor(const std::string& text, std::chrono::milliseconds timeout) const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace Tavrin::Browser::Testing

#endif  // QUORVANE_BROWSER_TESTING_RECORDING_PROXY_H_
