// Benchmark of the download path: a 100 MB answer that a run's browser
// would download, saved whole by the proxy (checked by its SHA-256),
// against the same transfer through the proxy to a client that saves it
// itself. Prints figures (best of three, MB/s and the proxy process's CPU
// time); asserts nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <boost/json/parse.hpp>
#include <openssl/evp.h>

#include "platform/text.h"
#include "proxy/http/proxy_server.h"
#include "proxy/pages/page_registry.h"
#include <random>

namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBytes = 100u << 20;

std::string sha256_of_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  std::vector<char> chunk(1 << 20);
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0)
    EVP_DigestUpdate(context, chunk.data(), static_cast<std::size_t>(in.gcount()));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(context, digest, &size);
  EVP_MD_CTX_free(context);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) hex += "0123456789abcdef"[digest[i] >> 4], hex += "0123456789abcdef"[digest[i] & 15];
  return hex;
}

double cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

// The request of a browser's navigation (a document) or of any other
// client, through the proxy's port `port`.
std::string request(std::uint16_t origin, bool document) {
  return "GET http://127.0.0.1:" + std::to_string(origin) + "/100m HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
         (document ? "Sec-Fetch-Dest: document\r\nAccept: text/html\r\n" : "") + "\r\n";
}

// Through the proxy to a client that saves the body into `file` itself.
void fetch_to_file(std::uint16_t port, std::uint16_t origin, const std::string& file) {
  asio::io_context io;
  tcp::socket socket(io);
  socket.connect({asio::ip::address_v4::loopback(), port});
  asio::write(socket, asio::buffer(request(origin, false)));
  std::string buffer;
  const std::size_t header_end = asio::read_until(socket, asio::dynamic_buffer(buffer), "\r\n\r\n");
  std::FILE* out = std::fopen(file.c_str(), "wb");
  std::size_t have = buffer.size() - header_end;
  std::fwrite(buffer.data() + header_end, 1, have, out);
  std::vector<char> chunk(1 << 20);
  while (have < kBytes) {
    const std::size_t n = socket.read_some(asio::buffer(chunk));
    std::fwrite(chunk.data(), 1, n, out);
    have += n;
  }
  std::fclose(out);
}

// As a run's browser navigating to it: answered 204, saved by the proxy;
// returns once the registry has it whole, with its path.
std::string download(std::uint16_t run_port, std::uint16_t origin, Tavrin::Proxy::PageRegistry& pages) {
  asio::io_context io;
  tcp::socket socket(io);
  socket.connect({asio::ip::address_v4::loopback(), run_port});
  asio::write(socket, asio::buffer(request(origin, true)));
  std::string buffer;
  asio::read_until(socket, asio::dynamic_buffer(buffer), "\r\n\r\n");
  if (buffer.find(" 204 ") == std::string::npos) std::printf("not answered 204: %s\n", buffer.c_str());
  static int id = 0;
  const auto answer = pages.run(Tavrin::Platform::from_utf8(
      R"({"id":"d)" + std::to_string(++id) + R"(","op":"download","run":"bench","after":0,"timeout":120000})"));
  const auto value = boost::json::parse(Tavrin::Platform::to_utf8(answer)).as_object();
  if (!value.at("ok").as_bool()) {
    std::printf("download failed: %s\n", Tavrin::Platform::to_utf8(answer).c_str());
    return {};
  }
  return std::string(value.at("value").at("path").as_string());
}

// The origin: answers every request on a connection of its own with the
// file as an attachment, then closes it.
class Origin {
 public:
  explicit Origin(std::string file) : file_(std::move(file)), acceptor_(io_, {asio::ip::address_v4::loopback(), 0}) {
    thread_ = std::thread([this] { serve(); });
  }
  ~Origin() {
    stop_ = true;
    asio::io_context io;
    tcp::socket wake(io);
    wake.connect({asio::ip::address_v4::loopback(), port()});
    thread_.join();
  }
  std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

 private:
  void serve() {
    for (;;) {
      tcp::socket socket(io_);
      acceptor_.accept(socket);
      if (stop_) return;
      std::string buffer;
      boost::system::error_code ec;
      asio::read_until(socket, asio::dynamic_buffer(buffer), "\r\n\r\n", ec);
      const std::string header = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                 "Content-Disposition: attachment; filename=big.bin\r\nConnection: close\r\n"
                                 "Content-Length: " + std::to_string(kBytes) + "\r\n\r\n";
      asio::write(socket, asio::buffer(header), ec);
      std::ifstream in(file_, std::ios::binary);
      std::vector<char> chunk(1 << 20);
      while (!ec && in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())))
        asio::write(socket, asio::buffer(chunk.data(), static_cast<std::size_t>(in.gcount())), ec);
      socket.shutdown(tcp::socket::shutdown_send, ec);
      // Read to the end, so the close is clean.
      while (!ec) socket.read_some(asio::buffer(chunk), ec);
    }
  }
  std::string file_;
  asio::io_context io_;
  tcp::acceptor acceptor_;
  std::thread thread_;
  bool stop_ = false;
};

}  // namespace

// A folder of the run's own under the temporary folder, removed at the end.
struct Folder {
  Folder() : path(std::filesystem::temp_directory_path() / ("quorvane-download-bench-" + std::to_string(std::random_device()()))) {
    std::filesystem::create_directories(path);
  }
  ~Folder() { std::filesystem::remove_all(path); }
  std::string file(const std::string& name) const { return (path / name).string(); }
  std::filesystem::path path;
};

int main() {
  Folder dir;
  const std::string big = dir.file("100m.bin");
  {
    std::ofstream out(big, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (int i = 0; i < 100; ++i) {
      for (std::size_t j = 0; j < block.size(); ++j) block[j] = static_cast<char>((j * 31 + i * 7 + j / 4096) & 0xff);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  const std::string wanted = sha256_of_file(big);
  Origin origin(big);
  auto pages = std::make_shared<Tavrin::Proxy::PageRegistry>();
  Tavrin::Proxy::Http::ProxySettings settings;
  settings.port = 0;
  settings.intercept_https = false;
  settings.pages = pages;
  const std::filesystem::path downloads = dir.file("downloads");
  settings.download_folder = [downloads] {
    std::filesystem::create_directories(downloads);
    return downloads;
  };
  Tavrin::Proxy::Http::ProxyServer proxy(settings, nullptr);
  proxy.start();
  const std::uint16_t run_port = proxy.open_run_port("bench");

  double plain_best = 0, download_best = 0, plain_cpu = 1e9, download_cpu = 1e9;
  bool whole = true;
  for (int round = 0; round < 3; ++round) {
    const std::string copy = dir.file("copy.bin");
    auto start = Clock::now();
    double cpu = cpu_seconds();
    fetch_to_file(run_port, origin.port(), copy);
    plain_best = std::max(plain_best, kBytes / 1e6 / std::chrono::duration<double>(Clock::now() - start).count());
    plain_cpu = std::min(plain_cpu, cpu_seconds() - cpu);
    std::filesystem::remove(copy);

    start = Clock::now();
    cpu = cpu_seconds();
    const std::string saved = download(run_port, origin.port(), *pages);
    download_best = std::max(download_best, kBytes / 1e6 / std::chrono::duration<double>(Clock::now() - start).count());
    download_cpu = std::min(download_cpu, cpu_seconds() - cpu);
    whole = whole && !saved.empty() && sha256_of_file(saved) == wanted;
    if (!saved.empty()) std::filesystem::remove(saved);
  }
  std::printf("100 MB through the proxy to a client that saves it: %.0f MB/s, %.2f s CPU (origin, proxy, client)\n",
              plain_best, plain_cpu);
  std::printf("100 MB as a download the proxy saves:               %.0f MB/s, %.2f s CPU (origin, proxy)\n",
              download_best, download_cpu);
  std::printf("the saved file's SHA-256 matches the origin's: %s\n", whole ? "yes, all three times" : "NO");
  proxy.stop();
  return whole ? 0 : 1;
}
