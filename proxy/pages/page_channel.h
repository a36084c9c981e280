// Internal to the proxy's HTTP side: the page agents' command channel, on
// "/quorvane/special/channel/<secret>" of every origin (the page's own, so
// no cross-origin rules apply). An agent POSTs its page's facts and the
// answer to its last command; the request is held until a command comes
// for the page, or answered with "{}" after kPollHold. ".../bye" says the
// page unloads. A WebSocket upgrade on the same path opens the socket form
// of the channel (page_socket.h); both give the registry a PageSink to
// send the page's commands to. A request whose path lacks the run's
// secret, or whose Origin is not the page's own, is refused with 403. A
// page that registers over a run's port belongs to that run
// (proxy/run_table.h).
#ifndef QUORVANE_PROXY_PAGES_PAGE_CHANNEL_H_
#define QUORVANE_PROXY_PAGES_PAGE_CHANNEL_H_

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/pages/page_registry.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;
struct LocalRequest;

inline constexpr const char kChannelPath[] = "/quorvane/special/channel/";
inline constexpr std::chrono::seconds kPollHold{25};

// Whether `path` (after kChannelPath) starts with `secret`, compared in
// constant time for paths of the secret's length.
bool channel_secret_matches(std::string_view path, const std::string& secret);

// The run whose port `socket` (a browser's connection to the proxy) came in
// on, counted as the run's activity; empty for the main port. Pages that
// register over the connection belong to that run.
std::string run_of_connection(const boost::asio::ip::tcp::socket& socket, ProxyContext& context);

template <class Client>
boost::asio::awaitable<bool> answer_channel(Client& client, boost::beast::flat_buffer& buffer,
                                            boost::beast::http::request_parser<boost::beast::http::empty_body>& parser,
                                            const LocalRequest& request, const std::string& origin,
                                            ProxyContext& context);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_PAGES_PAGE_CHANNEL_H_
