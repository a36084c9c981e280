// What idle connections cost the proxy (proxy_http_host, a process of its
// own) and whether it gets that memory back: rounds of N loopback
// connections that send nothing, opened, held until the proxy has accepted
// them all, then closed; the proxy's resident memory printed before, while
// they are held, and a few seconds after they closed. A second kind of
// round sends each connection one request (a local site's file) before it
// idles, so that its read buffer has been used. Prints figures; asserts
// nothing.
//
//   proxy_idle_bench [connections (2000)] [rounds (3)]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>

#include "proxy/http/connection_limits.h"
#include "proxy/http/testing/proxy_process.h"
#include "test_support/temp_dir.h"

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace Tavrin::Proxy::Http::Testing;

// Waits (at most `limit`) until the proxy holds about `wanted` descriptors.
void settle(int pid, int wanted, bool rising, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    const int open = open_descriptors_of(pid);
    if (rising ? open >= wanted : open <= wanted) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void round(ProxyProcess& proxy, int connections, bool used, int baseline_fds) {
  const long before = resident_kb_of(proxy.pid());
  asio::io_context io;
  std::vector<tcp::socket> held;
  held.reserve(connections);
  for (int i = 0; i < connections; ++i) {
    tcp::socket socket(io);
    socket.connect({asio::ip::address_v4::loopback(), static_cast<unsigned short>(proxy.port())});
    if (used) {
      // A request the proxy answers itself, kept alive: the connection
      // then idles with its buffers used once.
      asio::write(socket, asio::buffer(std::string("GET http://idle.test/a.txt HTTP/1.1\r\nHost: idle.test\r\n\r\n")));
    }
    held.push_back(std::move(socket));
  }
  if (used) {
    for (tcp::socket& socket : held) {
      std::string answer;
      boost::system::error_code ec;
      asio::read_until(socket, asio::dynamic_buffer(answer), "\r\n\r\n", ec);
    }
  }
  settle(proxy.pid(), baseline_fds + connections, true, std::chrono::seconds(30));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const long during = resident_kb_of(proxy.pid());
  const int fds = open_descriptors_of(proxy.pid());
  held.clear();
  settle(proxy.pid(), baseline_fds, false, std::chrono::seconds(30));
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const long after = resident_kb_of(proxy.pid());
  std::printf("%-6s %6d %6d %10ld %10ld %10ld %12.1f %12.1f\n", used ? "used" : "idle", connections, fds, before,
              during, after, 1024.0 * static_cast<double>(during - before) / connections,
              1024.0 * static_cast<double>(after - before) / connections);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int connections = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  Tavrin::Proxy::Http::raise_descriptor_limit();
  quorvane_test::TempDir site;
  quorvane_test::write_file(site.file("a.txt"), std::string(2000, 'a'));
  ProxyProcess proxy({}, {"--sites", "idle.test=" + site.path()});
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const int baseline_fds = open_descriptors_of(proxy.pid());
  std::printf("proxy pid %d port %d, %d descriptors, %ld kB resident\n", proxy.pid(), proxy.port(), baseline_fds,
              resident_kb_of(proxy.pid()));
  std::printf("%-6s %6s %6s %10s %10s %10s %12s %12s\n", "kind", "conns", "fds", "before_kB", "held_kB", "after_kB",
              "held_B/conn", "kept_B/conn");
  for (int i = 0; i < rounds; ++i) round(proxy, connections, false, baseline_fds);
  for (int i = 0; i < rounds; ++i) round(proxy, connections, true, baseline_fds);
  std::printf("peak rss_kB %ld\n", peak_resident_kb_of(proxy.pid()));
  return 0;
}
