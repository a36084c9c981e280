#include "proxy/http/forward.h"

#include <optional>

#include <boost/beast/http/rfc7230.hpp>

#include "proxy/http/error_page.h"
#include "proxy/http/forward_exchange.h"
#include "proxy/http/message_framing.h"
#include "proxy/http/page_rules.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"

namespace Tavrin::Proxy::Http {

namespace {

using forward_steps::Exchange;

bool asks_upgrade(const http::fields& request) {
  return request.find(http::field::upgrade) != request.end() &&
         http::token_list(request[http::field::connection]).exists("upgrade");
}

bool expects_continue(const http::fields& request) {
  const auto expect = request.find(http::field::expect);
  return expect != request.end() && beast::iequals(expect->value(), "100-continue");
}

asio::awaitable<bool> answer_failure(AnyStream& client, const UpstreamFailure& failure, const Exchange& x,
                                     bool keep_alive, ProxyContext& context) {
  auto page = make_error_page(failure.status(), failure.what(), x.version, keep_alive);
  const error_code ec = co_await write_message(client, page, context.settings.read_timeout);
  co_return !ec && keep_alive;
}

}  // namespace

asio::awaitable<bool> forward_request(AnyStream& client, beast::flat_buffer& client_buffer,
                                      http::request_parser<http::empty_body>& header, const Origin& origin,
                                      const std::string& path, ProxyContext& context, Upstream& upstream) {
  using namespace forward_steps;
  http::request_parser<http::buffer_body> request{std::move(header)};
  auto& message = request.get();
  Exchange x{origin,
             path,
             message.method(),
             message.version(),
             message.keep_alive(),
             false,
             asks_upgrade(message) && message.version() == 11,
             request.is_done(),
             false};
  x.document = !x.upgrade && is_document_request(message);
  const bool expect = expects_continue(message);
  remove_hop_by_hop(message, x.upgrade);
  message.erase(http::field::expect);
  if (x.document) prepare_document_request(message);
  message.target(path);
  message.version(11);
  message.set(http::field::host, origin.host_header());

  // co_await may not stand in a handler, so failures are kept and answered
  // after the try block.
  for (int attempt = 0;; ++attempt) {
    bool answered = false;
    bool stale = false;
    std::optional<UpstreamFailure> failure;
    try {
      x.reused = upstream.open_to(origin);
      if (!x.reused) co_await upstream.connect(origin, context);
      if (expect && x.version == 11 && attempt == 0) {
        static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
        beast::get_lowest_layer(client).expires_after(context.settings.read_timeout);
        auto [ec, n] = co_await asio::async_write(client, asio::buffer(kContinue), kTuple);
        if (ec) co_return false;
      }
      co_return co_await exchange(client, client_buffer, request, upstream.stream(), upstream.buffer(), x, context,
                                  upstream, answered);
    } catch (const StaleConnection&) {
      stale = true;
    } catch (const UpstreamFailure& e) {
      failure = e;
    }
    upstream.close();
    if (stale && attempt == 0 && x.bodiless) continue;
    if (stale) failure = UpstreamFailure(http::status::bad_gateway, origin.authority() + " closed the connection");
    if (answered) co_return false;
    context.note(failure->what());
    co_return co_await answer_failure(client, *failure, x, x.keep_alive && request.is_done(), context);
  }
}

}  // namespace Tavrin::Proxy::Http
