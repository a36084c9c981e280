#include "proxy/http/observed_answer.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include <boost/asio/steady_timer.hpp>

#include "proxy/http/body_decoding.h"
#include "proxy/http/header_text.h"
#include "proxy/http/page_rules.h"
#include "proxy/http/proxy_context.h"
#include "proxy/pages/page_channel.h"

namespace Tavrin::Proxy::Http {

namespace {

double since_start(const Network::LoggedRequest& entry) {
  return std::chrono::duration<double, std::milli>(std::chrono::system_clock::now() - entry.started).count();
}

}  // namespace

Network::Fields logged_fields(const http::fields& fields) {
  Network::Fields out;
  out.reserve(static_cast<std::size_t>(std::distance(fields.begin(), fields.end())));
  for (const auto& field : fields) out.emplace_back(lower_case(field.name_string()), std::string(field.value()));
  return out;
}

void note_connected(ForwardHooks& hooks, const Upstream::ConnectTimes* times) {
  const double now = since_start(*hooks.entry);
  hooks.log->update(hooks.entry, [&](Network::LoggedRequest& r) {
    r.dns = times ? times->dns : -1;
    r.connect = times ? times->connect : -1;
    r.ssl = times ? times->ssl : -1;
    // Waiting before: a rule's delay, and the connection's own steps.
    r.blocked = std::max(0.0, now - (times ? std::max(0.0, times->dns) + std::max(0.0, times->connect) +
                                                 std::max(0.0, times->ssl)
                                           : 0.0));
  });
}

void note_sent(ForwardHooks& hooks) {
  const double now = since_start(*hooks.entry);
  hooks.log->update(hooks.entry, [&](Network::LoggedRequest& r) {
    if (r.sent < 0) r.sent = now;
  });
}

void note_answer(ForwardHooks& hooks, const http::response_header<>& answer) {
  const double now = since_start(*hooks.entry);
  Network::Fields fields = logged_fields(answer);
  hooks.answer_pieces.clear();
  hooks.answer_cut = false;
  hooks.log->update(hooks.entry, [&](Network::LoggedRequest& r) {
    r.status = static_cast<int>(answer.result_int());
    r.response_headers = std::move(fields);
    r.upstream_version = answer.version() == 10 ? "HTTP/1.0" : "HTTP/1.1";
    r.first = now;
  });
}

namespace {

// Moves the request's gathered body into the entry (under the log's lock).
void publish_post(ForwardHooks& hooks, Network::LoggedRequest& r) {
  if (!hooks.post_taken) return;
  hooks.post_taken = false;
  r.post_data = std::move(hooks.post_pieces);
  r.post_cut = hooks.post_cut;
}

}  // namespace

void note_end(ForwardHooks& hooks, const std::string& failure, const std::string& encoding) {
  std::string body = std::move(hooks.answer_pieces);
  const bool answered = !body.empty() || hooks.answer_cut;
  if (!encoding.empty() && failure.empty() && !hooks.answer_cut) {
    if (auto decoded = decode_content(body, encoding, hooks.log->limits().max_body_bytes)) body = std::move(*decoded);
  }
  hooks.log->end(hooks.entry, failure, [&](Network::LoggedRequest& r) {
    publish_post(hooks, r);
    if (!answered) return;
    r.response_body = std::move(body);
    r.body_cut = hooks.answer_cut;
  });
}

void note_body_sent(ForwardHooks& hooks) {
  const double now = since_start(*hooks.entry);
  hooks.log->update(hooks.entry, [&](Network::LoggedRequest& r) {
    publish_post(hooks, r);
    r.sent_whole = now;
  });
}

// The taps only gather: the log's lock is taken once per exchange, not
// once per piece.
BodyTap request_body_tap(ForwardHooks& hooks) {
  return BodyTap{[&hooks](std::string_view bytes) {
    hooks.post_taken = true;
    hooks.log->keep_body(hooks.post_pieces, hooks.post_cut, bytes);
  }};
}

BodyTap response_body_tap(ForwardHooks& hooks) {
  return BodyTap{[&hooks](std::string_view bytes) {
    hooks.log->keep_body(hooks.answer_pieces, hooks.answer_cut, bytes);
  }};
}

WebSocketRecording::WebSocketRecording(ForwardHooks& hooks)
    : hooks_(hooks),
      sent_frames_(true, hooks.log->limits().max_body_bytes),
      received_frames_(false, hooks.log->limits().max_body_bytes),
      sent_tap_{[this](std::string_view bytes) { take(sent_frames_, bytes); }},
      received_tap_{[this](std::string_view bytes) { take(received_frames_, bytes); }} {}

void WebSocketRecording::take(Network::WebSocketFrames& frames, std::string_view bytes) {
  std::vector<Network::WebSocketMessage> messages;
  frames.feed(bytes, messages);
  if (messages.empty()) return;
  const std::size_t limit = hooks_.log->limits().max_body_bytes;
  hooks_.log->update(hooks_.entry, [&](Network::LoggedRequest& r) {
    for (auto& message : messages) {
      // Past the limit, messages are still listed, their data left out.
      const std::size_t room = limit > r.websocket_bytes ? limit - r.websocket_bytes : 0;
      if (message.data.size() > room) {
        message.data.resize(room);
        message.cut = true;
      }
      r.websocket_bytes += message.data.size();
      r.websocket_messages.push_back(std::move(message));
    }
  });
}

bool opens_websocket(const http::response_header<>& answer) {
  return answer.result() == http::status::switching_protocols &&
         lower_case(answer[http::field::upgrade]).find("websocket") != std::string::npos;
}

bool changes_answer(const ForwardHooks& hooks) {
  return hooks.action && (hooks.action->response || hooks.action->throttle > 0);
}

void inject_page(AnyStream& client, http::fields& answer, std::string& body, const std::string& web_origin,
                 ProxyContext& context) {
  const bool has_policy = answer.find(kPolicyField) != answer.end();
  const std::string nonce = has_policy ? make_nonce() : std::string();
  const std::string key = agent_key(beast::get_lowest_layer(client).socket(), web_origin, context);
  context.package.inject(body, nonce, key);
  prepare_injected_response(answer, nonce);
}

asio::awaitable<error_code> send_paced(AnyStream& client, std::string header, std::string_view body,
                                       std::uint64_t bytes_per_second, std::chrono::milliseconds wait) {
  if (bytes_per_second == 0) co_return co_await write_with_body(client, std::move(header), body, false, wait);
  beast::get_lowest_layer(client).expires_after(wait);
  auto [ec, n] = co_await asio::async_write(client, asio::buffer(header), kTuple);
  if (ec) co_return ec;
  // A slice every 100 ms keeps the pace even for small bodies.
  const std::size_t slice = static_cast<std::size_t>(std::max<std::uint64_t>(1, bytes_per_second / 10));
  asio::steady_timer timer(client.get_executor());
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t sent = 0; sent < body.size();) {
    const std::size_t size = std::min(slice, body.size() - sent);
    beast::get_lowest_layer(client).expires_after(wait);
    auto [write_error, written] = co_await asio::async_write(client, asio::buffer(body.data() + sent, size), kTuple);
    if (write_error) co_return write_error;
    sent += size;
    // When the bytes sent so far are due at this pace.
    timer.expires_at(start + std::chrono::microseconds(sent * 1000000 / bytes_per_second));
    co_await timer.async_wait(kTuple);
  }
  co_return error_code{};
}

void change_answer(http::response_header<>& answer, std::string& body, const Network::ResponseChanges& changes,
                   std::size_t max_bytes) {
  const std::string encoding(answer[http::field::content_encoding]);
  if (!encoding.empty()) {
    if (auto decoded = decode_content(body, encoding, max_bytes)) {
      body = std::move(*decoded);
      answer.erase(http::field::content_encoding);
    }
  }
  if (changes.status) answer.result(static_cast<unsigned>(*changes.status));
  for (const auto& [name, value] : changes.headers) {
    if (value)
      answer.set(name, *value);
    else
      answer.erase(name);
  }
  if (!changes.replace.empty()) body = Network::replace_all(std::move(body), changes.replace);
}

asio::awaitable<bool> send_changed_answer(AnyStream& client, AnyStream& up, beast::flat_buffer& up_buffer,
                                          http::response_parser<http::buffer_body>& parser, bool keep_alive,
                                          bool origin_keeps, Upstream& upstream, bool inject, ForwardHooks& hooks,
                                          const std::string& web_origin, ProxyContext& context) {
  std::string body;
  std::vector<char> chunk(kChunkBufferBytes);
  while (!parser.is_done()) {
    auto [ec, piece] = co_await read_body_piece(up, up_buffer, parser, chunk, context.settings.read_timeout);
    if (ec) {
      upstream.close();
      note_end(hooks, "the answer was cut short: " + ec.message(), std::string());
      co_return false;
    }
    body.append(piece);
    if (body.size() > context.settings.inject_max_bytes) {
      upstream.close();
      note_end(hooks, "the answer is larger than " + std::to_string(context.settings.inject_max_bytes) +
                          " bytes, more than a rule changes", std::string());
      co_return false;
    }
  }
  if (!origin_keeps) upstream.close();
  auto& answer = parser.get();
  const Network::RouteAction& action = *hooks.action;
  if (action.response) change_answer(answer.base(), body, *action.response, context.settings.inject_max_bytes);
  if (inject && answer[http::field::content_encoding].empty()) inject_page(client, answer, body, web_origin, context);
  answer.chunked(false);
  answer.content_length(body.size());
  answer.keep_alive(keep_alive);
  const double now = std::chrono::duration<double, std::milli>(std::chrono::system_clock::now() - hooks.entry->started).count();
  hooks.log->update(hooks.entry, [&](Network::LoggedRequest& r) {
    r.status = static_cast<int>(answer.result_int());
    r.response_headers = logged_fields(answer);
    r.response_body.clear();
    hooks.log->keep_body(r.response_body, r.body_cut, body);
    if (r.first < 0) r.first = now;
  });
  const error_code ec = co_await send_paced(client, wire_header(answer.base()), body, action.throttle,
                                            context.settings.read_timeout);
  hooks.log->end(hooks.entry, ec ? "the answer could not be sent: " + ec.message() : std::string());
  co_return !ec && keep_alive;
}

}  // namespace Tavrin::Proxy::Http
