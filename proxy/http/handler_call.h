// Internal to the proxy's HTTP side: a request that a script's handler
// function answers. The request is held in the run's handler queue
// (proxy/network/handler_queue.h) until the script has run the handler,
// which gives the action to apply; the connection's coroutine waits on
// its own event loop meanwhile, woken by the answer.
#ifndef QUORVANE_PROXY_HTTP_HANDLER_CALL_H_
#define QUORVANE_PROXY_HTTP_HANDLER_CALL_H_

#include <chrono>
#include <memory>
#include <optional>

#include <boost/asio/awaitable.hpp>

#include "proxy/network/handler_queue.h"
#include "proxy/network/request_log.h"
#include "proxy/network/route_rule.h"

namespace Tavrin::Proxy::Http {

// Holds the request `entry` for the handler of `rule` and gives the
// action it answered with (none: the request goes on unchanged). A handler
// that threw, a request its script did not take within the rule's limit
// (then the script is told), a handler that took longer than `taken_limit`
// once it had the request, and the script's or the run's end each give an
// answer made here instead: 500, 504, 504 and 503, their reason the body.
boost::asio::awaitable<std::optional<Network::RouteAction>> ask_handler(
    Network::HandlerQueue& queue, const Network::RouteRule& rule, const std::shared_ptr<Network::LoggedRequest>& entry,
    Network::RequestLog& log, std::chrono::milliseconds taken_limit);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_HANDLER_CALL_H_
