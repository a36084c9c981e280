#include "proxy/http/testing/byte_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <stdexcept>
#include <string>

namespace Tavrin::Proxy::Http::Testing {

namespace {

sockaddr_in loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error("byte relay: " + what + ": " + std::to_string(errno));
}

void no_delay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Writes all of `data`: loopback answers of the benchmark are small, so a
// full send buffer is waited out rather than queued.
bool send_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

}  // namespace

ByteRelay::ByteRelay(std::uint16_t origin_port, unsigned threads) : origin_port_(origin_port) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 128) != 0) {
    fail("listen");
  }
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  stop_event_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  for (unsigned i = 0; i < threads; ++i) {
    const int epoll_fd = epoll_create1(EPOLL_CLOEXEC);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = stop_event_;
    epoll_ctl(epoll_fd, EPOLL_CTL_ADD, stop_event_, &event);
    loops_.push_back(epoll_fd);
  }
  for (int epoll_fd : loops_) threads_.emplace_back([this, epoll_fd] { relay_loop(epoll_fd); });
  threads_.emplace_back([this] { accept_loop(); });
}

ByteRelay::~ByteRelay() {
  stopping_ = true;
  shutdown(listener_, SHUT_RDWR);
  const std::uint64_t one = 1;
  (void)!write(stop_event_, &one, sizeof one);
  for (auto& thread : threads_) thread.join();
  close(listener_);
  close(stop_event_);
  for (int epoll_fd : loops_) close(epoll_fd);
  for (int fd : sockets_) close(fd);
}

void ByteRelay::accept_loop() {
  std::size_t next = 0;
  while (!stopping_) {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client < 0) continue;
    const int origin = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(origin_port_);
    if (origin < 0 || connect(origin, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      close(client);
      if (origin >= 0) close(origin);
      continue;
    }
    fcntl(origin, F_SETFL, O_NONBLOCK);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sockets_.push_back(client);
      sockets_.push_back(origin);
    }
    no_delay(client);
    no_delay(origin);
    // Each side's event carries both descriptors: the one to read and the
    // one to write to.
    const int epoll_fd = loops_[next++ % loops_.size()];
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = (static_cast<std::uint64_t>(client) << 32) | static_cast<std::uint32_t>(origin);
    epoll_ctl(epoll_fd, EPOLL_CTL_ADD, client, &event);
    event.data.u64 = (static_cast<std::uint64_t>(origin) << 32) | static_cast<std::uint32_t>(client);
    epoll_ctl(epoll_fd, EPOLL_CTL_ADD, origin, &event);
  }
}

void ByteRelay::relay_loop(int epoll_fd) {
  std::vector<char> buffer(64 * 1024);
  epoll_event events[64];
  while (!stopping_) {
    const int ready = epoll_wait(epoll_fd, events, 64, -1);
    for (int i = 0; i < ready; ++i) {
      if (events[i].data.u64 == static_cast<std::uint64_t>(stop_event_)) return;
      const int from = static_cast<int>(events[i].data.u64 >> 32);
      const int to = static_cast<int>(events[i].data.u64 & 0xffffffffu);
      const ssize_t got = recv(from, buffer.data(), buffer.size(), 0);
      if (got > 0 && send_all(to, buffer.data(), static_cast<std::size_t>(got))) continue;
      if (got < 0 && errno == EAGAIN) continue;
      epoll_ctl(epoll_fd, EPOLL_CTL_DEL, from, nullptr);
      epoll_ctl(epoll_fd, EPOLL_CTL_DEL, to, nullptr);
      // Closed with the relay: a descriptor closed here could be reused
      // while the other side's event is still in this batch.
      shutdown(from, SHUT_RDWR);
      shutdown(to, SHUT_RDWR);
    }
  }
}

}  // namespace Tavrin::Proxy::Http::Testing
