#include "platform/com/remote/transport_server_internal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <list>
#include <mutex>
#include <thread>

#include <boost/system/system_error.hpp>

#include "platform/os_error.h"

namespace Tavrin::Platform::Com::Transport {
namespace {

using Clock = std::chrono::steady_clock;

struct Connection {
  explicit Connection(ScopedFd socket) : fd(std::move(socket)) {}
  ScopedFd fd;
  std::thread thread;
  std::atomic<bool> finished{false};
};

// The server's own state; lives on run_server's stack.
class Server {
 public:
  Server(const ServerHooks& hooks, ScopedFd listener) : hooks_(hooks), listener_(std::move(listener)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
      throw posix_error("pipe", errno);
    wake_read_.reset(fds[0]);
    wake_write_.reset(fds[1]);
  }

  // Ends every connection and waits for its thread, also when the loop
  // failed.
  ~Server() {
    for (Connection& c : connections_) ::shutdown(c.fd.get(), SHUT_RDWR);
    for (Connection& c : connections_) c.thread.join();
  }

  void run() {
    const auto started = Clock::now();
    bool served = false;
    for (;;) {
      wait_for_activity(listener_paused_);
      listener_paused_ = false;
      try {
        for (ScopedFd client = accept_from(listener_.get()); client.valid();
             client = accept_from(listener_.get())) {
          start_connection(std::move(client));
          served = true;
        }
      } catch (const boost::system::system_error& e) {
        // Out of descriptors (a flood of connections elsewhere in the
        // process): the waiting clients stay queued until some close.
        if (!is_descriptor_shortage(e.code().value())) throw;
        listener_paused_ = true;
      }
      reap_finished();
      if (connections_.empty() && (served || Clock::now() - started >= hooks_.first_client_wait) &&
          hooks_.may_end())
        return;
    }
  }

 private:
  static bool is_descriptor_shortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
  }

  // Waits for a client or a connection's end; with `listener_paused`, for
  // the end or the poll interval only (the listener would wake at once).
  void wait_for_activity(bool listener_paused) {
    pollfd entries[2] = {{wake_read_.get(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
    const int ready = ::poll(entries, listener_paused ? 1 : 2, static_cast<int>(hooks_.poll_interval.count()));
    if (ready < 0 && errno != EINTR)
      throw posix_error("poll", errno);
    char drain[64];
    while (::read(wake_read_.get(), drain, sizeof(drain)) > 0) {
    }
  }

  void start_connection(ScopedFd client) {
    Connection& c = connections_.emplace_back(std::move(client));
    c.thread = std::thread([this, &c] { serve(c); });
  }

  void reap_finished() {
    for (auto it = connections_.begin(); it != connections_.end();) {
      if (it->finished) {
        it->thread.join();
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
  }

  // Runs under the call lock when calls are serialised.
  template <class F>
  auto guarded(F&& f) {
    if (!hooks_.one_call_at_a_time) return f();
    std::lock_guard<std::mutex> lock(call_mutex_);
    return f();
  }

  // The connection's thread: nothing may escape it.
  void serve(Connection& c) {
    try {
      std::unique_ptr<Session> session = guarded([&] { return hooks_.open_session(); });
      try {
        std::string request;
        while (receive_frame(c.fd.get(), request)) {
          std::string reply = guarded([&] { return session->handle(request); });
          send_frame(c.fd.get(), reply);
        }
      } catch (...) {
      }
      guarded([&] { session.reset(); });
    } catch (...) {
    }
    ::shutdown(c.fd.get(), SHUT_RDWR);
    c.finished = true;
    [[maybe_unused]] ssize_t ignored = ::write(wake_write_.get(), "x", 1);
  }

  const ServerHooks& hooks_;
  ScopedFd listener_;
  ScopedFd wake_read_;
  ScopedFd wake_write_;
  std::mutex call_mutex_;
  std::list<Connection> connections_;
  bool listener_paused_ = false;
};

}  // namespace

bool run_server(const Endpoint& endpoint, const ServerHooks& hooks) {
  std::optional<FileLock> lock = FileLock::acquire(endpoint.server_lock_path, hooks.lock_wait);
  if (!lock) return false;
  lock->write_text(std::to_string(::getpid()));
  {
    Server server(hooks, listen_on(endpoint.socket_path));
    server.run();
    // The socket goes before the lock, so a server that starts next never
    // finds its fresh socket removed by this one.
    ::unlink(endpoint.socket_path.c_str());
  }
  return true;
}

}  // namespace Tavrin::Platform::Com::Transport
