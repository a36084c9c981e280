// Navigations that end without a page of the agent's: the command waiting
// for the next page takes the outcome at once, a page that said it was
// leaving is told to stay and takes commands again; downloads are handed
// out once each, in order, after they ended; the run's pages listed.
#include "proxy/pages/testing/answered.h"
#include "proxy/pages/page_registry.h"
#include "proxy/pages/testing/agent_double.h"

#include <future>
#include <thread>

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

#include "platform/text.h"

namespace Tavrin::Proxy {
namespace {

using Testing::Answered;

using Testing::AgentPoll;
using Testing::poll;

constexpr char kRun[] = "run-1";

AgentPoll poll_of(const std::string& page, bool leaving = false) {
  AgentPoll p;
  p.page = page;
  p.url = "http://app.test/" + page;
  p.title = "Title " + page;
  p.leaving = leaving;
  p.run = kRun;
  p.token = "token-" + page;
  return p;
}

boost::json::object answer_of(const Answered& answer) {
  return boost::json::parse(Platform::to_utf8(answer.text)).as_object();
}

Answered send(PageRegistry& pages, const std::string& command) {
  return pages.run(Platform::from_utf8(command));
}

PageRegistryTimes short_times() {
  PageRegistryTimes t;
  t.page_wait = std::chrono::milliseconds(2000);
  t.answer_wait = std::chrono::milliseconds(300);
  return t;
}

// The wait for the page a navigation loads ends at once with the outcome
// when the navigation ended on a download; a wait without "navigation"
// (for a window) does not take it.
TEST(PageOutcomesTest, TheNextPageWaitTakesTheOutcome) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("a"));
  const auto mark = pages.mark();
  std::promise<Answered> waited;
  std::thread waiter([&] {
    waited.set_value(send(pages, R"({"id":"r","op":"ready","page":"","navigation":true,"run":"run-1","after":)" +
                                     std::to_string(mark) + "}"));
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto started = std::chrono::steady_clock::now();
  pages.navigation_ended({kRun, "http://app.test/a", "download", "http://app.test/file.zip", 200, true});
  const auto answer = answer_of(waited.get_future().get());
  waiter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
  EXPECT_TRUE(answer.at("ok").as_bool());
  EXPECT_EQ(answer.at("outcome").at("kind").as_string(), "download");
  EXPECT_EQ(answer.at("outcome").at("url").as_string(), "http://app.test/file.zip");
  EXPECT_EQ(answer.at("outcome").at("status").as_int64(), 200);

  const auto window = answer_of(send(pages, R"({"id":"w","op":"ready","page":"","pageWait":200,"run":"run-1","after":)" +
                                                std::to_string(mark) + "}"));
  EXPECT_FALSE(window.at("ok").as_bool()) << "a window is a page, not an outcome";
  const auto other = answer_of(send(pages, R"({"id":"o","op":"ready","page":"","navigation":true,"pageWait":200,)"
                                           R"("run":"run-2","after":0})"));
  EXPECT_FALSE(other.at("ok").as_bool()) << "another run's outcome is not this run's";
}

// A page that said it was leaving, whose navigation then ended where it
// is, is told to stay, whichever came first; meanwhile a command to it
// waits instead of failing, and reaches it after the stay.
TEST(PageOutcomesTest, ALeavingPageIsToldToStay) {
  for (const bool leaving_first : {true, false}) {
    PageRegistry pages(short_times());
    poll(pages, poll_of("a"));
    if (leaving_first) poll(pages, poll_of("a", true));
    pages.navigation_ended({kRun, "http://app.test/a", "no content", "http://app.test/nothing", 204, true});
    std::optional<std::string> told = poll(pages, poll_of("a", true));
    EXPECT_TRUE(pages.staying("a")) << leaving_first;
    ASSERT_TRUE(told) << leaving_first;
    EXPECT_NE(told->find("\"op\":\"stay\""), std::string::npos) << *told;
    poll(pages, poll_of("a", false));
    EXPECT_FALSE(pages.staying("a"));
    std::promise<Answered> ran;
    std::thread command([&] { ran.set_value(send(pages, R"({"id":"c","op":"info","page":"a","run":"run-1"})")); });
    std::optional<std::string> next;
    for (int i = 0; i < 200 && !next; ++i) {
      next = poll(pages, poll_of("a"));
      if (!next) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(next);
    poll(pages, Testing::with_answer(poll_of("a"), R"({"id":"c","ok":true,"value":null})"));
    EXPECT_TRUE(answer_of(ran.get_future().get()).at("ok").as_bool());
    command.join();
  }
}

// Another page of the run (not where the navigation started) keeps going.
TEST(PageOutcomesTest, OnlyThePageTheNavigationCameFromStays) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("a"));
  poll(pages, poll_of("b", true));
  pages.navigation_ended({kRun, "http://app.test/a", "download", "http://app.test/f", 200, true});
  EXPECT_FALSE(pages.staying("b"));
}

TEST(PageOutcomesTest, DownloadsComeOnceEachInOrderOnceEnded) {
  PageRegistry pages(short_times());
  const auto mark = pages.navigation_ended({kRun, "", "download", "http://app.test/one", 200, true});
  pages.downloads().begin({mark, kRun, "http://app.test/one", "one.txt", "/tmp/one.txt"});
  const auto second = pages.navigation_ended({kRun, "", "download", "http://app.test/two", 200, true});
  pages.downloads().begin({second, kRun, "http://app.test/two", "two.bin", "/tmp/two.bin"});
  const std::string wait = R"({"id":"d","op":"download","run":"run-1","timeout":300,"after":)" + std::to_string(mark - 1) + "}";
  const auto unfinished = answer_of(send(pages, wait));
  EXPECT_FALSE(unfinished.at("ok").as_bool());
  EXPECT_NE(std::string(unfinished.at("error").as_string()).find("one had begun"), std::string::npos);
  pages.downloads().end(second, 5, "");
  pages.downloads().end(mark, 3, "");
  const auto first = answer_of(send(pages, wait));
  ASSERT_TRUE(first.at("ok").as_bool());
  EXPECT_EQ(first.at("value").at("suggestedName").as_string(), "one.txt");
  EXPECT_EQ(first.at("value").at("size").as_int64(), 3);
  EXPECT_EQ(answer_of(send(pages, wait)).at("value").at("path").as_string(), "/tmp/two.bin");
  const auto none = answer_of(send(pages, wait));
  EXPECT_FALSE(none.at("ok").as_bool());
  EXPECT_NE(std::string(none.at("error").as_string()).find("waited 300 ms for a download (none began)"), std::string::npos);

  const auto failed = pages.navigation_ended({kRun, "", "download", "http://app.test/cut", 200, true});
  pages.downloads().begin({failed, kRun, "http://app.test/cut", "cut", "/tmp/cut"});
  pages.downloads().end(failed, 1, "the answer was cut short");
  EXPECT_NE(std::string(answer_of(send(pages, wait)).at("error").as_string()).find("cut short"), std::string::npos);
}

TEST(PageOutcomesTest, ListsTheRunsOpenWindowsAndItsCredentials) {
  PageRegistry pages(short_times());
  poll(pages, poll_of("a"));
  poll(pages, poll_of("b"));
  poll(pages, poll_of("c", true));  // leaving: not listed
  const auto list = answer_of(send(pages, R"({"id":"p","op":"pages","run":"run-1"})")).at("value").as_array();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].at("page").as_string(), "a");
  EXPECT_EQ(list[1].at("url").as_string(), "http://app.test/b");
  EXPECT_TRUE(answer_of(send(pages, R"({"id":"p","op":"pages","run":"run-2"})")).at("value").as_array().empty());

  send(pages, R"({"id":"c","op":"credentials","run":"run-1","user":"all","password":"x","origin":""})");
  send(pages, R"({"id":"c","op":"credentials","run":"run-1","user":"one","password":"y","origin":"http://a.test"})");
  EXPECT_EQ(pages.credentials_for(kRun, "http://a.test")->user, "one");
  EXPECT_EQ(pages.credentials_for(kRun, "http://b.test")->user, "all");
  EXPECT_FALSE(pages.credentials_for("run-2", "http://a.test"));
}

}  // namespace
}  // namespace Tavrin::Proxy
