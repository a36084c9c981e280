// libFuzzer target over the proxy's request path: every input is sent as
// one client connection to a running server (local site, package files,
// interception on), whose answer is read until the server closes. A crash,
// a sanitizer report or a hang shows a fault in parsing or handling.
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include "proxy/http/proxy_server.h"

namespace {

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
  auto* server = new Tavrin::Proxy::Http::ProxyServer(settings, nullptr);
  server->start(2);
  return server;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Tavrin::Proxy::Http::ProxyServer* server = start_server();
  namespace asio = boost::asio;
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
