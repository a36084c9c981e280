// Benchmark of the proxy against a local origin, direct and through the
// proxy, in one run: the latency a 1 KB answer gains (p50, p99), requests
// per second at concurrency 1 and 16, and MB/s for a 100 MB download.
// Prints figures; asserts nothing.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>

#include "proxy/http/proxy_server.h"
#include "proxy/http/testing/byte_relay.h"
#include "proxy/http/testing/test_origin.h"
#include "test_support/temp_dir.h"

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;
using Tavrin::Proxy::Http::Testing::Reply;
using Tavrin::Proxy::Http::Testing::SeenRequest;
using Tavrin::Proxy::Http::Testing::TestOrigin;

// One keep-alive client connection, to the origin or through the proxy.
class Client {
 public:
  Client(std::uint16_t connect_port, std::uint16_t origin_port, bool via_proxy)
      : socket_(io_), prefix_(via_proxy ? "http://127.0.0.1:" + std::to_string(origin_port) : "") {
    socket_.connect({asio::ip::address_v4::loopback(), connect_port});
    socket_.set_option(tcp::no_delay(true));
  }
  // Fetches `path`; the body's length.
  std::size_t get(const std::string& path) {
    const std::string request = "GET " + prefix_ + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    asio::write(socket_, asio::buffer(request));
    const std::size_t header_end = asio::read_until(socket_, asio::dynamic_buffer(buffer_), "\r\n\r\n");
    const std::string header = buffer_.substr(0, header_end);
    buffer_.erase(0, header_end);
    const std::size_t at = header.find("Content-Length: ");
    const std::size_t length = at == std::string::npos ? 0 : std::stoull(header.substr(at + 16));
    std::size_t have = std::min(length, buffer_.size());
    buffer_.erase(0, have);
    while (have < length) {
      const std::size_t n = socket_.read_some(asio::buffer(chunk_.data(), std::min(chunk_.size(), length - have)));
      have += n;
    }
    return length;
  }

 private:
  asio::io_context io_;
  tcp::socket socket_;
  std::string prefix_;
  std::string buffer_;
  // Made once: zeroing a large buffer per request would cost the client
  // more than the exchange it measures.
  std::vector<char> chunk_ = std::vector<char>(1 << 20);
};

struct Latency {
  double p50_us;
  double p99_us;
};

Latency latency(std::uint16_t connect, std::uint16_t origin, bool proxy, int count) {
  Client client(connect, origin, proxy);
  for (int i = 0; i < 200; ++i) client.get("/1k");
  std::vector<double> samples;
  samples.reserve(count);
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    client.get("/1k");
    samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(samples.begin(), samples.end());
  return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// CPU time of the whole process (client, origin and proxy) so far, in us:
// on a shared machine the CPU spent per request varies less than the rate.
double process_cpu_us() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

struct Rate {
  double per_second;
  double cpu_us_per_request;
};

Rate requests_per_second(std::uint16_t connect, std::uint16_t origin, bool proxy, int concurrency,
                         std::chrono::milliseconds measured = std::chrono::seconds(2)) {
  std::atomic<long> done{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < concurrency; ++i) {
    threads.emplace_back([&] {
      Client client(connect, origin, proxy);
      while (!stop) {
        client.get("/1k");
        ++done;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const long before = done;
  const auto start = Clock::now();
  const double cpu_before = process_cpu_us();
  std::this_thread::sleep_for(measured);
  const long counted = done - before;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = process_cpu_us() - cpu_before;
  stop = true;
  for (auto& thread : threads) thread.join();
  return {counted / seconds, counted > 0 ? cpu / counted : 0};
}

double megabytes_per_second(std::uint16_t connect, std::uint16_t origin, bool proxy) {
  Client client(connect, origin, proxy);
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    const auto start = Clock::now();
    const std::size_t bytes = client.get("/100m");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    best = std::max(best, bytes / 1e6 / seconds);
  }
  return best;
}

}  // namespace

// With an argument "direct", "proxy" or "relay", only requests at
// concurrency 16 that way are measured, for 10 s: a run to profile.
int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  quorvane_test::TempDir dir;
  const std::string big = dir.file("100m.bin");
  {
    std::ofstream out(big, std::ios::binary);
    const std::string block(1 << 20, 'b');
    for (int i = 0; i < 100; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  TestOrigin origin([&](const SeenRequest& request) {
    Reply reply;
    reply.fields = {{"Content-Type", "application/octet-stream"}};
    if (request.target == "/100m")
      reply.file = big;
    else
      reply.body = std::string(1024, 'k');
    return reply;
  });
  Tavrin::Proxy::Http::ProxySettings settings;
  settings.port = 0;
  settings.intercept_https = false;
  Tavrin::Proxy::Http::ProxyServer proxy(settings, nullptr);
  proxy.start();
  // The same requests through a relay that only copies bytes: what a
  // proxy's extra hop costs on this machine before any HTTP is handled.
  Tavrin::Proxy::Http::Testing::ByteRelay relay(origin.port(), 2);
  const std::uint16_t o = origin.port();
  const std::uint16_t p = proxy.port();
  const std::uint16_t r = relay.port();

  if (only == "direct" || only == "proxy" || only == "relay") {
    const bool via = only != "direct";
    const Rate rate = requests_per_second(only == "proxy" ? p : only == "relay" ? r : o, o, via, 16,
                                          std::chrono::seconds(10));
    std::printf("requests/s at concurrency 16, %s: %.0f (%.1f us CPU a request)\n", only.c_str(), rate.per_second,
                rate.cpu_us_per_request);
    proxy.stop();
    return 0;
  }
  const Latency direct = latency(o, o, false, 5000);
  const Latency through = latency(p, o, true, 5000);
  std::printf("1 KB latency p50: direct %.1f us, proxy %.1f us, added %.1f us (target <= 300 us)\n", direct.p50_us,
              through.p50_us, through.p50_us - direct.p50_us);
  std::printf("1 KB latency p99: direct %.1f us, proxy %.1f us, added %.1f us\n", direct.p99_us, through.p99_us,
              through.p99_us - direct.p99_us);
  for (int concurrency : {1, 16}) {
    const Rate d = requests_per_second(o, o, false, concurrency);
    const Rate t = requests_per_second(p, o, true, concurrency);
    const Rate b = requests_per_second(r, o, true, concurrency);
    std::printf("requests/s at concurrency %2d: direct %.0f, proxy %.0f (%.0f %% of direct%s); "
                "CPU a request: direct %.1f us, proxy %.1f us\n",
                concurrency, d.per_second, t.per_second, 100 * t.per_second / d.per_second,
                concurrency == 16 ? ", target >= 50 %" : "", d.cpu_us_per_request, t.cpu_us_per_request);
    std::printf("  byte relay for reference: %.0f (%.0f %% of direct), %.1f us CPU a request\n", b.per_second,
                100 * b.per_second / d.per_second, b.cpu_us_per_request);
  }
  const double d = megabytes_per_second(o, o, false);
  const double t = megabytes_per_second(p, o, true);
  std::printf("100 MB download: direct %.0f MB/s, proxy %.0f MB/s (target >= 500 MB/s)\n", d, t);
  proxy.stop();
  return 0;
}
