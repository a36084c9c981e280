// The registry's runs: a run's commands reach only the pages that
// registered over its port (which the run table gives it).
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "proxy/pages/testing/answered.h"
#include "proxy/pages/page_registry.h"
#include "proxy/pages/testing/agent_double.h"

namespace Tavrin::Proxy {
namespace {

using Testing::Answered;

using namespace std::chrono_literals;
using Testing::AgentPoll;
using Testing::id_of;
using Testing::poll;
using Testing::with_answer;

AgentPoll poll_in(const std::string& run, const std::string& page, bool top = true) {
  AgentPoll p;
  p.page = page;
  p.url = "http://app.test/" + page;
  p.title = "Title " + page;
  p.top = top;
  p.run = run;
  return p;
}

PageRegistryTimes short_times() {
  PageRegistryTimes t;
  t.page_wait = 300ms;
  t.answer_wait = 300ms;
  return t;
}

// Plays the agent of `page`: takes its next command (bounded wait) and
// answers it with `value`. Returns the command's text.
std::string answer_next(PageRegistry& pages, const std::string& run, const std::string& page, int value) {
  for (int i = 0; i < 300; ++i) {
    if (auto command = poll(pages, poll_in(run, page))) {
      const std::string id = id_of(*command);
      pages.delivered(page);
      poll(pages, with_answer(poll_in(run, page),
                              "{\"id\":\"" + id + "\",\"ok\":true,\"value\":" + std::to_string(value) + "}"));
      return *command;
    }
    std::this_thread::sleep_for(10ms);
  }
  return std::string();
}

class RegistryRuns : public ::testing::Test {
 protected:
  RegistryRuns() : pages_(short_times()) {}

  std::future<Answered> send(const std::wstring& command) {
    return std::async(std::launch::async, [this, command]() -> Answered { return pages_.run(command); });
  }

  PageRegistry pages_;
};

// Unnamed commands of a run go to the newest top-level page of that run,
// even when another run's page registered later.
TEST_F(RegistryRuns, UnnamedCommandsPickTheNewestPageOfTheirRun) {
  poll(pages_, poll_in("a", "a1"));
  poll(pages_, poll_in("a", "a2"));
  poll(pages_, poll_in("a", "a-frame", false));
  poll(pages_, poll_in("b", "b1"));
  poll(pages_, poll_in("", "own"));

  auto to_a = send(L"{\"id\":\"ca\",\"op\":\"eval\",\"run\":\"a\"}");
  EXPECT_NE(answer_next(pages_, "a", "a2", 1), "");
  EXPECT_EQ(to_a.get().page, L"a2");

  auto to_b = send(L"{\"id\":\"cb\",\"op\":\"eval\",\"run\":\"b\"}");
  EXPECT_NE(answer_next(pages_, "b", "b1", 2), "");
  const Answered b = to_b.get();
  EXPECT_EQ(b.page, L"b1");
  EXPECT_NE(b.text.find(L"\"value\":2"), std::wstring::npos) << b.text;

  // Without "run", today's rule: the newest top-level page of all.
  auto any = send(L"{\"id\":\"cx\",\"op\":\"eval\"}");
  EXPECT_NE(answer_next(pages_, "", "own", 3), "");
  EXPECT_EQ(any.get().page, L"own");
}

// A run with no page of its own waits for one and never takes another
// run's (or a person's own browser's) page.
TEST_F(RegistryRuns, ARunWithoutPagesWaitsForItsOwn) {
  poll(pages_, poll_in("b", "b1"));
  poll(pages_, poll_in("", "own"));
  const Answered lonely = pages_.run(L"{\"id\":\"c1\",\"op\":\"ready\",\"run\":\"a\",\"pageWait\":150}");
  EXPECT_NE(lonely.text.find(L"no page was there"), std::wstring::npos) << lonely.text;
  EXPECT_EQ(lonely.page, L"");
  EXPECT_FALSE(poll(pages_, poll_in("b", "b1")).has_value());
  EXPECT_FALSE(poll(pages_, poll_in("", "own")).has_value());

  // Its page registers later (after a mark of the run): the command gets it.
  EXPECT_EQ(pages_.mark(), 2u) << "two pages registered so far";
  auto ready = send(L"{\"id\":\"c2\",\"op\":\"ready\",\"run\":\"a\",\"after\":2}");
  std::this_thread::sleep_for(20ms);
  poll(pages_, poll_in("b", "b2"));
  poll(pages_, poll_in("a", "a1"));
  EXPECT_NE(answer_next(pages_, "a", "a1", 1), "");
  EXPECT_EQ(ready.get().page, L"a1");
}

// Naming another run's page is refused as unknown, at once; the page gets
// no command and its facts stay unseen.
TEST_F(RegistryRuns, NamedPagesOfAnotherRunAreUnknown) {
  poll(pages_, poll_in("b", "b1"));
  poll(pages_, poll_in("", "own"));
  for (const wchar_t* named : {L"b1", L"own"}) {
    const Answered refused =
        pages_.run(std::wstring(L"{\"id\":\"c\",\"op\":\"eval\",\"run\":\"a\",\"page\":\"") + named + L"\"}");
    EXPECT_NE(refused.text.find(L"there is no page"), std::wstring::npos) << refused.text;
    EXPECT_NE(refused.text.find(L"\"ok\":false"), std::wstring::npos) << refused.text;
    EXPECT_EQ(refused.page, L"");
    EXPECT_EQ(refused.url, L"");
    EXPECT_EQ(refused.title, L"");
  }
  // The registry's own answers name no page, whatever page the command names.
  const Answered listed = pages_.run(L"{\"id\":\"l\",\"op\":\"pages\",\"run\":\"a\",\"page\":\"b1\"}");
  EXPECT_EQ(listed.page + listed.url, L"") << listed.text;
  EXPECT_FALSE(poll(pages_, poll_in("b", "b1")).has_value());
  // A page keeps the run it registered with, whatever later polls say.
  poll(pages_, poll_in("a", "b1"));
  const Answered still = pages_.run(L"{\"id\":\"c9\",\"op\":\"eval\",\"run\":\"a\",\"page\":\"b1\"}");
  EXPECT_NE(still.text.find(L"there is no page"), std::wstring::npos) << still.text;
}

// A page stays bound to the token it registered with: a report of
// another token (even of the same run) is refused and changes nothing, it
// takes none of the page's commands, and its farewell does not end the
// page; the page's own farewell does.
TEST_F(RegistryRuns, APageStaysWithItsToken) {
  AgentPoll own = poll_in("a", "a1");
  own.token = "token-1";
  poll(pages_, own);
  AgentPoll thief = poll_in("a", "a1");
  thief.token = "token-2";
  thief.title = "Stolen";
  EXPECT_FALSE(pages_.report(thief, "a", "token-2"));
  auto command = send(L"{\"id\":\"c1\",\"op\":\"eval\",\"run\":\"a\"}");
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(poll(pages_, thief).has_value());
  pages_.leave("a1", "token-2");
  std::optional<std::string> taken;
  for (int i = 0; i < 300 && !taken; ++i) {
    taken = poll(pages_, own);
    if (!taken) std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(taken.has_value());
  pages_.delivered("a1");
  poll(pages_, with_answer(own, "{\"id\":\"c1\",\"ok\":true,\"value\":5}"));
  const Answered got = command.get();
  EXPECT_EQ(got.title, L"Title a1");
  EXPECT_NE(got.text.find(L"\"value\":5"), std::wstring::npos) << got.text;

  pages_.leave("a1", "token-1");
  const Answered later = pages_.run(L"{\"id\":\"c2\",\"op\":\"eval\",\"page\":\"a1\"}");
  EXPECT_NE(later.text.find(L"\"gone\":true"), std::wstring::npos) << later.text;
}

}  // namespace
}  // namespace Tavrin::Proxy
