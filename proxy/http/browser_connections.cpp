#include "proxy/http/browser_connections.h"

namespace Tavrin::Proxy::Http {

BrowserConnections::Scope::Scope(BrowserConnections& connections, int fd, ino_t peer_inode)
    : connections_(connections), fd_(fd), serial_([&] {
        std::lock_guard<std::mutex> lock(connections.mutex_);
        const std::uint64_t serial = connections.next_serial_++;
        connections.connections_[fd] = Connection{serial, peer_inode, std::nullopt, {}};
        return serial;
      }()) {}

BrowserConnections::Scope::~Scope() {
  std::lock_guard<std::mutex> lock(connections_.mutex_);
  // The descriptor may serve a later connection already.
  auto it = connections_.connections_.find(fd_);
  if (it != connections_.connections_.end() && it->second.serial == serial_) connections_.connections_.erase(it);
}

bool BrowserConnections::from_browser(int fd, const Browsers& browsers) {
  Connection connection;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = connections_.find(fd);
    if (it == connections_.end()) return false;
    if (it->second.verdict.value_or(false)) return true;
    connection = it->second;
  }
  // A run whose browser is not registered yet gives no verdict to keep:
  // the registration may come while the connection lasts.
  const std::vector<ProcessIdentity> roots = browsers();
  if (roots.empty() || connection.peer_inode == 0) return false;
  // A "no" holds for the browsers it was judged against: a run's next
  // browser (one opened after the first was closed or killed) is asked
  // about afresh.
  if (connection.verdict && connection.judged == roots) return false;
  // Out of the lock: the walk reads /proc for a while. Two documents of one
  // connection never ask at once (its requests are served in turn).
  const bool verdict = trees_hold_socket(roots, connection.peer_inode);
  std::lock_guard<std::mutex> lock(mutex_);
  ++lookups_;
  auto it = connections_.find(fd);
  if (it != connections_.end() && it->second.serial == connection.serial) {
    it->second.verdict = verdict;
    it->second.judged = roots;
  }
  return verdict;
}

std::uint64_t BrowserConnections::lookups() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lookups_;
}

}  // namespace Tavrin::Proxy::Http
