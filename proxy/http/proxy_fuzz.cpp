// libFuzzer target over the proxy's request path: every input is sent as
// one client connection to a running server (local site, package files,
// interception on), whose answer is read until the server closes. Every
// origin the input names is reached at a local origin of the harness's own,
// never through a name lookup or off the machine; its answer depends on
// the path asked (a page, chunked, gzip-encoded, binary, a 101 switch). A
// crash, a sanitizer report or a hang shows a fault in parsing or handling.
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <thread>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "proxy/http/proxy_server.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;

// A small page, gzip-compressed.
const unsigned char kGzipPage[] = {
                                   0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03, 0xb3, 0xc9, 0x28,
                                   0xc9, 0xcd, 0xb1, 0xb3, 0xc9, 0x48, 0x4d, 0x4c, 0xb1, 0xb3, 0xd1, 0x87, 0x50,
                                   0x49, 0xf9, 0x29, 0x95, 0x76, 0x55, 0x99, 0x05, 0x05, 0xa9, 0x29, 0x36, 0xfa,
                                   0x60, 0x0e, 0x50, 0x06, 0xa4, 0x0c, 0x00, 0xe9, 0x51, 0x4a, 0x8a, 0x2d, 0x00,
                                   0x00, 0x00
};

http::response<http::string_body> origin_answer(const http::request<http::string_body>& request) {
  const std::string target(request.target());
  http::response<http::string_body> answer{http::status::ok, 11};
  answer.set(http::field::content_type, "text/html");
  answer.body() = "<!DOCTYPE html><html><head><title>t</title></head><body>" + request.body() + "</body></html>";
  if (target.find("gz") != std::string::npos) {
    answer.set(http::field::content_encoding, "gzip");
    answer.body().assign(reinterpret_cast<const char*>(kGzipPage), sizeof kGzipPage);
  } else if (target.find("bin") != std::string::npos) {
    answer.set(http::field::content_type, "application/octet-stream");
  } else if (target.find("404") != std::string::npos) {
    answer.result(http::status::not_found);
  }
  if (target.find("chunk") != std::string::npos) answer.chunked(true);
  answer.keep_alive(request.keep_alive());
  answer.prepare_payload();
  if (target.find("chunk") != std::string::npos) answer.chunked(true);
  return answer;
}

asio::awaitable<void> origin_connection(asio::ip::tcp::socket socket) {
  beast::tcp_stream stream(std::move(socket));
  beast::flat_buffer buffer;
  auto tuple = asio::as_tuple(asio::use_awaitable);
  for (;;) {
    http::request_parser<http::string_body> parser;
    parser.body_limit(1 << 20);
    stream.expires_after(std::chrono::seconds(2));
    auto [ec, n] = co_await http::async_read(stream, buffer, parser, tuple);
    if (ec) break;
    const auto& request = parser.get();
    if (beast::iequals(request[http::field::upgrade], "websocket") ||
        std::string(request.target()).find("101") != std::string::npos) {
      static const std::string kSwitch =
          "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n\r\n";
      auto [write_error, written] = co_await asio::async_write(stream, asio::buffer(kSwitch), tuple);
      if (write_error) break;
      // Echoes bytes until the far side ends.
      char echo[4096];
      for (;;) {
        auto [read_error, got] = co_await stream.async_read_some(asio::buffer(echo), tuple);
        if (read_error) break;
        auto [echo_error, sent] = co_await asio::async_write(stream, asio::buffer(echo, got), tuple);
        if (echo_error) break;
      }
      break;
    }
    auto answer = origin_answer(request);
    auto [write_error, written] = co_await http::async_write(stream, answer, tuple);
    if (write_error || !answer.keep_alive()) break;
  }
  beast::error_code ignored;
  stream.socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
}

asio::awaitable<void> origin_accept(asio::ip::tcp::acceptor& acceptor) {
  for (;;) {
    auto [ec, socket] = co_await acceptor.async_accept(asio::as_tuple(asio::use_awaitable));
    if (ec) continue;
    asio::co_spawn(acceptor.get_executor(), origin_connection(std::move(socket)), asio::detached);
  }
}

// Starts the local origin on a thread of its own; its port. The loop and
// its acceptor are never destroyed: the thread runs them until the process
// exits, and destroying them at exit would pull them from under it.
std::uint16_t start_origin() {
  auto* io = new asio::io_context(1);
  auto* acceptor = new asio::ip::tcp::acceptor(*io, {asio::ip::address_v4::loopback(), 0});
  asio::co_spawn(*io, origin_accept(*acceptor), asio::detached);
  std::thread([io] { io->run(); }).detach();
  return acceptor->local_endpoint().port();
}

Tavrin::Proxy::Http::ProxyServer* start_server() {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("proxy_fuzz." + std::to_string(getpid()));
  std::filesystem::create_directories(folder / "site");
  std::ofstream(folder / "site" / "index.html") << "<html><head></head><body>fuzz</body></html>";
  Tavrin::Proxy::Http::ProxySettings settings;
  settings.port = 0;
  settings.listen_ipv6 = false;
  settings.authority_folder = folder / "authority";
  settings.sites["site.fuzz.test"] = folder / "site";
  settings.connect_timeout = std::chrono::milliseconds(200);
  settings.read_timeout = std::chrono::milliseconds(300);
  settings.idle_timeout = std::chrono::milliseconds(300);
  settings.tunnel_idle_timeout = std::chrono::milliseconds(300);
  settings.pinned_origin_port = start_origin();
  auto* server = new Tavrin::Proxy::Http::ProxyServer(settings, nullptr);
  server->start(2);
  return server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Tavrin::Proxy::Http::ProxyServer* server = start_server();
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  boost::system::error_code ec;
  socket.connect({asio::ip::address_v4::loopback(), server->port()}, ec);
  if (ec) std::abort();  // the server must keep accepting
  timeval wait{2, 0};
  setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  asio::write(socket, asio::buffer(data, size), ec);
  socket.shutdown(asio::ip::tcp::socket::shutdown_send, ec);
  char buffer[65536];
  while (::recv(socket.native_handle(), buffer, sizeof buffer, 0) > 0) {
  }
  return 0;
}
