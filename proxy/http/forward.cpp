#include "proxy/http/forward.h"

#include <optional>
#include <vector>

#include <boost/beast/http/rfc7230.hpp>

#include "proxy/http/error_page.h"
#include "proxy/http/forward_exchange.h"
#include "proxy/http/message_framing.h"
#include "proxy/http/navigation_end.h"
#include "proxy/http/observed_answer.h"
#include "proxy/http/page_rules.h"
#include "proxy/http/proxy_context.h"
#include "proxy/http/stream_relay.h"
#include "proxy/pages/page_channel.h"

namespace Tavrin::Proxy::Http {

// The steps of forwarding.
namespace {

// A kept-alive origin connection that the origin had closed meanwhile: the
// request may be sent again on a new one.
struct StaleConnection {};

asio::awaitable<void> read_answer_header(AnyStream& up, beast::flat_buffer& buffer,
                                         std::optional<http::response_parser<http::empty_body>>& answer,
                                         const Exchange& x, ProxyContext& context) {
  for (;;) {
    auto& parser = answer.emplace();
    parser.header_limit(static_cast<std::uint32_t>(context.settings.max_header_bytes));
    parser.body_limit(boost::none);
    if (x.method == http::verb::head) parser.skip(true);
    beast::get_lowest_layer(up).expires_after(context.settings.read_timeout);
    auto [ec, n] = co_await http::async_read_header(up, buffer, parser, kTuple);
    if (ec == beast::error::timeout) {
      throw UpstreamFailure(http::status::gateway_timeout,
                            x.origin.authority() + " did not answer within " +
                                std::to_string(context.settings.read_timeout.count()) + " ms");
    }
    if (ec && !parser.got_some() && x.reused && x.bodiless) throw StaleConnection{};
    if (ec == http::error::end_of_stream || (ec && !parser.got_some())) {
      throw UpstreamFailure(http::status::bad_gateway,
                            x.origin.authority() + " closed the connection without an answer");
    }
    if (ec) {
      throw UpstreamFailure(http::status::bad_gateway,
                            x.origin.authority() + " sent a malformed answer: " + ec.message());
    }
    const unsigned status = parser.get().result_int();
    if (status >= 200 || (status == 101 && x.upgrade)) {
      if (const auto fault = framing_fault(parser.get(), parser.get().version(), false)) {
        throw UpstreamFailure(http::status::bad_gateway,
                              x.origin.authority() + " sent an answer that is refused: " + *fault);
      }
      co_return;
    }
    // 100 and 103 are interim: the final answer follows.
  }
}



// Sets the framing of an answer that streams to the client: a body that
// ends with the connection goes chunked to a 1.1 client; a 1.0 client gets
// no chunks, so its connection ends with the body.
void frame_for_client(http::response_parser<http::buffer_body>& parser, unsigned version, bool& keep_alive) {
  auto& answer = parser.get();
  if (parser.is_done()) return;
  if (answer.chunked()) {
    if (version == 10) {
      answer.chunked(false);
      keep_alive = false;
    }
  } else if (!answer.has_content_length()) {
    if (version == 11)
      answer.chunked(true);
    else
      keep_alive = false;
  }
}

// Sends the request's body to `up` and the answer back to `client`; a
// 101 answer joins them as a tunnel. Sets `answered` once the client has
// been sent any of the answer. Throws StaleConnection when a reused
// connection turns out closed before anything came back (the request may
// be sent again), UpstreamFailure when the origin fails before the answer
// has begun. Returns whether the client connection may carry another
// request.
asio::awaitable<bool> exchange(AnyStream& client, beast::flat_buffer& client_buffer,
                               http::request_parser<http::buffer_body>& request, AnyStream& up, beast::flat_buffer& up_buffer,
                               const Exchange& x, ProxyContext& context, Upstream& upstream, bool& answered) {
  const BodyTap post_tap = x.hooks ? request_body_tap(*x.hooks) : BodyTap{};
  if (x.hooks) note_sent(*x.hooks);
  const error_code sent = co_await relay_body(client, client_buffer, request, up, context.settings.read_timeout,
                                              x.taken_body, x.hooks && x.taken_body.empty() ? &post_tap : nullptr);
  if (sent) {
    if (x.reused && x.bodiless) throw StaleConnection{};
    throw UpstreamFailure(sent == beast::error::timeout ? http::status::gateway_timeout : http::status::bad_gateway,
                          "The request could not be passed to " + x.origin.authority() + ": " + sent.message());
  }
  if (x.hooks) note_body_sent(*x.hooks);
  std::optional<http::response_parser<http::empty_body>> head;
  co_await read_answer_header(up, up_buffer, head, x, context);
  if (head->get().result() == http::status::unauthorized && !x.run.empty()) answer_challenges(head->get(), x, context);
  if (x.hooks) note_answer(*x.hooks, head->get());

  if (head->get().result() == http::status::switching_protocols) {
    auto& answer = head->get();
    std::optional<WebSocketRecording> messages;
    if (x.hooks && opens_websocket(answer)) messages.emplace(*x.hooks);
    remove_hop_by_hop(answer, true);
    answered = true;
    if (x.hooks) note_end(*x.hooks, std::string(), std::string());
    if (co_await write_message(client, answer, context.settings.read_timeout)) co_return false;
    co_await tunnel(client, client_buffer, up, up_buffer, context.settings.idle_timeout,
                    context.settings.tunnel_idle_timeout, messages ? messages->sent() : nullptr,
                    messages ? messages->received() : nullptr);
    upstream.close();
    co_return false;
  }

  http::response_parser<http::buffer_body> parser{std::move(*head)};
  auto& answer = parser.get();
  const bool origin_keeps = answer.keep_alive() && !parser.need_eof();
  remove_hop_by_hop(answer, false);
  answer.version(x.version);
  bool keep_alive = x.keep_alive;

  if (x.hooks && changes_answer(*x.hooks)) {
    answered = true;
    co_return co_await send_changed_answer(client, up, up_buffer, parser, keep_alive, origin_keeps, upstream,
                                           x.document && is_injectable_response(x.method, answer), *x.hooks,
                                           x.origin.web_origin(), context);
  }
  std::string page;
  PageBudget::Hold hold(context.page_budget);
  if (!x.run.empty() && context.settings.pages) {
    const std::string encoding(answer[http::field::content_encoding]);
    if (const auto ended = co_await end_of_navigation(client, parser, up, up_buffer, x, context, keep_alive, hold)) {
      if (!origin_keeps || !ended->reusable) upstream.close();
      answered = true;
      // The log keeps the origin's answer, not the view or the 204 the
      // browser was given instead.
      if (x.hooks) note_end(*x.hooks, ended->failure, encoding);
      co_return ended->keep_alive;
    }
  }
  if (x.document && is_injectable_response(x.method, answer)) {
    const Taken taken = co_await take_page(up, up_buffer, parser, page, hold, x, context);
    if (taken == Taken::kWhole) {
      if (!origin_keeps) upstream.close();
      answered = true;
      // The log keeps the page as the origin sent it, without the scripts
      // (and the page token) the proxy adds.
      const std::string encoding(answer[http::field::content_encoding]);
      if (x.hooks) response_body_tap(*x.hooks).take(page);
      const bool more = co_await send_page(client, answer, page, keep_alive, hold, x, context);
      if (x.hooks) note_end(*x.hooks, std::string(), encoding);
      co_return more;
    }
    if (taken == Taken::kTooLarge) {
      context.note("The page " + x.origin.authority() + x.path + " is larger than " +
                   std::to_string(context.settings.inject_max_bytes) + " bytes and passes uninjected");
    } else {
      context.note("The page " + x.origin.authority() + x.path + " passes streamed and uninjected: the pages held " +
                   "for injection have reached their budget of " + std::to_string(context.page_budget.limit()) +
                   " bytes");
    }
  }
  frame_for_client(parser, x.version, keep_alive);
  answer.keep_alive(keep_alive);
  answered = true;
  const BodyTap answer_tap = x.hooks ? response_body_tap(*x.hooks) : BodyTap{};
  const std::string encoding(answer[http::field::content_encoding]);
  const error_code relayed = co_await relay_body(up, up_buffer, parser, client, context.settings.read_timeout, page,
                                                 x.hooks ? &answer_tap : nullptr);
  if (x.hooks) note_end(*x.hooks, relayed ? "the answer was cut short: " + relayed.message() : std::string(), encoding);
  if (relayed || !origin_keeps) upstream.close();
  co_return !relayed && keep_alive;
}

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
                                      const std::string& path, ProxyContext& context, Upstream& upstream,
                                      ForwardHooks* hooks) {
  http::request_parser<http::buffer_body> request{std::move(header)};
  co_return co_await forward_request(client, client_buffer, request, std::string_view(), origin, path, context,
                                     upstream, hooks);
}

asio::awaitable<bool> forward_request(AnyStream& client, beast::flat_buffer& client_buffer,
                                      http::request_parser<http::buffer_body>& request, std::string_view taken_body,
                                      const Origin& origin, const std::string& path, ProxyContext& context,
                                      Upstream& upstream, ForwardHooks* hooks) {
  auto& message = request.get();
  Exchange x{origin,
             path,
             message.method(),
             message.version(),
             message.keep_alive(),
             false,
             asks_upgrade(message) && message.version() == 11,
             request.is_done(),
             false,
             hooks,
             taken_body,
             {},
             false,
             {},
             false};
  x.document = !x.upgrade && is_document_request(message);
  if (context.settings.pages) x.run = run_of_connection(beast::get_lowest_layer(client).socket(), context);
  if (x.document && context.settings.pages) {
    const auto dest = message.find("Sec-Fetch-Dest");
    x.top_level = dest == message.end() || beast::iequals(dest->value(), "document");
    x.referer = std::string(message[http::field::referer]);
  }
  x.authorized = message.find(http::field::authorization) != message.end();
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
      if (hooks) note_connected(*hooks, x.reused ? nullptr : &upstream.connect_times());
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
    } catch (const Challenged& challenged) {
      // Once: a second 401 comes back to the browser without its challenge.
      message.set(http::field::authorization, challenged.authorization);
      x.authorized = true;
      upstream.close();
      continue;
    }
    upstream.close();
    if (stale && attempt == 0 && x.bodiless) continue;
    if (stale) failure = UpstreamFailure(http::status::bad_gateway, origin.authority() + " closed the connection");
    if (hooks) note_end(*hooks, failure->what(), std::string());
    if (answered) co_return false;
    context.note(failure->what());
    co_return co_await answer_failure(client, *failure, x, x.keep_alive && request.is_done(), context);
  }
}

}  // namespace Tavrin::Proxy::Http
