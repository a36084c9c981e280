// What telling a run's browser from other local clients costs: the proxy
// serves a local site on a run's port, QuorvaneBrowser starts Chromium and
// then Firefox (headless) through it and is registered as the run's
// browser; once the page's agent has registered (its token worked), the
// lookup that the proxy makes once per connection is timed against the
// browser's real process tree: for a socket the browser holds (found) and
// for one it does not (every process of the tree looked through, the
// dearest case). Prints the tree's size and the median and largest time of
// each; asserts nothing.
//
//   build/bench/browser_check_bench [rounds]
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "platform/process.h"
#include "platform/process_watch.h"
#include "proxy/http/peer_owner.h"
#include "proxy/http/peer_process.h"
#include "proxy/http/proxy_server.h"
#include "proxy/pages/page_registry.h"
#include "test_support/temp_dir.h"

namespace {

namespace Http = Tavrin::Proxy::Http;
namespace Process = Tavrin::Platform::Process;
using Clock = std::chrono::steady_clock;

// Inodes of the sockets connected to 127.0.0.1:`port` (the browser's ends
// of its connections to the proxy), from /proc/net/tcp.
std::vector<ino_t> client_inodes(std::uint16_t port) {
  char far_end[32];
  std::snprintf(far_end, sizeof far_end, "0100007F:%04X", port);
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);
  std::vector<ino_t> inodes;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
    unsigned long long inode = 0;
    if (fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode &&
        remote == far_end && inode != 0)
      inodes.push_back(inode);
  }
  return inodes;
}

std::size_t open_files(const std::vector<pid_t>& pids) {
  std::size_t count = 0;
  for (pid_t pid : pids) {
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
      ++count;
  }
  return count;
}

// Median and largest time of `rounds` lookups of `inode`, in microseconds;
// `found` says whether the lookups found it.
struct Timing {
  double median = 0, largest = 0, cpu_median = 0;
  bool found = false;
};

// This thread's processor time in microseconds: on a busy machine the
// wall time mostly measures waiting for a processor.
double cpu_us() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e6 + now.tv_nsec / 1e3;
}

Timing time_lookups(const std::vector<Http::ProcessIdentity>& roots, ino_t inode, int rounds) {
  std::vector<double> times, cpu;
  Timing t;
  for (int i = 0; i < rounds; ++i) {
    const auto start = Clock::now();
    const double cpu_start = cpu_us();
    t.found = Http::trees_hold_socket(roots, inode);
    cpu.push_back(cpu_us() - cpu_start);
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu.begin(), cpu.end());
  t.median = times[times.size() / 2];
  t.largest = times.back();
  t.cpu_median = cpu[cpu.size() / 2];
  return t;
}

std::size_t machine_processes() {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc"))
    if (std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0]))) ++count;
  return count;
}

std::string load_average() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

void one_browser(Http::ProxyServer& server, Tavrin::Proxy::PageRegistry& pages, std::uint16_t port,
                 const std::string& kind, const std::string& program, int rounds) {
  const std::size_t pages_before = pages.page_count();
  Process::StartOptions options;
  options.arguments = {QUORVANE_BIN_DIR "/QuorvaneBrowser", kind, program, "http://app.test/index.html"};
  options.output = Process::StartOptions::Output::kDiscard;
  std::vector<std::string> environment = Process::environment_with("QUORVANE_PROXY_PORT", std::to_string(port));
  std::erase_if(environment, [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0; });
  options.environment = environment;
  Process::Child launcher = Process::start(options);
  server.add_run_browser("bench", launcher.pid());
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (pages.page_count() == pages_before && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const bool registered = pages.page_count() > pages_before;

  const std::vector<Http::ProcessIdentity> roots = {*Http::process_identity(launcher.pid())};
  const std::vector<pid_t> tree = Http::process_trees(roots);
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket other(io);
  other.connect({boost::asio::ip::address_v4::loopback(), port});
  struct stat info {};
  ::fstat(other.native_handle(), &info);
  const std::vector<ino_t> inodes = client_inodes(port);
  ino_t browser_inode = 0;
  for (ino_t inode : inodes)
    if (inode != info.st_ino && Http::trees_hold_socket(roots, inode)) browser_inode = inode;

  std::printf("%-9s page driven with its token: %s; tree: %zu processes, %zu open files; load %s\n", kind.c_str(),
              registered ? "yes" : "NO", tree.size(), open_files(tree), load_average().c_str());
  if (browser_inode != 0) {
    const Timing hit = time_lookups(roots, browser_inode, rounds);
    std::printf("  the browser's socket:  median %8.0f us, largest %8.0f us, processor median %6.0f us (found: %s)\n",
                hit.median, hit.largest, hit.cpu_median, hit.found ? "yes" : "no");
  } else {
    std::printf("  the browser's socket:  none of its connections was found open\n");
  }
  std::vector<double> walks, stat_walks;
  for (int i = 0; i < rounds; ++i) {
    double start = cpu_us();
    Http::process_trees(roots);
    walks.push_back(cpu_us() - start);
    start = cpu_us();
    Http::process_trees_from_stat(roots);
    stat_walks.push_back(cpu_us() - start);
  }
  std::sort(walks.begin(), walks.end());
  std::sort(stat_walks.begin(), stat_walks.end());
  std::printf("  the tree's walk alone: processor median %6.0f us by the threads' children lists, %6.0f us by "
              "every process's parent (%zu processes on the machine)\n",
              walks[walks.size() / 2], stat_walks[stat_walks.size() / 2], machine_processes());
  const Timing miss = time_lookups(roots, info.st_ino, rounds);
  std::printf("  another client's:      median %8.0f us, largest %8.0f us, processor median %6.0f us (found: %s)\n",
              miss.median, miss.largest, miss.cpu_median, miss.found ? "yes" : "no");

  ::kill(launcher.pid(), SIGTERM);
  if (!launcher.WaitFor(std::chrono::seconds(20))) launcher.Kill();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  quorvane_test::TempDir dir;
  quorvane_test::write_file(dir.file("index.html"),
                            "<html><head><title>Bench</title></head><body><p>bench</p></body></html>");
  auto pages = std::make_shared<Tavrin::Proxy::PageRegistry>();
  Http::ProxySettings settings;
  settings.port = 0;
  settings.sites["app.test"] = dir.path();
  settings.package = QUORVANE_BIN_DIR "/Resource.dat";
  settings.intercept_https = false;
  settings.listen_ipv6 = false;
  settings.pages = pages;
  Http::ProxyServer server(settings, nullptr);
  server.start(2);
  const std::uint16_t port = server.open_run_port("bench");
  for (const auto& [kind, program] : {std::pair<std::string, std::string>{"chromium", "/usr/bin/chromium"},
                                      {"firefox", "/usr/bin/firefox-esr"}}) {
    if (::access(program.c_str(), X_OK) != 0) {
      std::printf("%-9s not installed\n", kind.c_str());
      continue;
    }
    one_browser(server, *pages, port, kind, program, rounds);
  }
  server.stop();
  return 0;
}
