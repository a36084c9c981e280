// Internal to the proxy's HTTP side: moving bytes between two streams
// without holding whole bodies. A message body is passed on piece by
// piece as it arrives (relay_body), and a connection switched to another
// protocol, or a CONNECT tunnel, is copied both ways as bytes (tunnel).
// Each stream is plain TCP or TLS behind one AnyStream; the time-outs are
// set on its lowest layer before every wait.
#ifndef QUORVANE_PROXY_HTTP_STREAM_RELAY_H_
#define QUORVANE_PROXY_HTTP_STREAM_RELAY_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/awaitable.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "proxy/http/any_stream.h"

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

// Sees the body bytes that a relay passes on (a run's request log keeps
// them); `take` gets each piece as it goes out.
struct BodyTap {
  std::function<void(std::string_view)> take;
};

// Passes the body of the message that `parser` has read the header of from
// `in` on to `out`, behind the header, which it writes first. `prefix`
// (bytes of the body already taken from the parser) goes out before the
// rest. `wait` bounds every read and write. `tap`, if any, sees the body's
// bytes. Returns the first error, with need_buffer taken as none.
asio::awaitable<error_code> relay_body(AnyStream& in, beast::flat_buffer& in_buffer,
                                       http::parser<true, http::buffer_body>& parser, AnyStream& out,
                                       std::chrono::milliseconds wait, std::string_view prefix = {},
                                       const BodyTap* tap = nullptr);
asio::awaitable<error_code> relay_body(AnyStream& in, beast::flat_buffer& in_buffer,
                                       http::parser<false, http::buffer_body>& parser, AnyStream& out,
                                       std::chrono::milliseconds wait, std::string_view prefix = {},
                                       const BodyTap* tap = nullptr);

// Reads the next piece of the body of the message whose header `parser`
// has read from `in`, into `chunk` (at most its size), within `wait`: the
// error, with need_buffer (a full chunk) taken as none, and the bytes
// read, a view into `chunk`. The body has ended when parser.is_done().
asio::awaitable<std::tuple<error_code, std::string_view>> read_body_piece(
    AnyStream& in, beast::flat_buffer& in_buffer, http::parser<true, http::buffer_body>& parser,
    std::vector<char>& chunk, std::chrono::milliseconds wait);
asio::awaitable<std::tuple<error_code, std::string_view>> read_body_piece(
    AnyStream& in, beast::flat_buffer& in_buffer, http::parser<false, http::buffer_body>& parser,
    std::vector<char>& chunk, std::chrono::milliseconds wait);

// Joins a and b as a byte tunnel until both ways have ended, or nothing
// has crossed either way for `idle`; a way that has ended leaves the other
// `idle_after_end` to end too. Bytes already read into a's or b's buffer
// go across first. `a_to_b` and `b_to_a`, if any, see the bytes each way.
asio::awaitable<void> tunnel(AnyStream& a, beast::flat_buffer& a_buffer, AnyStream& b, beast::flat_buffer& b_buffer,
                             std::chrono::milliseconds idle_after_end, std::chrono::milliseconds idle,
                             const BodyTap* a_to_b = nullptr, const BodyTap* b_to_a = nullptr);

// Writes `header`, then `body` (as one chunk, when not empty, and the last
// one when `chunked`), in one write within `wait`.
asio::awaitable<error_code> write_with_body(AnyStream& out, std::string header, std::string_view body, bool chunked,
                                            std::chrono::milliseconds wait);

// Writes a whole message held in memory (or one without a body) to `out`
// within `wait`: its header and body leave in one write of our own, past
// Beast's serializer, which cost more to compile than all the rest of a
// coroutine around it.
template <bool isRequest, class Body>
asio::awaitable<error_code> write_message(AnyStream& out, http::message<isRequest, Body>& message,
                                          std::chrono::milliseconds wait) {
  static_assert(std::is_same_v<Body, http::string_body> || std::is_same_v<Body, http::empty_body>);
  std::string_view body;
  if constexpr (std::is_same_v<Body, http::string_body>) body = message.body();
  return write_with_body(out, wire_header(message.base()), body, message.chunked(), wait);
}

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_STREAM_RELAY_H_
