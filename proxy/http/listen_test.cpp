// The proxy as a process of its own: it listens on loopback only (as ss
// reports it), and a 100 MB download through it leaves its peak resident
// memory small.
#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/process_watch.h"
#include "proxy/http/proxy_server.h"
#include "proxy/http/testing/test_origin.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace Process = Tavrin::Platform::Process;

long peak_resident_kb_of(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

// proxy_http_host as a child of the test. It serves until this process
// ends, so it never outlives the test; the Child kills it when the test is
// done with it.
class ProxyProcess {
 public:
  ProxyProcess() : output_(dir_.file("proxy.out")), child_(Process::start(options(output_, dir_.file("proxy.err")))) {
    // It prints "port N" once it listens; a loaded machine may take a while.
    quorvane_test::wait_until(
        [&] {
          std::istringstream text(quorvane_test::read_file(output_));
          std::string word;
          return static_cast<bool>(text >> word >> port_) && word == "port";
        },
        std::chrono::seconds(60));
  }
  int pid() const { return child_.pid(); }
  int port() const { return port_; }
  // What it wrote on standard error, for failure messages.
  std::string errors() const { return quorvane_test::read_file(dir_.file("proxy.err")); }

 private:
  static Process::StartOptions options(const std::string& output, const std::string& errors) {
    Process::StartOptions options;
    options.arguments = {PROXY_HTTP_HOST, "--owner", std::to_string(Process::current_process_id())};
    options.output_file = output;
    options.error_file = errors;
    return options;
  }

  quorvane_test::TempDir dir_;
  std::string output_;
  Process::Child child_;
  int port_ = 0;
};

// Standard output of `arguments`, run to their end.
std::string run(const std::vector<std::string>& arguments) {
  const quorvane_test::ProgramRun run = quorvane_test::run_program(arguments);
  EXPECT_EQ(run.exit, 0) << arguments.front() << ": " << run.err;
  return run.out;
}

// A plain loopback server holds a port; settings_ ask for the same one.
class PortTaken : public ::testing::Test {
 protected:
  PortTaken() : first_(loopback_settings(0), nullptr) {
    first_.start(1);
    settings_ = loopback_settings(first_.port());
  }

  static ProxySettings loopback_settings(std::uint16_t port) {
    ProxySettings settings;
    settings.port = port;
    settings.intercept_https = false;
    settings.listen_ipv6 = false;
    return settings;
  }

  ProxyServer first_;
  ProxySettings settings_;
};

// A port that another server holds is refused with the system's error and
// the address in the message.
TEST_F(PortTaken, PortInUseIsReportedWithTheSystemError) {
  ProxyServer second(settings_, nullptr);
  try {
    second.start(1);
    ADD_FAILURE() << "a second server listened on the same port";
  } catch (const boost::system::system_error& e) {
    EXPECT_EQ(e.code().value(), EADDRINUSE);
    EXPECT_NE(std::string(e.what()).find("Unable to listen on 127.0.0.1:" + std::to_string(first_.port())),
              std::string::npos)
        << e.what();
  }
}

// A run that asks a server that could not listen for its port is told why.
TEST_F(PortTaken, ARunOfAServerThatCouldNotListenIsToldWhy) {
  ProxyServer second(settings_, nullptr);
  EXPECT_THROW(second.start(1), boost::system::system_error);
  try {
    second.open_run_port("run");
    ADD_FAILURE() << "a server that could not listen gave a run a port";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("does not serve HTTP (Unable to listen on 127.0.0.1:"), std::string::npos)
        << e.what();
  }
}

// A host started for a test ends by itself when the process it serves
// ends, so that a test that dies leaves no proxy behind.
TEST(ListenTest, HostEndsWithItsOwner) {
  quorvane_test::TempDir dir;
  Process::StartOptions sleeper;
  sleeper.arguments = {"sleep", "600"};
  Process::Child owner = Process::start(sleeper);
  Process::StartOptions options;
  options.arguments = {PROXY_HTTP_HOST, "--owner", std::to_string(owner.pid())};
  options.output_file = dir.file("out");
  options.error_file = dir.file("err");
  Process::Child host = Process::start(options);
  ASSERT_TRUE(quorvane_test::wait_until(
      [&] { return quorvane_test::read_file(dir.file("out")).rfind("port ", 0) == 0; }, std::chrono::seconds(60)))
      << quorvane_test::read_file(dir.file("err"));
  EXPECT_FALSE(host.WaitFor(std::chrono::milliseconds(200)).has_value()) << "the host must serve while its owner runs";
  owner.Kill();
  const std::optional<Process::ExitStatus> ended = host.WaitFor(std::chrono::seconds(60));
  ASSERT_TRUE(ended.has_value()) << "the host outlived its owner";
  EXPECT_TRUE(ended->exited);
  EXPECT_EQ(ended->code, 0) << quorvane_test::read_file(dir.file("err"));
}

// Every socket the proxy listens on is 127.0.0.1 or ::1.
TEST(ListenTest, OnlyLoopbackIsListenedOn) {
  ProxyProcess proxy;
  ASSERT_GT(proxy.port(), 0) << proxy.errors();
  const std::string listening = run({"ss", "-Hltnp"});
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
  ASSERT_GT(proxy.port(), 0) << proxy.errors();
  const std::string written =
      run({"curl", "-sS", "--max-time", "300", "-o", "/dev/null", "-w", "%{size_download}", "--proxy",
           "http://127.0.0.1:" + std::to_string(proxy.port()),
           "http://127.0.0.1:" + std::to_string(origin.port()) + "/big.bin"});
  EXPECT_EQ(written, std::to_string(100 << 20));
  const long peak = peak_resident_kb_of(proxy.pid());
  EXPECT_GT(peak, 0);
  EXPECT_LT(peak, 40 * 1024) << "peak resident kB";
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
