// Internal to the proxy's HTTP side: moving bytes between two streams
// without holding whole bodies. A message body is passed on piece by
// piece as it arrives (relay_body), and a connection switched to another
// protocol, or a CONNECT tunnel, is copied both ways as bytes (tunnel).
// Each stream is a beast::tcp_stream or a TLS stream over one; the
// time-outs are set on the lowest layer before every wait.
#ifndef QUORVANE_PROXY_HTTP_STREAM_RELAY_H_
#define QUORVANE_PROXY_HTTP_STREAM_RELAY_H_

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

namespace Tavrin::Proxy::Http {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using boost::system::error_code;

inline constexpr auto kTuple = asio::as_tuple(asio::use_awaitable);
inline constexpr std::size_t kRelayBufferBytes = 512 * 1024;
// For bodies of unknown length, which go through the parser.
inline constexpr std::size_t kChunkBufferBytes = 64 * 1024;
// Room of a connection's read buffer: reads are as large as its free
// space, so a small answer comes in whole with its header.
inline constexpr std::size_t kReadBufferBytes = 16 * 1024;

// The header as it goes on the wire, in one piece: written together with
// the body bytes at hand, a small message leaves in one send of two
// buffers instead of one buffer per field.
inline std::string wire_header(const http::request_header<>& header) {
  std::string out;
  out.reserve(256);
  out.append(header.method_string()).append(" ").append(header.target());
  out.append(header.version() == 10 ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n");
  for (const auto& field : header) out.append(field.name_string()).append(": ").append(field.value()).append("\r\n");
  out.append("\r\n");
  return out;
}

inline std::string wire_header(const http::response_header<>& header) {
  std::string out;
  out.reserve(256);
  out.append(header.version() == 10 ? "HTTP/1.0 " : "HTTP/1.1 ").append(std::to_string(header.result_int()));
  const auto reason = header.reason();
  out.append(" ").append(reason.empty() ? http::obsolete_reason(header.result()) : reason).append("\r\n");
  for (const auto& field : header) out.append(field.name_string()).append(": ").append(field.value()).append("\r\n");
  out.append("\r\n");
  return out;
}

// Passes the body of the message that `parser` has read the header of from
// `in` on to `out`, behind the header, which it writes first. `prefix`
// (bytes of the body already taken from the parser) goes out before the
// rest. `wait` bounds every read and write. Returns the first error, with
// need_buffer taken as none.
template <bool isRequest, class In, class Out>
asio::awaitable<error_code> relay_body(In& in, beast::flat_buffer& in_buffer,
                                       http::parser<isRequest, http::buffer_body>& parser, Out& out,
                                       std::chrono::milliseconds wait, std::string_view prefix = {}) {
  const auto known_length = parser.content_length_remaining();
  // A message without a body (one whose framing says none follows, such
  // as the answer to HEAD) is its header alone.
  if (prefix.empty() && parser.is_done()) {
    const std::string header = wire_header(parser.get().base());
    beast::get_lowest_layer(out).expires_after(wait);
    auto [ec, n] = co_await asio::async_write(out, asio::buffer(header), kTuple);
    co_return ec;
  }
  // A body of known length that goes out as it came is copied as raw
  // bytes, in reads as large as the socket has, past the parser. The
  // header leaves in one write with the body bytes already read.
  if (prefix.empty() && !parser.get().chunked() && known_length) {
    std::uint64_t left = *known_length;
    {
      const std::size_t first = static_cast<std::size_t>(std::min<std::uint64_t>(in_buffer.size(), left));
      const std::string header = wire_header(parser.get().base());
      const std::array<asio::const_buffer, 2> pieces{asio::buffer(header), asio::buffer(in_buffer.data().data(), first)};
      beast::get_lowest_layer(out).expires_after(wait);
      auto [ec, n] = co_await asio::async_write(out, pieces, kTuple);
      if (ec) co_return ec;
      in_buffer.consume(first);
      left -= first;
    }
    if (left == 0) co_return error_code{};
    // Sized to the body, uninitialised: small bodies cost no large buffer.
    const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(left, kRelayBufferBytes));
    std::unique_ptr<char[]> raw(new char[size]);
    const asio::mutable_buffer buffer(raw.get(), size);
    while (left > 0) {
      beast::get_lowest_layer(in).expires_after(wait);
      auto [ec, got] = co_await in.async_read_some(
          asio::buffer(buffer.data(), static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), left))),
          kTuple);
      if (ec) co_return ec;
      beast::get_lowest_layer(out).expires_after(wait);
      auto [write_error, written] = co_await asio::async_write(out, asio::buffer(buffer.data(), got), kTuple);
      if (write_error) co_return write_error;
      left -= got;
    }
    co_return error_code{};
  }
  http::serializer<isRequest, http::buffer_body> serializer{parser.get()};
  // Otherwise the header goes first on its own when body bytes may be slow
  // to come (an answer streamed in pieces must show its header at once).
  if (!parser.is_done()) {
    beast::get_lowest_layer(out).expires_after(wait);
    auto [header_error, header_bytes] = co_await http::async_write_header(out, serializer, kTuple);
    if (header_error) co_return header_error;
  }
  std::vector<char> buffer(parser.is_done() ? 0 : kChunkBufferBytes);
  bool prefix_pending = !prefix.empty();
  do {
    auto& body = parser.get().body();
    if (prefix_pending) {
      body.data = const_cast<char*>(prefix.data());
      body.size = prefix.size();
      body.more = true;
      prefix_pending = false;
    } else if (!parser.is_done()) {
      body.data = buffer.data();
      body.size = buffer.size();
      beast::get_lowest_layer(in).expires_after(wait);
      auto [ec, n] = co_await http::async_read_some(in, in_buffer, parser, kTuple);
      if (ec == http::error::need_buffer) ec = {};
      if (ec) co_return ec;
      body.size = buffer.size() - body.size;
      // No bytes must mean no buffer: an empty buffer would go out as an
      // empty chunk, which ends a chunked body.
      body.data = body.size > 0 ? buffer.data() : nullptr;
      body.more = !parser.is_done();
    } else {
      body.data = nullptr;
      body.size = 0;
      body.more = false;
    }
    beast::get_lowest_layer(out).expires_after(wait);
    auto [ec, n] = co_await http::async_write(out, serializer, kTuple);
    if (ec == http::error::need_buffer) ec = {};
    if (ec) co_return ec;
  } while (!serializer.is_done());
  co_return error_code{};
}

// When a tunnel last carried a byte, either way.
struct TunnelActivity {
  std::chrono::steady_clock::time_point last = std::chrono::steady_clock::now();
  bool ended = false;
};

// Copies bytes from `from` to `to` until `from` ends, then ends the
// sending side of `to`.
template <class From, class To>
asio::awaitable<void> pump(From& from, To& to, std::chrono::milliseconds idle_after_end, TunnelActivity& activity) {
  std::vector<char> buffer(kRelayBufferBytes);
  for (;;) {
    auto [ec, n] = co_await from.async_read_some(asio::buffer(buffer), kTuple);
    if (n > 0) {
      activity.last = std::chrono::steady_clock::now();
      auto [write_error, written] = co_await asio::async_write(to, asio::buffer(buffer.data(), n), kTuple);
      if (write_error) break;
      activity.last = std::chrono::steady_clock::now();
    }
    if (ec) break;
  }
  error_code ignored;
  beast::get_lowest_layer(to).socket().shutdown(asio::socket_base::shutdown_send, ignored);
  // The other way may still be busy; it may not hang on for ever.
  beast::get_lowest_layer(from).expires_after(idle_after_end);
  beast::get_lowest_layer(to).expires_after(idle_after_end);
}

template <class A, class B>
asio::awaitable<void> pump_both(A& a, B& b, std::chrono::milliseconds idle_after_end, TunnelActivity& activity,
                                asio::steady_timer& watch) {
  using namespace asio::experimental::awaitable_operators;
  co_await (pump(a, b, idle_after_end, activity) && pump(b, a, idle_after_end, activity));
  activity.ended = true;
  watch.cancel();
}

// Ends both ways of a tunnel that has carried nothing for `idle`.
template <class A, class B>
asio::awaitable<void> watch_idle(A& a, B& b, std::chrono::milliseconds idle, TunnelActivity& activity,
                                 asio::steady_timer& watch) {
  while (!activity.ended) {
    watch.expires_at(activity.last + idle);
    co_await watch.async_wait(kTuple);
    if (activity.ended) co_return;
    if (std::chrono::steady_clock::now() - activity.last >= idle) {
      error_code ignored;
      beast::get_lowest_layer(a).cancel();
      beast::get_lowest_layer(b).cancel();
      beast::get_lowest_layer(a).socket().shutdown(asio::socket_base::shutdown_both, ignored);
      beast::get_lowest_layer(b).socket().shutdown(asio::socket_base::shutdown_both, ignored);
      co_return;
    }
  }
}

// Joins a and b as a byte tunnel until both ways have ended, or nothing
// has crossed either way for `idle`. Bytes already read into a's or b's
// buffer go across first.
template <class A, class B>
asio::awaitable<void> tunnel(A& a, beast::flat_buffer& a_buffer, B& b, beast::flat_buffer& b_buffer,
                             std::chrono::milliseconds idle_after_end, std::chrono::milliseconds idle) {
  using namespace asio::experimental::awaitable_operators;
  beast::get_lowest_layer(a).expires_after(idle);
  beast::get_lowest_layer(b).expires_after(idle);
  if (a_buffer.size() > 0) {
    auto [ec, n] = co_await asio::async_write(b, a_buffer.data(), kTuple);
    if (ec) co_return;
    a_buffer.consume(a_buffer.size());
  }
  if (b_buffer.size() > 0) {
    auto [ec, n] = co_await asio::async_write(a, b_buffer.data(), kTuple);
    if (ec) co_return;
    b_buffer.consume(b_buffer.size());
  }
  beast::get_lowest_layer(a).expires_never();
  beast::get_lowest_layer(b).expires_never();
  TunnelActivity activity;
  asio::steady_timer watch(beast::get_lowest_layer(a).get_executor());
  co_await (pump_both(a, b, idle_after_end, activity, watch) && watch_idle(a, b, idle, activity, watch));
}

// Writes a whole message to `out` within `wait`.
template <class Stream, bool isRequest, class Body>
asio::awaitable<error_code> write_message(Stream& out, http::message<isRequest, Body>& message,
                                          std::chrono::milliseconds wait) {
  beast::get_lowest_layer(out).expires_after(wait);
  auto [ec, n] = co_await http::async_write(out, message, kTuple);
  co_return ec;
}

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_STREAM_RELAY_H_
