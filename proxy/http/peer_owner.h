// Internal to the proxy's HTTP side: which local user holds the other end
// of a loopback connection. Loopback is no boundary between the users of a
// machine, so the proxy serves a connection only when the peer's socket
// belongs to the user the proxy runs as. The kernel tells through its
// socket diagnostics (sock_diag over netlink), or, where that is not
// available, through /proc/net/tcp and /proc/net/tcp6.
//
// Safe for concurrent use by multiple threads; never throws.
#ifndef QUORVANE_PROXY_HTTP_PEER_OWNER_H_
#define QUORVANE_PROXY_HTTP_PEER_OWNER_H_

#include <sys/types.h>

#include <optional>

#include <boost/asio/ip/tcp.hpp>

namespace Tavrin::Proxy::Http {

// The peer's socket as the kernel knows it: its owner, and its inode (what
// /proc/<pid>/fd of a process that holds it links to, "socket:[inode]").
struct PeerSocket {
  uid_t owner = 0;
  ino_t inode = 0;
};

// The owner of the socket at `peer` whose connection ends at `local` (an
// address of this machine); std::nullopt when it cannot be told (no such
// socket any more, or neither source answers).
std::optional<uid_t> peer_socket_owner(const boost::asio::ip::tcp::endpoint& local,
                                       const boost::asio::ip::tcp::endpoint& peer);
// The same with the socket's inode.
std::optional<PeerSocket> peer_socket(const boost::asio::ip::tcp::endpoint& local,
                                      const boost::asio::ip::tcp::endpoint& peer);

// The two sources on their own, for tests.
std::optional<PeerSocket> peer_socket_by_diagnostics(const boost::asio::ip::tcp::endpoint& local,
                                                     const boost::asio::ip::tcp::endpoint& peer);
std::optional<PeerSocket> peer_socket_from_proc(const boost::asio::ip::tcp::endpoint& local,
                                                const boost::asio::ip::tcp::endpoint& peer);
std::optional<uid_t> peer_socket_owner_by_diagnostics(const boost::asio::ip::tcp::endpoint& local,
                                                      const boost::asio::ip::tcp::endpoint& peer);
std::optional<uid_t> peer_socket_owner_from_proc(const boost::asio::ip::tcp::endpoint& local,
                                                 const boost::asio::ip::tcp::endpoint& peer);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_PEER_OWNER_H_
