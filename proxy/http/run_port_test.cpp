// The runs' own ports: pages that register over a run's port belong to
// that run only, the main port's pages to none; the ports are loopback
// only, a run keeps its port, idle runs' ports close, and their number is
// capped.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <map>
#include <mutex>
#include <sstream>

#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/pages/testing/answered.h"
#include "proxy/pages/page_registry.h"
#include "proxy/pages/testing/agent_double.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

using Proxy::Testing::Answered;

class RunPortTest : public ProxyFixture {
 protected:
  void StartWith(ProxySettings settings) {
    quorvane_test::write_file(dir() + "/index.html", "<html><head></head><body>x</body></html>");
    settings.sites["app.test"] = dir();
    settings.pages = pages_;
    start_proxy(settings);
  }
  void SetUp() override { StartWith(default_settings()); }

  // The agent's first poll for `page`, through the proxy at `port`, with
  // the token of a document served over that port.
  CurlResult Register(std::uint16_t port, const std::string& page) {
    const std::string token = agent_key_over(port, "http://app.test/index.html");
    if (!token.empty()) {
      std::lock_guard<std::mutex> lock(mutex_);
      tokens_[page] = token;
    }
    return curl({"-s", "--proxy", "http://127.0.0.1:" + std::to_string(port), "-X", "POST", "-H",
                 "Origin: http://app.test", "-H", "X-Quorvane-Token: " + token, "--data-binary",
                 R"({"page":")" + page + R"(","url":"http://app.test/","title":")" + page +
                     R"(","top":true,"leaving":false})",
                 "http://app.test/quorvane/special/channel/"},
                false);
  }

  // The port the run table opens for `run` (this process its browser); 0
  // when it refuses, `text` then the reason.
  std::uint16_t PortOf(const std::string& run, std::wstring* text = nullptr) {
    try {
      return open_browser_run_port(run);
    } catch (const std::exception& e) {
      if (text) *text = Platform::from_utf8(e.what());
      return 0;
    }
  }

  // Which page an unnamed command of `run` (empty: of none) reaches,
  // waiting `ms` for one.
  std::wstring PageReached(const std::string& run, int ms) {
    std::wstring command = L"{\"id\":\"w" + std::to_wstring(++serial_) + L"\",\"op\":\"ready\",\"pageWait\":" +
                           std::to_wstring(ms);
    if (!run.empty()) command += L",\"run\":\"" + std::wstring(run.begin(), run.end()) + L"\"";
    auto answer = std::async(std::launch::async, [&]() -> Answered { return pages_->run(command + L"}"); });
    // The command waits in the page it picked; that page's next poll takes
    // it. Every page is polled once, with its token, from no run (which
    // never changes a page's run); whichever takes the command is the one.
    std::map<std::string, std::string> tokens;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      tokens = tokens_;
    }
    std::wstring reached;
    for (int i = 0; i < 50 && reached.empty(); ++i) {
      for (const auto& [page, token] : tokens) {
        Proxy::Testing::AgentPoll report;
        report.page = page;
        report.token = token;
        report.url = "http://app.test/";
        if (auto taken = Proxy::Testing::poll(*pages_, report)) {
          pages_->delivered(page);
          Proxy::Testing::poll(*pages_, Proxy::Testing::with_answer(
                                            report, "{\"id\":\"" + Proxy::Testing::id_of(*taken) + "\",\"ok\":true}"));
          reached = std::wstring(page.begin(), page.end());
        }
      }
      if (reached.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const Proxy::Testing::Answered got = answer.get();
    EXPECT_EQ(got.page, reached) << got.text;
    return got.page;
  }

  std::shared_ptr<PageRegistry> pages_ = std::make_shared<PageRegistry>();
  int serial_ = 0;
  std::mutex mutex_;
  std::map<std::string, std::string> tokens_;  // page -> the token it registered with
};

// A connection on run A's port registers its page in run A only, one on
// run B's in B; the main port's documents carry no token, so nothing
// registers there. Each run's commands find only their own page.
TEST_F(RunPortTest, PagesBelongToTheRunWhosePortTheyCameIn) {
  const std::uint16_t a = PortOf("run-a");
  const std::uint16_t b = PortOf("run-b");
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  EXPECT_NE(a, b);
  EXPECT_NE(a, proxy_port());
  EXPECT_EQ(PortOf("run-a"), a) << "a run keeps its port";

  // Each first poll is held until the hold ends: both at once, b1 last.
  auto a1 = std::async(std::launch::async, [&] { return Register(a, "a1"); });
  ASSERT_TRUE(quorvane_test::wait_until([&] { return pages_->page_count() == 1; }, std::chrono::seconds(10)));
  auto b1 = std::async(std::launch::async, [&] { return Register(b, "b1"); });
  ASSERT_TRUE(quorvane_test::wait_until([&] { return pages_->page_count() == 2; }, std::chrono::seconds(10)));
  EXPECT_EQ(Register(proxy_port(), "own").status, 403u);
  EXPECT_EQ(a1.get().status, 200u);
  EXPECT_EQ(b1.get().status, 200u);
  EXPECT_EQ(pages_->page_count(), 2u);

  EXPECT_EQ(PageReached("run-a", 2000), L"a1");
  EXPECT_EQ(PageReached("run-b", 2000), L"b1");
  // Without a run, the newest page of all.
  EXPECT_EQ(PageReached("", 2000), L"b1");
  // A run whose browsers opened nothing finds nothing.
  ASSERT_NE(PortOf("run-c"), 0);
  EXPECT_EQ(PageReached("run-c", 200), L"");
}

// A run's port is the proxy's own address: requests aimed at it are never
// forwarded (which would loop), and everything else is served there as on
// the main port.
TEST_F(RunPortTest, ARunsPortServesLikeTheMainOne) {
  const std::uint16_t a = PortOf("run-a");
  ASSERT_NE(a, 0);
  const std::string via = "http://127.0.0.1:" + std::to_string(a);
  const CurlResult page = curl({"-s", "--proxy", via, "-H", "Sec-Fetch-Dest: document", "http://app.test/index.html"},
                               false);
  EXPECT_EQ(page.status, 200u);
  EXPECT_EQ(agent_key_in(page.body).size(), 32u) << page.body;
  const CurlResult self = curl({"-s", "--proxy", via, via + "/anything"}, false);
  EXPECT_EQ(self.status, 400u) << self.body;
  EXPECT_NE(self.body.find("does not forward requests to itself"), std::string::npos) << self.body;
}

// Every socket listened on for runs is 127.0.0.1 or ::1, as ss reports.
TEST_F(RunPortTest, RunPortsAreLoopbackOnly) {
  const std::uint16_t a = PortOf("run-a");
  ASSERT_NE(a, 0);
  const quorvane_test::ProgramRun ss = quorvane_test::run_program({"ss", "-Hltn"});
  ASSERT_EQ(ss.exit, 0) << ss.err;
  std::istringstream lines(ss.out);
  std::string line;
  int sockets = 0;
  const std::string suffix = ":" + std::to_string(a);
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string state, received, sent, local;
    fields >> state >> received >> sent >> local;
    if (local.size() < suffix.size() || local.compare(local.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    ++sockets;
    EXPECT_TRUE(local == "127.0.0.1" + suffix || local == "[::1]" + suffix) << line;
  }
  EXPECT_GE(sockets, 1) << ss.out;
}

// Whether something accepts connections on 127.0.0.1:`port`.
bool Accepts(std::uint16_t port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  const bool connected = ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(s);
  return connected;
}

class ShortRunPortTest : public RunPortTest {
 protected:
  void SetUp() override {
    ProxySettings settings = default_settings();
    settings.run_limits = RunLimits{2, std::chrono::milliseconds(300)};
    StartWith(settings);
  }
};

// Past the cap a new run is refused with the reason; an idle run's port
// closes and frees its place, while a run in use keeps its port.
TEST_F(ShortRunPortTest, IdleRunsCloseAndTheirNumberIsCapped) {
  const std::uint16_t a = PortOf("run-a");
  const std::uint16_t b = PortOf("run-b");
  ASSERT_NE(a, 0);
  ASSERT_NE(b, 0);
  std::wstring refused;
  EXPECT_EQ(PortOf("run-c", &refused), 0);
  EXPECT_NE(refused.find(L"2 runs at once"), std::wstring::npos) << refused;
  EXPECT_TRUE(Accepts(b));

  // run-a stays in use (its runner asks for it again); run-b falls idle.
  const bool closed = quorvane_test::wait_until(
      [&] {
        PortOf("run-a");
        return !Accepts(b);
      },
      std::chrono::seconds(20));
  EXPECT_TRUE(closed) << "the idle run's port stayed open";
  EXPECT_TRUE(Accepts(a));
  EXPECT_EQ(PortOf("run-a"), a);
  EXPECT_NE(PortOf("run-c"), 0) << "the idle run's place is free again";
  // The forgotten run's old port is no run's: nothing registers in it there.
  const std::uint16_t b_again = PortOf("run-b", &refused);
  EXPECT_EQ(b_again, 0) << "still two runs in use";
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
