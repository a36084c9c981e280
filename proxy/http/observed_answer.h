// Internal to the proxy's HTTP side: a forwarded exchange as a run's
// request log sees it (the times it was sent and answered, the bodies both
// ways, the answer's status and headers, its end or failure), and the
// answer changed by a rule (status, headers and text replaced; its body
// paced) before it goes to the browser.
#ifndef QUORVANE_PROXY_HTTP_OBSERVED_ANSWER_H_
#define QUORVANE_PROXY_HTTP_OBSERVED_ANSWER_H_

#include <string>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/forward.h"
#include "proxy/http/stream_relay.h"
#include "proxy/http/upstream.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// The header fields as the log keeps them: names in lower case.
Network::Fields logged_fields(const http::fields& fields);

// The connection to the origin is there: newly made in `times`' steps, or
// reused (null).
void note_connected(ForwardHooks& hooks, const Upstream::ConnectTimes* times);
void note_sent(ForwardHooks& hooks);
void note_body_sent(ForwardHooks& hooks);
void note_answer(ForwardHooks& hooks, const http::response_header<>& answer);
// Ends the entry: `failure` empty for an answer that came whole. A body
// sent with `encoding` (Content-Encoding) is kept decoded.
void note_end(ForwardHooks& hooks, const std::string& failure, const std::string& encoding);
BodyTap request_body_tap(ForwardHooks& hooks);
BodyTap response_body_tap(ForwardHooks& hooks);

// A WebSocket's messages both ways, read from the tunnel's bytes into the
// entry of its upgrade (the lock taken once per message, not per piece).
class WebSocketRecording {
 public:
  explicit WebSocketRecording(ForwardHooks& hooks);
  WebSocketRecording(const WebSocketRecording&) = delete;
  WebSocketRecording& operator=(const WebSocketRecording&) = delete;
  const BodyTap* sent() const { return &sent_tap_; }
  const BodyTap* received() const { return &received_tap_; }

 private:
  void take(Network::WebSocketFrames& frames, std::string_view bytes);
  ForwardHooks& hooks_;
  Network::WebSocketFrames sent_frames_;
  Network::WebSocketFrames received_frames_;
  BodyTap sent_tap_;
  BodyTap received_tap_;
};

// Whether an answer opens a WebSocket.
bool opens_websocket(const http::response_header<>& answer);

// Whether the rule changes the answer (so it is taken whole first).
bool changes_answer(const ForwardHooks& hooks);

// Makes a rule's `response` changes to an answer held whole: status,
// header fields, and the text replaced in its body (decoded first; it goes
// on without its Content-Encoding).
void change_answer(http::response_header<>& answer, std::string& body, const Network::ResponseChanges& changes,
                   std::size_t max_bytes);

// Takes the answer whose header `parser` has read whole from `up`, changes
// it as the rule says, and sends it to `client` (paced when the rule
// throttles; given the support scripts when `inject`). Returns whether the
// client connection may carry another request.
boost::asio::awaitable<bool> send_changed_answer(AnyStream& client, AnyStream& up, beast::flat_buffer& up_buffer,
                                                 http::response_parser<http::buffer_body>& parser, bool keep_alive,
                                                 bool origin_keeps, Upstream& upstream, bool inject,
                                                 ForwardHooks& hooks, const std::string& web_origin,
                                                 ProxyContext& context);

// Sends `header` and `body` (whole, with its length) to `client`, at
// `bytes_per_second` when not 0, else at once.
boost::asio::awaitable<error_code> send_paced(AnyStream& client, std::string header, std::string_view body,
                                              std::uint64_t bytes_per_second, std::chrono::milliseconds wait);

// Gives an HTML body the support scripts, as a page passed on is given
// them, and sets the answer's fields for it.
void inject_page(AnyStream& client, http::fields& answer, std::string& body, const std::string& web_origin,
                 ProxyContext& context);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_OBSERVED_ANSWER_H_
