// Internal to the page socket (page_socket.cpp): the answer to the
// upgrade, compiled in a file of its own because Beast writes it through
// its HTTP serializer, which costs as much to compile as the rest of the
// socket.
#ifndef QUORVANE_PROXY_PAGES_PAGE_SOCKET_ACCEPT_H_
#define QUORVANE_PROXY_PAGES_PAGE_SOCKET_ACCEPT_H_

#include <boost/asio/awaitable.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "proxy/http/any_stream.h"

namespace Tavrin::Proxy::Http::page_socket {

// The socket over a client stream. permessage-deflate is never offered:
// without it compiled in, the stream costs far less to build.
using Socket = boost::beast::websocket::stream<AnyStream&, false>;

// Answers the upgrade `request`; the socket is open when no error comes.
boost::asio::awaitable<boost::system::error_code> accept_upgrade(
    Socket& socket, const boost::beast::http::request<boost::beast::http::empty_body>& request);

}  // namespace Tavrin::Proxy::Http::page_socket

#endif  // QUORVANE_PROXY_PAGES_PAGE_SOCKET_ACCEPT_H_
