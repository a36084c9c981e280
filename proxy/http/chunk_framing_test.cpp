// Chunked bodies as the proxy writes them, byte for byte: answers read by a
// raw client and requests read by a raw origin, each decoded here by a
// strict reader of the chunk framing (hex sizes, CRLF after every chunk,
// one empty last chunk and nothing behind it).
#include <sys/socket.h>
#include <sys/time.h>

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

struct Chunked {
  enum class State { kComplete, kIncomplete, kMalformed } state = State::kIncomplete;
  std::string body;
  std::vector<std::size_t> sizes;  // of the chunks before the last one
  std::string why;                 // when malformed
};

// Reads `wire` as a chunked body that must end exactly where `wire` ends.
Chunked decode_chunked(std::string_view wire) {
  Chunked out;
  auto malformed = [&](std::string why) {
    out.state = Chunked::State::kMalformed;
    out.why = std::move(why) + " at byte " + std::to_string(wire.size());
    return out;
  };
  for (;;) {
    const std::size_t line_end = wire.find("\r\n");
    if (line_end == std::string_view::npos) return out;
    const std::string_view line = wire.substr(0, line_end);
    if (line.empty() || line.size() > 16) return malformed("bad chunk size line '" + std::string(line) + "'");
    std::size_t size = 0;
    for (char c : line) {
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                               : c >= 'A' && c <= 'F'   ? c - 'A' + 10
                                                                        : -1;
      if (digit < 0) return malformed("not a hex size '" + std::string(line) + "'");
      size = size * 16 + static_cast<std::size_t>(digit);
    }
    wire.remove_prefix(line_end + 2);
    if (size == 0) {
      if (wire.size() < 2) return out;
      if (wire.substr(0, 2) != "\r\n") return malformed("no CRLF after the last chunk");
      if (wire.size() > 2) return malformed("bytes after the last chunk");
      out.state = Chunked::State::kComplete;
      return out;
    }
    if (wire.size() < size + 2) return out;
    out.body.append(wire.substr(0, size));
    out.sizes.push_back(size);
    if (wire.substr(size, 2) != "\r\n") return malformed("no CRLF after a chunk of " + std::to_string(size));
    wire.remove_prefix(size + 2);
  }
}

// The header block (up to its blank line) and what follows it.
std::pair<std::string, std::string> split_head(const std::string& message) {
  const std::size_t end = message.find("\r\n\r\n");
  if (end == std::string::npos) return {message, {}};
  return {message.substr(0, end + 4), message.substr(end + 4)};
}

bool has_line(const std::string& head, const std::string& line) {
  return head.find("\r\n" + line + "\r\n") != std::string::npos;
}


// Bytes 0..255 over and over: a body in which a lost or moved byte shows.
std::string pattern(std::size_t size, unsigned seed) {
  std::string out(size, '\0');
  for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 7 + seed) & 0xff);
  return out;
}

std::string chunk(const std::string& bytes) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx", bytes.size());
  return std::string(size) + "\r\n" + bytes + "\r\n";
}

class ChunkFramingTest : public ProxyFixture {
 protected:
  // Gets `path` of `origin` through the proxy as a raw HTTP/1.1 client and
  // returns the answer's header and its body decoded as chunks.
  std::pair<std::string, Chunked> get_chunked(const TestOrigin& origin, const std::string& path,
                                              const std::string& extra_fields = {}) {
    const std::string answer =
        raw_exchange(proxy_port(), "GET http://127.0.0.1:" + std::to_string(origin.port()) + path +
                                       " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extra_fields + "\r\n");
    auto [head, body] = split_head(answer);
    return {head, decode_chunked(body)};
  }
};

// An origin's chunks, one of them larger than the proxy's buffer and sizes
// with hex letters, reach the client framed afresh and whole.
TEST_F(ChunkFramingTest, ChunkedAnswerIsFramedExactly) {
  const std::string first = pattern(0x1a, 1), second = pattern(100000, 2), third = pattern(5, 3);
  TestOrigin origin([&](const SeenRequest&) {
    Reply reply;
    reply.raw = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nTransfer-Encoding: chunked\r\n\r\n" +
                chunk(first) + "186a0;name=value\r\n" + second + "\r\n" + chunk(third) + "0\r\n\r\n";
    return reply;
  });
  start_proxy();
  const auto [head, chunked] = get_chunked(origin, "/chunks");
  EXPECT_EQ(head.substr(0, 12), "HTTP/1.1 200") << head;
  EXPECT_TRUE(has_line(head, "Transfer-Encoding: chunked")) << head;
  ASSERT_EQ(chunked.state, Chunked::State::kComplete) << chunked.why;
  EXPECT_TRUE(chunked.body == first + second + third) << chunked.body.size();
  EXPECT_GE(chunked.sizes.size(), 3u);
}

// An answer that ends with its connection goes to a 1.1 client chunked.
TEST_F(ChunkFramingTest, AnswerEndedByCloseIsChunked) {
  const std::string body = pattern(70000, 4);
  TestOrigin origin([&](const SeenRequest&) {
    Reply reply;
    reply.raw = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n" + body;
    return reply;
  });
  start_proxy();
  const auto [head, chunked] = get_chunked(origin, "/until-close");
  EXPECT_TRUE(has_line(head, "Transfer-Encoding: chunked")) << head;
  ASSERT_EQ(chunked.state, Chunked::State::kComplete) << chunked.why;
  EXPECT_TRUE(chunked.body == body) << chunked.body.size();
}

// A document above the injection cap passes chunked: what was held for
// injection goes first, then the rest as it comes, in one framing.
TEST_F(ChunkFramingTest, DocumentAboveTheCapKeepsItsFraming) {
  const std::string page = "<html><head></head><body>" + std::string(5000, 'x') + "</body></html>";
  TestOrigin origin([&](const SeenRequest&) {
    Reply reply;
    reply.fields = {{"Content-Type", "text/html"}};
    reply.body = page;
    reply.chunked = true;
    return reply;
  });
  ProxySettings settings = default_settings();
  settings.inject_max_bytes = 1000;
  start_proxy(settings);
  const auto [head, chunked] = get_chunked(origin, "/page", "Accept: text/html\r\n");
  EXPECT_TRUE(has_line(head, "Transfer-Encoding: chunked")) << head;
  ASSERT_EQ(chunked.state, Chunked::State::kComplete) << chunked.why;
  EXPECT_TRUE(chunked.body == page) << chunked.body.size();
}

// An origin that reads one request's bytes as they come, until its
// chunked body is complete or found malformed, then answers "ok".
class RawOrigin {
 public:
  RawOrigin() : acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {
    thread_ = std::thread([this] { serve(); });
  }
  ~RawOrigin() {
    // Wakes an accept still waiting (the proxy never came) with a
    // connection of its own.
    boost::system::error_code ignored;
    tcp::socket poke(io_);
    poke.connect({asio::ip::address_v4::loopback(), port()}, ignored);
    thread_.join();
  }
  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }
  std::string received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void serve() {
    tcp::socket socket(io_);
    boost::system::error_code ec;
    acceptor_.accept(socket, ec);
    if (ec) return;
    // Bounded: a framing that never completes ends the wait after 10 s.
    timeval limit{10, 0};
    ::setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string bytes;
    char buffer[65536];
    for (;;) {
      const std::size_t n = socket.read_some(asio::buffer(buffer), ec);
      if (ec) break;
      bytes.append(buffer, n);
      if (bytes.find("\r\n\r\n") == std::string::npos) continue;
      if (decode_chunked(split_head(bytes).second).state != Chunked::State::kIncomplete) break;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_ = bytes;
    }
    asio::write(socket, asio::buffer(std::string_view("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok")),
                ec);
    socket.shutdown(tcp::socket::shutdown_both, ec);
  }

  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::thread thread_;
  std::mutex mutex_;
  std::string received_;
};

// A chunked request body, sent by the client in pieces (one larger than the
// proxy's buffer), reaches the origin framed exactly and whole.
TEST_F(ChunkFramingTest, ChunkedRequestBodyIsFramedExactly) {
  RawOrigin origin;
  start_proxy();
  const std::string first = pattern(0x1a, 5), second = pattern(70000, 6), third = pattern(3, 7);
  asio::io_context io;
  tcp::socket client(io);
  client.connect({asio::ip::address_v4::loopback(), proxy_port()});
  asio::write(client, asio::buffer("POST http://127.0.0.1:" + std::to_string(origin.port()) +
                                   "/upload HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                                   "Content-Type: application/octet-stream\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                   chunk(first)));
  // Apart, so that the proxy passes on a piece before the next comes.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  asio::write(client, asio::buffer(chunk(second)));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  asio::write(client, asio::buffer(chunk(third) + "0\r\n\r\n"));
  std::string answer;
  boost::system::error_code ec;
  asio::read(client, asio::dynamic_buffer(answer), ec);
  EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 200") << answer;

  const auto [head, body] = split_head(origin.received());
  EXPECT_EQ(head.substr(0, 12), "POST /upload") << head;
  EXPECT_TRUE(has_line(head, "Transfer-Encoding: chunked")) << head;
  const Chunked chunked = decode_chunked(body);
  ASSERT_EQ(chunked.state, Chunked::State::kComplete) << chunked.why;
  EXPECT_TRUE(chunked.body == first + second + third) << chunked.body.size();
}

// The reader itself: what it takes and what it refuses.
TEST(ChunkReaderTest, RefusesBadFraming) {
  EXPECT_EQ(decode_chunked("3\r\nabc\r\n0\r\n\r\n").state, Chunked::State::kComplete);
  EXPECT_EQ(decode_chunked("1A\r\n" + std::string(26, 'x') + "\r\n0\r\n\r\n").body.size(), 26u);
  EXPECT_EQ(decode_chunked("3\r\nabc\r\n").state, Chunked::State::kIncomplete);
  EXPECT_EQ(decode_chunked("3\r\nabcd\r\n0\r\n\r\n").state, Chunked::State::kMalformed);
  EXPECT_EQ(decode_chunked("26\r\n" + std::string(26, 'x') + "\r\n0\r\n\r\n").state, Chunked::State::kIncomplete);
  EXPECT_EQ(decode_chunked("3\r\nabc\r\n0\r\n\r\n0\r\n\r\n").state, Chunked::State::kMalformed);
  EXPECT_EQ(decode_chunked("g\r\n").state, Chunked::State::kMalformed);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
