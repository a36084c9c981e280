// The least a forward proxy can do, for the benchmark's reference: a
// relay on 127.0.0.1 that pairs every accepted connection with one of its
// own to a fixed origin and copies bytes both ways, unparsed, on epoll
// loops of its own. What it reaches on a machine bounds what any proxy of
// the same shape (one more hop each way) can reach there.
#ifndef QUORVANE_PROXY_HTTP_TESTING_BYTE_RELAY_H_
#define QUORVANE_PROXY_HTTP_TESTING_BYTE_RELAY_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace Tavrin::Proxy::Http::Testing {

class ByteRelay {
 public:
  ByteRelay(std::uint16_t origin_port, unsigned threads);
  ~ByteRelay();
  ByteRelay(const ByteRelay&) = delete;
  ByteRelay& operator=(const ByteRelay&) = delete;

  std::uint16_t port() const { return port_; }

 private:
  void accept_loop();
  void relay_loop(int epoll_fd);

  std::uint16_t origin_port_;
  std::uint16_t port_ = 0;
  int listener_ = -1;
  int stop_event_ = -1;
  std::atomic<bool> stopping_{false};
  std::vector<int> loops_;
  std::mutex mutex_;
  std::vector<int> sockets_;  // with mutex_ held
  std::vector<std::thread> threads_;
};

}  // namespace Tavrin::Proxy::Http::Testing

#endif  // QUORVANE_PROXY_HTTP_TESTING_BYTE_RELAY_H_
