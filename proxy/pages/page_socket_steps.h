// Internal to the page socket (page_socket.h): its steps, each compiled in
// a file of its own where together they would take long to compile: the
// upgrade's answer (page_socket_accept.cpp), reading the agent's frames and
// writing the proxy's commands (page_socket_frames.cpp), and the socket's
// life and close (page_socket.cpp).
#ifndef QUORVANE_PROXY_PAGES_PAGE_SOCKET_STEPS_H_
#define QUORVANE_PROXY_PAGES_PAGE_SOCKET_STEPS_H_

#include "proxy/pages/page_socket.h"

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/stream_relay.h"
#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy::Http {

namespace page_socket {

namespace websocket = beast::websocket;

// The largest frame an agent sends: an answer with a big value.
inline constexpr std::size_t kMaxFrameBytes = 8u << 20;
// A socket that carries nothing for this long is pinged; one that does not
// answer within it again is closed.
inline constexpr std::chrono::seconds kIdlePing{30};

// What the socket's reading and writing halves share; touched only on the
// connection's executor.
struct SocketState {
  explicit SocketState(asio::any_io_executor executor) : signal(executor, asio::steady_timer::time_point::max()) {}

  // Cancelled to make the writer look again.
  asio::steady_timer signal;
  bool closed = false;
  std::string token;  // what the upgrade presented
  std::string page;   // empty until the agent's first frame
  // Commands to write, each with the page it is for.
  std::deque<std::pair<std::string, std::string>> pending;

  void wake() { signal.cancel(); }
};

// The page of the socket is `page` from now on: a new page id on it (a
// document restored from the back/forward cache) replaces the old one.
void switch_page(const std::shared_ptr<SocketState>& state, const std::string& page, PageRegistry& pages);

// The socket over a client stream. permessage-deflate is never offered:
// without it compiled in, the stream costs far less to build.
using Socket = websocket::stream<AnyStream&, false>;

// Answers the upgrade `request`; the socket is open when no error comes.
asio::awaitable<error_code> accept_upgrade(Socket& socket, const http::request<http::empty_body>& request);

// Writes the commands as the sink queues them.
asio::awaitable<void> write_commands(Socket& socket, std::shared_ptr<SocketState> state, PageRegistry& pages);

// Reads the agent's frames until the socket closes; the page is gone then.
// A document that unloads closes its socket with a close frame; a socket
// that ends without one (the connection dropped, or silent past its
// pings) belongs to a browser that went away, so nothing comes in the
// page's place. A frame past the size limit ends the socket too, but the
// browser is there and its agent opens a new one.
asio::awaitable<void> read_frames(Socket& socket, std::shared_ptr<SocketState> state, PageRegistry& pages,
                                  ProxyContext& context);

}  // namespace page_socket

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_PAGES_PAGE_SOCKET_STEPS_H_

