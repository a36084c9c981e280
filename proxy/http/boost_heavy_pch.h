// The Asio and Beast headers that most files of the proxy's HTTP side
// include, parsed once per target as a precompiled header.
#ifndef QUORVANE_PROXY_HTTP_BOOST_HEAVY_PCH_H_
#define QUORVANE_PROXY_HTTP_BOOST_HEAVY_PCH_H_

#include <boost/asio/awaitable.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>

#endif  // QUORVANE_PROXY_HTTP_BOOST_HEAVY_PCH_H_
