// Internal to the proxy's HTTP side: whether a connection on a run's port
// comes from a browser of the run, asked once per connection and only when
// a document is about to get a page token (the /proc walk of
// peer_process.h takes milliseconds with a browser's process tree), then
// remembered with the connection.
//
// Thread-safe.
#ifndef QUORVANE_PROXY_HTTP_BROWSER_CONNECTIONS_H_
#define QUORVANE_PROXY_HTTP_BROWSER_CONNECTIONS_H_

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "proxy/http/peer_process.h"

namespace Tavrin::Proxy::Http {

class BrowserConnections {
 public:
  BrowserConnections() = default;
  BrowserConnections(const BrowserConnections&) = delete;
  BrowserConnections& operator=(const BrowserConnections&) = delete;

  // The connection on descriptor `fd`, whose peer socket has inode
  // `peer_inode` (0: unknown), for as long as it is served. A descriptor
  // closed and opened again by a later connection is that connection's.
  class Scope {
   public:
    Scope(BrowserConnections& connections, int fd, ino_t peer_inode);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    BrowserConnections& connections_;
    const int fd_;
    const std::uint64_t serial_;
  };

  // The processes a connection's verdict is asked against: the browsers of
  // its run.
  using Browsers = std::function<std::vector<ProcessIdentity>()>;

  // Whether the connection on `fd` comes from a process of the trees that
  // `browsers` gives: looked up the first time, then the same answer (a
  // "no" only as long as `browsers` gives the same list). False for a
  // descriptor without a scope, and (not kept) while `browsers` gives none.
  bool from_browser(int fd, const Browsers& browsers);

  // How many lookups were made (not remembered answers); for tests.
  std::uint64_t lookups() const;

 private:
  struct Connection {
    std::uint64_t serial = 0;
    ino_t peer_inode = 0;
    std::optional<bool> verdict;
    std::vector<ProcessIdentity> judged;  // the browsers of the verdict
  };

  mutable std::mutex mutex_;
  std::unordered_map<int, Connection> connections_;
  std::uint64_t next_serial_ = 1;
  std::uint64_t lookups_ = 0;
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_BROWSER_CONNECTIONS_H_
