#include "proxy/http/peer_owner.h"

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace Tavrin::Proxy::Http {

namespace {

using tcp = boost::asio::ip::tcp;

// The address as four 32-bit words in network order, as the kernel keeps
// it (an IPv4 address in the first word).
std::array<std::uint32_t, 4> words_of(const boost::asio::ip::address& address) {
  std::array<std::uint32_t, 4> words{};
  if (address.is_v4()) {
    const auto bytes = address.to_v4().to_bytes();
    std::memcpy(words.data(), bytes.data(), bytes.size());
  } else {
    const auto bytes = address.to_v6().to_bytes();
    std::memcpy(words.data(), bytes.data(), bytes.size());
  }
  return words;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// "0100007F:1F90" for 127.0.0.1:8080, as /proc/net/tcp* print an endpoint.
std::string proc_text(const tcp::endpoint& endpoint) {
  const auto words = words_of(endpoint.address());
  const int count = endpoint.address().is_v4() ? 1 : 4;
  std::string text;
  char piece[16];
  for (int i = 0; i < count; ++i) {
    std::snprintf(piece, sizeof piece, "%08X", words[static_cast<std::size_t>(i)]);
    text += piece;
  }
  std::snprintf(piece, sizeof piece, ":%04X", endpoint.port());
  return text + piece;
}

}  // namespace

std::optional<PeerSocket> peer_socket_by_diagnostics(const tcp::endpoint& local, const tcp::endpoint& peer) {
  if (local.address().is_v4() != peer.address().is_v4()) return std::nullopt;
  Fd fd(::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (fd.get() < 0) return std::nullopt;
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = peer.address().is_v4() ? AF_INET : AF_INET6;
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  // The peer's socket: its own end is `peer`, its far end `local`.
  message.request.id.idiag_sport = htons(peer.port());
  message.request.id.idiag_dport = htons(local.port());
  const auto source = words_of(peer.address());
  const auto destination = words_of(local.address());
  std::memcpy(message.request.id.idiag_src, source.data(), sizeof message.request.id.idiag_src);
  std::memcpy(message.request.id.idiag_dst, destination.data(), sizeof message.request.id.idiag_dst);
  message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (::sendto(fd.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) !=
      static_cast<ssize_t>(sizeof message)) {
    return std::nullopt;
  }
  alignas(nlmsghdr) char reply[8192];
  ssize_t size;
  do {
    size = ::recv(fd.get(), reply, sizeof reply, 0);
  } while (size < 0 && errno == EINTR);
  if (size <= 0) return std::nullopt;
  int left = static_cast<int>(size);
  for (auto* header = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(header, left); header = NLMSG_NEXT(header, left)) {
    if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) return std::nullopt;  // an error: no such socket
    if (header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return std::nullopt;
    const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
    return PeerSocket{static_cast<uid_t>(found->idiag_uid), static_cast<ino_t>(found->idiag_inode)};
  }
  return std::nullopt;
}

std::optional<PeerSocket> peer_socket_from_proc(const tcp::endpoint& local, const tcp::endpoint& peer) {
  std::ifstream table(peer.address().is_v4() ? "/proc/net/tcp" : "/proc/net/tcp6");
  const std::string own_end = proc_text(peer);
  const std::string far_end = proc_text(local);
  std::string line;
  std::getline(table, line);  // the column names
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local_text, remote_text, state, queues, timer, retransmits;
    long uid = -1;
    std::string timeout;
    unsigned long long inode = 0;
    if (!(fields >> slot >> local_text >> remote_text >> state >> queues >> timer >> retransmits >> uid >> timeout >>
          inode))
      continue;
    if (local_text == own_end && remote_text == far_end) return PeerSocket{static_cast<uid_t>(uid), inode};
  }
  return std::nullopt;
}

std::optional<PeerSocket> peer_socket(const tcp::endpoint& local, const tcp::endpoint& peer) {
  if (auto found = peer_socket_by_diagnostics(local, peer)) return found;
  return peer_socket_from_proc(local, peer);
}

namespace {

std::optional<uid_t> owner_of(const std::optional<PeerSocket>& socket) {
  if (!socket) return std::nullopt;
  return socket->owner;
}

}  // namespace

std::optional<uid_t> peer_socket_owner_by_diagnostics(const tcp::endpoint& local, const tcp::endpoint& peer) {
  return owner_of(peer_socket_by_diagnostics(local, peer));
}

std::optional<uid_t> peer_socket_owner_from_proc(const tcp::endpoint& local, const tcp::endpoint& peer) {
  return owner_of(peer_socket_from_proc(local, peer));
}

std::optional<uid_t> peer_socket_owner(const tcp::endpoint& local, const tcp::endpoint& peer) {
  return owner_of(peer_socket(local, peer));
}

}  // namespace Tavrin::Proxy::Http
