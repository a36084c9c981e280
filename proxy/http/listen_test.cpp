// The proxy as a process of its own: it listens on loopback only (as ss
// reports it), and a 100 MB download through it leaves its peak resident
// memory small.
#include <fstream>
#include <sstream>

#include <boost/process/child.hpp>
#include <boost/process/io.hpp>
#include <boost/process/pipe.hpp>
#include <boost/process/search_path.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/test_origin.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace bp = boost::process;

long peak_resident_kb_of(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

class ProxyProcess {
 public:
  ProxyProcess() : child_(PROXY_HTTP_HOST, bp::std_in < in_, bp::std_out > out_, bp::std_err > bp::null) {
    std::string word;
    out_ >> word >> port_;
  }
  ~ProxyProcess() {
    std::error_code ignored;
    child_.terminate(ignored);
  }
  int pid() const { return child_.id(); }
  int port() const { return port_; }

 private:
  bp::opstream in_;
  bp::ipstream out_;
  bp::child child_;
  int port_ = 0;
};

std::string run(const std::string& program, const std::vector<std::string>& args) {
  bp::ipstream out;
  bp::child child(bp::search_path(program), args, bp::std_out > out, bp::std_err > bp::null);
  std::ostringstream text;
  text << out.rdbuf();
  child.wait();
  return text.str();
}

// Every socket the proxy listens on is 127.0.0.1 or ::1.
TEST(ListenTest, OnlyLoopbackIsListenedOn) {
  ProxyProcess proxy;
  ASSERT_GT(proxy.port(), 0);
  const std::string listening = run("ss", {"-Hltnp"});
  const std::string mine = "pid=" + std::to_string(proxy.pid()) + ",";
  std::istringstream lines(listening);
  std::string line;
  int sockets = 0;
  while (std::getline(lines, line)) {
    if (line.find(mine) == std::string::npos) continue;
    ++sockets;
    std::istringstream fields(line);
    std::string state, received, sent, local;
    fields >> state >> received >> sent >> local;
    EXPECT_TRUE(local == "127.0.0.1:" + std::to_string(proxy.port()) || local == "[::1]:" + std::to_string(proxy.port()))
        << line;
  }
  EXPECT_GE(sockets, 1) << listening;
}

// A 100 MB body streams through the proxy process without being held.
TEST(ListenTest, LargeDownloadKeepsTheProxySmall) {
  quorvane_test::TempDir dir;
  const std::string big = dir.file("big.bin");
  {
    std::ofstream out(big, std::ios::binary);
    const std::string block(1 << 20, 'q');
    for (int i = 0; i < 100; ++i) out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  TestOrigin origin([&](const SeenRequest&) {
    Reply reply;
    reply.file = big;
    return reply;
  });
  ProxyProcess proxy;
  const std::string written =
      run("curl", {"-sS", "-o", "/dev/null", "-w", "%{size_download}", "--proxy",
                   "http://127.0.0.1:" + std::to_string(proxy.port()),
                   "http://127.0.0.1:" + std::to_string(origin.port()) + "/big.bin"});
  EXPECT_EQ(written, std::to_string(100 << 20));
  const long peak = peak_resident_kb_of(proxy.pid());
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, 40 * 1024) << "peak resident kB";
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
