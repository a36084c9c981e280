// One budget for all pages held for injection: holds grow within it and
// give back on their end, and a page beyond it streams to the client
// uninjected instead of waiting in memory.
#include "proxy/http/page_budget.h"

#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

TEST(PageBudgetTest, HoldsShareTheBudgetAndGiveBack) {
  PageBudget budget(100);
  {
    PageBudget::Hold first(budget);
    PageBudget::Hold second(budget);
    EXPECT_TRUE(first.grow_to(60));
    EXPECT_TRUE(first.grow_to(40)) << "never shrinks, never fails for less";
    EXPECT_EQ(first.held(), 60u);
    EXPECT_FALSE(second.grow_to(41));
    EXPECT_EQ(second.held(), 0u);
    EXPECT_TRUE(second.grow_to(40));
    EXPECT_EQ(budget.used(), 100u);
    EXPECT_FALSE(second.grow_to(static_cast<std::size_t>(-1)));
  }
  EXPECT_EQ(budget.used(), 0u);
  PageBudget none(0);
  PageBudget::Hold hold(none);
  EXPECT_FALSE(hold.grow_to(1));
}

class PageBudgetProxyTest : public ProxyFixture {};

// An origin that sends half of a 400 kB page and stalls: with a budget of
// 300 kB the first such page is held, and the second, beyond the budget,
// reaches its client at once, as it came.
TEST_F(PageBudgetProxyTest, PageBeyondTheBudgetStreamsUninjected) {
  const std::string half = "<html><head></head><body>" + std::string(200000 - 25, 'x');
  TestOrigin stalling([&](const SeenRequest&) {
    Reply reply;
    reply.raw = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 400000\r\n\r\n" + half;
    reply.silence = std::chrono::milliseconds(4000);
    return reply;
  });
  ProxySettings settings = default_settings();
  settings.page_budget_bytes = 300000;
  start_proxy(settings);
  const std::string url = "http://127.0.0.1:" + std::to_string(stalling.port());
  const std::vector<std::string> document = {"-H", "Accept: text/html", "--max-time", "2"};
  auto held = std::async(std::launch::async, [&] {
    std::vector<std::string> args = document;
    args.push_back(url + "/held");
    return curl(args);
  });
  ASSERT_TRUE(quorvane_test::wait_until([&] { return stalling.requests().size() == 1; }, std::chrono::seconds(10)));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the first half reaches the proxy
  std::vector<std::string> args = document;
  args.push_back(url + "/streamed");
  const CurlResult streamed = curl(args);
  EXPECT_EQ(streamed.status, 200u);
  EXPECT_EQ(streamed.body, half) << "the bytes at hand, as they came";
  const CurlResult first = held.get();
  EXPECT_EQ(first.body, "") << "held whole while it could be";
  bool noted = false;
  for (const std::string& note : notes_) noted = noted || note.find("budget") != std::string::npos;
  EXPECT_TRUE(noted);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
