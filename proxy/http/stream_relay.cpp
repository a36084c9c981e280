#include "proxy/http/stream_relay.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/steady_timer.hpp>

namespace Tavrin::Proxy::Http {

namespace {

template <bool isRequest>
asio::awaitable<std::tuple<error_code, std::string_view>> read_piece(AnyStream& in, beast::flat_buffer& in_buffer,
                                                                      http::parser<isRequest, http::buffer_body>& parser,
                                                                      std::vector<char>& chunk,
                                                                      std::chrono::milliseconds wait) {
  auto& body = parser.get().body();
  body.data = chunk.data();
  body.size = chunk.size();
  beast::get_lowest_layer(in).expires_after(wait);
  auto [ec, n] = co_await http::async_read_some(in, in_buffer, parser, kTuple);
  if (ec == http::error::need_buffer) ec = {};
  co_return std::tuple<error_code, std::string_view>{ec, std::string_view(chunk.data(), chunk.size() - body.size)};
}

template <bool isRequest>
asio::awaitable<error_code> relay(AnyStream& in, beast::flat_buffer& in_buffer,
                                  http::parser<isRequest, http::buffer_body>& parser, AnyStream& out,
                                  std::chrono::milliseconds wait, std::string_view prefix, const BodyTap* tap) {
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
      if (tap) tap->take(std::string_view(static_cast<const char*>(in_buffer.data().data()), first));
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
      if (tap) tap->take(std::string_view(static_cast<const char*>(buffer.data()), got));
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
      auto [ec, read] = co_await read_body_piece(in, in_buffer, parser, buffer, wait);
      if (ec) co_return ec;
      piece = read;
      more = !parser.is_done();
    } else {
      more = false;
    }
    if (tap && !piece.empty()) tap->take(piece);
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
asio::awaitable<void> pump(AnyStream& from, AnyStream& to, std::chrono::milliseconds idle_after_end, TunnelActivity& activity,
                           const BodyTap* tap) {
  std::vector<char> buffer(kRelayBufferBytes);
  for (;;) {
    auto [ec, n] = co_await from.async_read_some(asio::buffer(buffer), kTuple);
    if (n > 0) {
      activity.last = std::chrono::steady_clock::now();
      if (tap) tap->take(std::string_view(buffer.data(), n));
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

asio::awaitable<void> pump_both(AnyStream& a, AnyStream& b, std::chrono::milliseconds idle_after_end, TunnelActivity& activity,
                                asio::steady_timer& watch, const BodyTap* a_to_b, const BodyTap* b_to_a) {
  using namespace asio::experimental::awaitable_operators;
  co_await (pump(a, b, idle_after_end, activity, a_to_b) && pump(b, a, idle_after_end, activity, b_to_a));
  activity.ended = true;
  watch.cancel();
}

// Ends both ways of a tunnel that has carried nothing for `idle`.
asio::awaitable<void> watch_idle(AnyStream& a, AnyStream& b, std::chrono::milliseconds idle, TunnelActivity& activity,
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

}  // namespace

asio::awaitable<std::tuple<error_code, std::string_view>> read_body_piece(
    AnyStream& in, beast::flat_buffer& in_buffer, http::parser<true, http::buffer_body>& parser,
    std::vector<char>& chunk, std::chrono::milliseconds wait) {
  return read_piece(in, in_buffer, parser, chunk, wait);
}

asio::awaitable<std::tuple<error_code, std::string_view>> read_body_piece(
    AnyStream& in, beast::flat_buffer& in_buffer, http::parser<false, http::buffer_body>& parser,
    std::vector<char>& chunk, std::chrono::milliseconds wait) {
  return read_piece(in, in_buffer, parser, chunk, wait);
}

asio::awaitable<error_code> relay_body(AnyStream& in, beast::flat_buffer& in_buffer,
                                       http::parser<true, http::buffer_body>& parser, AnyStream& out,
                                       std::chrono::milliseconds wait, std::string_view prefix, const BodyTap* tap) {
  return relay(in, in_buffer, parser, out, wait, prefix, tap);
}

asio::awaitable<error_code> relay_body(AnyStream& in, beast::flat_buffer& in_buffer,
                                       http::parser<false, http::buffer_body>& parser, AnyStream& out,
                                       std::chrono::milliseconds wait, std::string_view prefix, const BodyTap* tap) {
  return relay(in, in_buffer, parser, out, wait, prefix, tap);
}

asio::awaitable<void> tunnel(AnyStream& a, beast::flat_buffer& a_buffer, AnyStream& b, beast::flat_buffer& b_buffer,
                             std::chrono::milliseconds idle_after_end, std::chrono::milliseconds idle,
                             const BodyTap* a_to_b, const BodyTap* b_to_a) {
  using namespace asio::experimental::awaitable_operators;
  beast::get_lowest_layer(a).expires_after(idle);
  beast::get_lowest_layer(b).expires_after(idle);
  const auto seen = [](const BodyTap* tap, const beast::flat_buffer& buffer) {
    if (!tap || buffer.size() == 0) return;
    const asio::const_buffer bytes = buffer.data();
    tap->take(std::string_view(static_cast<const char*>(bytes.data()), bytes.size()));
  };
  seen(a_to_b, a_buffer);
  seen(b_to_a, b_buffer);
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
  co_await (pump_both(a, b, idle_after_end, activity, watch, a_to_b, b_to_a) &&
            watch_idle(a, b, idle, activity, watch));
}

asio::awaitable<error_code> write_with_body(AnyStream& out, std::string header, std::string_view body, bool chunked,
                                            std::chrono::milliseconds wait) {
  beast::get_lowest_layer(out).expires_after(wait);
  const std::string size_line = chunked && !body.empty() ? chunk_size_line(body.size()) : std::string();
  const std::string_view body_end = chunked && !body.empty() ? "\r\n" : "";
  const std::string_view last_chunk = chunked ? kLastChunk : "";
  const std::array<asio::const_buffer, 5> pieces{asio::buffer(header), asio::buffer(size_line),
                                                 asio::buffer(body.data(), body.size()),
                                                 asio::buffer(body_end.data(), body_end.size()),
                                                 asio::buffer(last_chunk.data(), last_chunk.size())};
  auto [ec, n] = co_await asio::async_write(out, pieces, kTuple);
  co_return ec;
}

}  // namespace Tavrin::Proxy::Http
