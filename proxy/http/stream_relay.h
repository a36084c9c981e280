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
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

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

// The line that opens a chunk of `size` bytes, and the chunk that ends a
// chunked body (with no trailer fields).
inline std::string chunk_size_line(std::size_t size) {
  std::ostringstream line;
  line << std::hex << size << "\r\n";
  return line.str();
}
inline constexpr std::string_view kLastChunk = "0\r\n\r\n";

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
  // Otherwise the body goes piece by piece as it comes, framed as its
  // header says (chunked or as it is), by writes of our own: Beast's
  // serializer, instantiated for every pair of streams, cost more to
  // compile than all the rest of the proxy's forwarding.
  const bool chunked = parser.get().chunked();
  std::string header = wire_header(parser.get().base());
  // The header goes first on its own when body bytes may be slow to come
  // (an answer streamed in pieces must show its header at once).
  if (!parser.is_done()) {
    beast::get_lowest_layer(out).expires_after(wait);
    auto [header_error, header_bytes] = co_await asio::async_write(out, asio::buffer(header), kTuple);
    if (header_error) co_return header_error;
    header.clear();
  }
  std::vector<char> buffer(parser.is_done() ? 0 : kChunkBufferBytes);
  bool prefix_pending = !prefix.empty();
  for (bool more = true; more;) {
    std::string_view piece;
    if (prefix_pending) {
      piece = prefix;
      prefix_pending = false;
    } else if (!parser.is_done()) {
      auto& body = parser.get().body();
      body.data = buffer.data();
      body.size = buffer.size();
      beast::get_lowest_layer(in).expires_after(wait);
      auto [ec, n] = co_await http::async_read_some(in, in_buffer, parser, kTuple);
      if (ec == http::error::need_buffer) ec = {};
      if (ec) co_return ec;
      piece = std::string_view(buffer.data(), buffer.size() - body.size);
      more = !parser.is_done();
    } else {
      more = false;
    }
    // No bytes must mean no chunk: an empty chunk ends a chunked body.
    const std::string size_line = chunked && !piece.empty() ? chunk_size_line(piece.size()) : std::string();
    const std::string_view piece_end = chunked && !piece.empty() ? "\r\n" : "";
    const std::string_view last_chunk = chunked && !more ? kLastChunk : "";
    const std::array<asio::const_buffer, 5> pieces{asio::buffer(header), asio::buffer(size_line),
                                                   asio::buffer(piece.data(), piece.size()),
                                                   asio::buffer(piece_end.data(), piece_end.size()),
                                                   asio::buffer(last_chunk.data(), last_chunk.size())};
    if (asio::buffer_size(pieces) == 0) continue;
    beast::get_lowest_layer(out).expires_after(wait);
    auto [ec, n] = co_await asio::async_write(out, pieces, kTuple);
    if (ec) co_return ec;
    header.clear();
  }
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

// Writes a whole message to `out` within `wait`. A body held in memory,
// or none, leaves behind its header in one write of our own: Beast's
// serializer, instantiated for every stream and body type, cost more to
// compile than all the rest of a coroutine around it. Other bodies (a
// file) go through the serializer.
template <class Stream, bool isRequest, class Body>
asio::awaitable<error_code> write_message(Stream& out, http::message<isRequest, Body>& message,
                                          std::chrono::milliseconds wait) {
  beast::get_lowest_layer(out).expires_after(wait);
  if constexpr (std::is_same_v<Body, http::string_body> || std::is_same_v<Body, http::empty_body>) {
    const std::string header = wire_header(message.base());
    std::string_view body;
    if constexpr (std::is_same_v<Body, http::string_body>) body = message.body();
    // A chunked message is one chunk, when not empty, and the last one.
    const bool chunked = message.chunked();
    const std::string size_line = chunked && !body.empty() ? chunk_size_line(body.size()) : std::string();
    const std::string_view body_end = chunked && !body.empty() ? "\r\n" : "";
    const std::string_view last_chunk = chunked ? kLastChunk : "";
    const std::array<asio::const_buffer, 5> pieces{asio::buffer(header), asio::buffer(size_line),
                                                   asio::buffer(body.data(), body.size()),
                                                   asio::buffer(body_end.data(), body_end.size()),
                                                   asio::buffer(last_chunk.data(), last_chunk.size())};
    auto [ec, n] = co_await asio::async_write(out, pieces, kTuple);
    co_return ec;
  } else {
    auto [ec, n] = co_await http::async_write(out, message, kTuple);
    co_return ec;
  }
}

// The relays between a client and an origin, for one pair of stream types:
// the explicit instantiations with an empty `prefix`, their declarations
// with `extern`. Each pair is instantiated in files of its own
// (stream_relay_<client>_<origin>*.cpp), so that the files that use them
// compile without them; where a pair's three together take long to
// compile, the request's body, the answer's body and the tunnel each have
// a file.
#define QUORVANE_RELAY_REQUEST(prefix, Client, Origin)                                                        \
  prefix template asio::awaitable<error_code> relay_body(                                                     \
      Client&, beast::flat_buffer&, http::parser<true, http::buffer_body>&, Origin&, std::chrono::milliseconds, \
      std::string_view)
#define QUORVANE_RELAY_ANSWER(prefix, Client, Origin)                                                          \
  prefix template asio::awaitable<error_code> relay_body(                                                      \
      Origin&, beast::flat_buffer&, http::parser<false, http::buffer_body>&, Client&, std::chrono::milliseconds, \
      std::string_view)
#define QUORVANE_TUNNEL(prefix, Client, Origin)                                                             \
  prefix template asio::awaitable<void> tunnel(Client&, beast::flat_buffer&, Origin&, beast::flat_buffer&, \
                                               std::chrono::milliseconds, std::chrono::milliseconds)
#define QUORVANE_STREAM_RELAY(prefix, Client, Origin) \
  QUORVANE_RELAY_REQUEST(prefix, Client, Origin);     \
  QUORVANE_RELAY_ANSWER(prefix, Client, Origin);      \
  QUORVANE_TUNNEL(prefix, Client, Origin)
QUORVANE_STREAM_RELAY(extern, beast::tcp_stream, beast::tcp_stream);
QUORVANE_STREAM_RELAY(extern, beast::tcp_stream, beast::ssl_stream<beast::tcp_stream>);
QUORVANE_STREAM_RELAY(extern, beast::ssl_stream<beast::tcp_stream>, beast::tcp_stream);
QUORVANE_STREAM_RELAY(extern, beast::ssl_stream<beast::tcp_stream>, beast::ssl_stream<beast::tcp_stream>);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_STREAM_RELAY_H_
