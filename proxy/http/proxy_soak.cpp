// Soak benchmark of the proxy as a process of its own (proxy_http_host):
// mixed traffic for a while (pages that get injected, large downloads,
// WebSocket echoes, CONNECT tunnels, origins that stall mid-page, idle
// clients and clients that send their header slowly), all on loopback,
// with the proxy's resident memory and open descriptors printed at every
// interval, and again after the load has ended. Prints figures; asserts
// nothing.
//
//   proxy_soak [minutes (20)] [interval seconds (60)]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>

#include "proxy/http/testing/proxy_process.h"
#include "proxy/http/testing/test_origin.h"
#include "test_support/temp_dir.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace Tavrin::Proxy::Http::Testing;

std::atomic<bool> stopping{false};
std::atomic<long> exchanges{0};
std::atomic<long> failures{0};

tcp::socket connect_to(asio::io_context& io, std::uint16_t port) {
  tcp::socket socket(io);
  socket.connect({asio::ip::address_v4::loopback(), port});
  return socket;
}

// Sends a request and reads until the connection closes.
std::size_t send_and_drain(std::uint16_t proxy, const std::string& request) {
  asio::io_context io;
  tcp::socket socket = connect_to(io, proxy);
  asio::write(socket, asio::buffer(request));
  std::vector<char> buffer(1 << 16);
  std::size_t total = 0;
  boost::system::error_code ec;
  while (!ec) total += socket.read_some(asio::buffer(buffer), ec);
  return total;
}

std::string get(const std::string& url, const std::string& extra = "") {
  return "GET " + url + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extra + "\r\n";
}

// Runs `step` again and again until the soak ends, counting what fails.
void repeat(const std::function<void()>& step) {
  while (!stopping) {
    try {
      step();
      ++exchanges;
    } catch (const std::exception&) {
      ++failures;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
}

void pause_for(std::chrono::milliseconds time) {
  const auto end = Clock::now() + time;
  while (!stopping && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace

int main(int argc, char** argv) {
  const int minutes = argc > 1 ? std::atoi(argv[1]) : 20;
  const int interval = argc > 2 ? std::atoi(argv[2]) : 60;
  quorvane_test::TempDir dir;
  const std::string big = dir.file("20m.bin");
  {
    std::ofstream out(big, std::ios::binary);
    const std::string block(1 << 20, 'b');
    for (int i = 0; i < 20; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  const std::string page = "<html><head><title>soak</title></head><body>" + std::string(50000, 'p') + "</body></html>";
  TestOrigin origin([&](const SeenRequest& request) {
    Reply reply;
    if (request.target == "/big") {
      reply.file = big;
    } else if (request.target == "/stall") {
      reply.raw = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2000000\r\n\r\n" +
                  std::string(1000000, 's');
      reply.silence = std::chrono::seconds(5);
    } else {
      reply.fields = {{"Content-Type", "text/html"}};
      reply.body = page;
    }
    return reply;
  });
  ProxyProcess proxy;
  const auto port = static_cast<std::uint16_t>(proxy.port());
  const std::string base = "http://127.0.0.1:" + std::to_string(origin.port());
  std::printf("proxy pid %d port %d; %d min of load, figures every %d s\n", proxy.pid(), proxy.port(), minutes,
              interval);
  std::printf("%8s %10s %6s %10s %8s\n", "second", "rss_kB", "fds", "exchanges", "failed");
  auto report = [&](long second) {
    std::printf("%8ld %10ld %6d %10ld %8ld\n", second, resident_kb_of(proxy.pid()), open_descriptors_of(proxy.pid()),
                exchanges.load(), failures.load());
    std::fflush(stdout);
  };
  report(0);

  std::vector<std::thread> load;
  // Pages, injected: four clients.
  for (int i = 0; i < 4; ++i) {
    load.emplace_back([&] { repeat([&] { send_and_drain(port, get(base + "/page", "Accept: text/html\r\n")); }); });
  }
  // A large download.
  load.emplace_back([&] { repeat([&] { send_and_drain(port, get(base + "/big")); }); });
  // WebSocket echoes through the proxy.
  load.emplace_back([&] {
    repeat([&] {
      asio::io_context io;
      beast::websocket::stream<tcp::socket> ws(connect_to(io, port));
      ws.handshake("127.0.0.1:" + std::to_string(origin.port()), base + "/ws");
      beast::flat_buffer buffer;
      for (int i = 0; i < 20; ++i) {
        ws.write(asio::buffer(std::string("echo ") + std::to_string(i)));
        ws.read(buffer);
        buffer.consume(buffer.size());
      }
      ws.close(beast::websocket::close_code::normal);
    });
  });
  // CONNECT tunnels with a plain request inside.
  load.emplace_back([&] {
    repeat([&] {
      const std::string authority = "127.0.0.1:" + std::to_string(origin.port());
      send_and_drain(port, "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n" + get("/page"));
    });
  });
  // Origins that stall mid-page.
  for (int i = 0; i < 2; ++i) {
    load.emplace_back([&] { repeat([&] { send_and_drain(port, get(base + "/stall", "Accept: text/html\r\n")); }); });
  }
  // Idle clients: 200 connections held for 20 s, then closed.
  load.emplace_back([&] {
    repeat([&] {
      asio::io_context io;
      std::vector<tcp::socket> idle;
      for (int i = 0; i < 200; ++i) idle.push_back(connect_to(io, port));
      pause_for(std::chrono::seconds(20));
    });
  });
  // Slow clients: a header a few bytes at a time.
  for (int i = 0; i < 2; ++i) {
    load.emplace_back([&] {
      repeat([&] {
        asio::io_context io;
        tcp::socket socket = connect_to(io, port);
        const std::string request = get(base + "/page");
        for (std::size_t at = 0; at < request.size() && !stopping; at += 8) {
          asio::write(socket, asio::buffer(request.data() + at, std::min<std::size_t>(8, request.size() - at)));
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (stopping) return;  // cut off mid-header: the proxy would wait out its time-out
        std::string answer;
        boost::system::error_code ec;
        asio::read(socket, asio::dynamic_buffer(answer), ec);
      });
    });
  }

  const auto start = Clock::now();
  const auto end = start + std::chrono::minutes(minutes);
  auto next = start + std::chrono::seconds(interval);
  while (Clock::now() < end) {
    std::this_thread::sleep_until(std::min(next, end));
    if (Clock::now() >= next) {
      report(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count());
      next += std::chrono::seconds(interval);
    }
  }
  stopping = true;
  for (auto& thread : load) thread.join();
  std::printf("load ended\n");
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::seconds(5));
    report(std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count());
  }
  std::printf("peak rss_kB %ld\n", peak_resident_kb_of(proxy.pid()));
  return 0;
}
