// The page registry: which page a command goes to, how a held poll learns
// of a command, and what a command whose page goes away answers.
#include "proxy/page_registry.h"

#include <future>
#include <thread>

#include <gtest/gtest.h>

namespace Tavrin::Proxy {
namespace {

AgentPoll poll_of(const std::string& page, bool top = true) {
  AgentPoll p;
  p.page = page;
  p.url = "http://app.test/" + page;
  p.title = "Title " + page;
  p.top = top;
  return p;
}

AgentPoll answer_of(const std::string& page, const std::string& id) {
  AgentPoll p = poll_of(page);
  p.answer_id = id;
  p.answer = "{\"id\":\"" + id + "\",\"ok\":true,\"value\":42}";
  return p;
}

PageRegistryTimes short_times() {
  PageRegistryTimes t;
  t.page_wait = std::chrono::milliseconds(300);
  t.answer_wait = std::chrono::milliseconds(300);
  return t;
}

// Waits (bounded) until the page has a command waiting for it, by polling.
std::optional<std::string> next_command(PageRegistry& pages, const std::string& page) {
  for (int i = 0; i < 500; ++i) {
    if (auto c = pages.poll(poll_of(page))) return c;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

// A command put in after a poll found nothing but before the poll was
// held must not wait for the hold to run out: hold() refuses, and release()
// hands the command over.
TEST(PageRegistryTest, CommandBetweenPollAndHoldIsNotLost) {
  PageRegistry pages(short_times());
  EXPECT_FALSE(pages.poll(poll_of("p1")).has_value());
  auto running = std::async(std::launch::async, [&] { return pages.run(L"{\"id\":\"c1\",\"op\":\"eval\"}"); });
  // The command is in once a second poll would take it; look without
  // taking it by waiting until hold() refuses.
  bool refused = false;
  for (int i = 0; i < 500 && !refused; ++i) {
    refused = !pages.hold("p1", [] {});
    if (!refused) {
      EXPECT_FALSE(pages.release("p1").has_value());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ASSERT_TRUE(refused);
  const std::optional<std::string> command = pages.release("p1");
  ASSERT_TRUE(command.has_value());
  EXPECT_NE(command->find("\"c1\""), std::string::npos);
  pages.delivered("p1");
  pages.poll(answer_of("p1", "c1"));
  const CommandAnswer answer = running.get();
  EXPECT_EQ(answer.page, L"p1");
  EXPECT_EQ(answer.title, L"Title p1");
  EXPECT_NE(answer.text.find(L"42"), std::wstring::npos);
  // The answer is also kept by id, once.
  EXPECT_NE(pages.take_answer(L"c1").find(L"42"), std::wstring::npos);
  EXPECT_EQ(pages.take_answer(L"c1"), L"");
}

// Unnamed commands go to the newest top-level page, never to a frame;
// "after" a mark only pages registered later qualify.
TEST(PageRegistryTest, UnnamedCommandsGoToTheNewestTopLevelPage) {
  PageRegistry pages(short_times());
  pages.poll(poll_of("old"));
  const CommandAnswer mark = pages.run(L"{\"id\":\"m\",\"op\":\"mark\"}");
  pages.poll(poll_of("new"));
  pages.poll(poll_of("frame", false));
  auto running = std::async(std::launch::async, [&] { return pages.run(L"{\"id\":\"c2\",\"op\":\"eval\"}"); });
  ASSERT_TRUE(next_command(pages, "new").has_value());
  pages.delivered("new");
  pages.poll(answer_of("new", "c2"));
  EXPECT_EQ(running.get().page, L"new");

  // A mark taken now: nothing registers after it, so the wait runs out.
  const std::wstring m = mark.text;
  EXPECT_NE(m.find(L"\"value\":1"), std::wstring::npos) << m;
  const CommandAnswer late = pages.run(L"{\"id\":\"c3\",\"op\":\"ready\",\"after\":3,\"pageWait\":200}");
  EXPECT_NE(late.text.find(L"no page was there"), std::wstring::npos) << late.text;
}

// A command's answer carries the mark as it was when the page took the
// command: the page its navigation loads comes after it, the pages before
// do not. So does the "navigated" answer of a page that unloads.
TEST(PageRegistryTest, AnswersCarryTheMarkOfTheirHandOver) {
  PageRegistry pages(short_times());
  pages.poll(poll_of("old"));
  pages.poll(poll_of("p1"));
  auto clicking = std::async(std::launch::async, [&] { return pages.run(L"{\"id\":\"c1\",\"page\":\"p1\"}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  pages.poll(poll_of("next"));  // the page the command's navigation loads
  pages.poll(answer_of("p1", "c1"));
  const CommandAnswer clicked = clicking.get();
  EXPECT_NE(clicked.text.find(L"\"value\":42"), std::wstring::npos) << clicked.text;
  EXPECT_NE(clicked.text.find(L"\"mark\":2}"), std::wstring::npos) << clicked.text;
  // The answer read by id is the same text.
  EXPECT_EQ(pages.take_answer(L"c1"), clicked.text);

  auto following = std::async(std::launch::async,
                              [&] { return pages.run(L"{\"id\":\"c2\",\"after\":2,\"pageWait\":200}"); });
  ASSERT_TRUE(next_command(pages, "next").has_value());
  pages.delivered("next");
  pages.gone("next");
  const CommandAnswer followed = following.get();
  EXPECT_EQ(followed.page, L"next");
  EXPECT_NE(followed.text.find(L"\"navigated\":true"), std::wstring::npos) << followed.text;
  EXPECT_NE(followed.text.find(L"\"mark\":3}"), std::wstring::npos) << followed.text;

  // After the newest page's mark nothing qualifies: "old" and "p1" are
  // older.
  const CommandAnswer none = pages.run(L"{\"id\":\"c3\",\"after\":3,\"pageWait\":100}");
  EXPECT_NE(none.text.find(L"no page was there"), std::wstring::npos) << none.text;
  EXPECT_EQ(none.text.find(L"\"mark\""), std::wstring::npos) << "a command no page took carries no mark";
}

// A named page that unloads while its command runs answers "navigated";
// one that is gone before the command answers that it is gone.
TEST(PageRegistryTest, PagesThatGoAwayEndTheirCommands) {
  PageRegistry pages(short_times());
  pages.poll(poll_of("p1"));
  auto running = std::async(std::launch::async, [&] { return pages.run(L"{\"id\":\"c4\",\"page\":\"p1\"}"); });
  ASSERT_TRUE(next_command(pages, "p1").has_value());
  pages.delivered("p1");
  pages.gone("p1");
  EXPECT_NE(running.get().text.find(L"\"navigated\":true"), std::wstring::npos);

  const CommandAnswer after = pages.run(L"{\"id\":\"c5\",\"page\":\"p1\"}");
  EXPECT_NE(after.text.find(L"\"gone\":true"), std::wstring::npos) << after.text;
  EXPECT_NE(after.text.find(L"\"ok\":false"), std::wstring::npos) << after.text;
}

// An id used again once its answer was read keeps its new answer, however
// often that happens.
TEST(PageRegistryTest, IdsUsedAgainKeepTheirAnswers) {
  PageRegistry pages(short_times());
  for (std::size_t i = 0; i < PageRegistry::kMaxKeptAnswers + 10; ++i) {
    pages.run(L"{\"id\":\"same\",\"op\":\"mark\"}");
    ASSERT_NE(pages.take_answer(L"same"), L"") << "round " << i;
  }
  // The limit still holds for answers nobody reads.
  for (std::size_t i = 0; i <= PageRegistry::kMaxKeptAnswers; ++i)
    pages.run(L"{\"id\":\"m" + std::to_wstring(i) + L"\",\"op\":\"mark\"}");
  EXPECT_EQ(pages.take_answer(L"m0"), L"");
  EXPECT_NE(pages.take_answer(L"m1"), L"");
}

// Malformed commands come back as failed answers, not as exceptions.
TEST(PageRegistryTest, MalformedCommandsAreAnsweredAsFailures) {
  PageRegistry pages(short_times());
  EXPECT_NE(pages.run(L"not json").text.find(L"not a JSON object"), std::wstring::npos);
  EXPECT_NE(pages.run(L"[1,2]").text.find(L"\"ok\":false"), std::wstring::npos);
}

}  // namespace
}  // namespace Tavrin::Proxy
