// Runs at the same time: the table of their ports (idle runs dropped, a
// cap on their number) and the registry keeping each run's pages and
// commands apart.
#include "proxy/run_table.h"

#include <future>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "proxy/page_registry.h"

namespace Tavrin::Proxy {
namespace {

using namespace std::chrono_literals;

TEST(RunTableTest, RunIdsAreShortPlainNames) {
  EXPECT_TRUE(is_run_id("4f0c2a1e-9b7d-4c39-a1f2-0e8d7c6b5a49"));
  EXPECT_TRUE(is_run_id("ci_job.7"));
  EXPECT_FALSE(is_run_id(""));
  EXPECT_FALSE(is_run_id(std::string(65, 'a')));
  EXPECT_FALSE(is_run_id("a b"));
  EXPECT_FALSE(is_run_id("a\"b"));
  EXPECT_FALSE(is_run_id("../x"));
}

// A port belongs to its run; the main port (any other) to none.
TEST(RunTableTest, PortsBelongToTheirRuns) {
  RunTable runs;
  const auto now = RunTable::Clock::now();
  runs.add("a", 4001, now);
  runs.add("b", 4002, now);
  EXPECT_EQ(runs.run_of_port(4001, now), "a");
  EXPECT_EQ(runs.run_of_port(4002, now), "b");
  EXPECT_EQ(runs.run_of_port(8888, now), "");
  EXPECT_EQ(runs.port_of("a", now), std::optional<std::uint16_t>(4001));
  EXPECT_FALSE(runs.port_of("c", now).has_value());
  EXPECT_TRUE(runs.is_run_port(4002));
  EXPECT_FALSE(runs.is_run_port(8888));
  // A run that gets a new port gives up the old one.
  runs.add("a", 4003, now);
  EXPECT_EQ(runs.run_of_port(4001, now), "");
  EXPECT_EQ(runs.run_of_port(4003, now), "a");
  EXPECT_EQ(runs.size(), 2u);
}

// Activity (its port asked for, a connection on its port) keeps a run;
// a run idle past the limit is dropped with its port; the cap counts.
TEST(RunTableTest, IdleRunsAreDroppedAndTheirNumberIsCapped) {
  RunTable runs(RunLimits{2, 1000ms});
  const auto start = RunTable::Clock::now();
  runs.add("busy", 5001, start);
  runs.add("quiet", 5002, start);
  EXPECT_TRUE(runs.full());
  runs.run_of_port(5001, start + 800ms);
  runs.port_of("busy", start + 1600ms);
  EXPECT_EQ(runs.drop_idle(start + 1500ms), std::vector<std::uint16_t>{5002});
  EXPECT_FALSE(runs.full());
  EXPECT_EQ(runs.run_of_port(5002, start + 1500ms), "");
  EXPECT_TRUE(runs.drop_idle(start + 2500ms).empty());
  EXPECT_EQ(runs.drop_idle(start + 2700ms), std::vector<std::uint16_t>{5001});
  EXPECT_EQ(runs.size(), 0u);
}

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
    if (auto command = pages.poll(poll_in(run, page))) {
      const auto at = command->find("\"id\":\"") + 6;
      const std::string id = command->substr(at, command->find('"', at) - at);
      pages.delivered(page);
      AgentPoll answer = poll_in(run, page);
      answer.answer_id = id;
      answer.answer = "{\"id\":\"" + id + "\",\"ok\":true,\"value\":" + std::to_string(value) + "}";
      pages.poll(answer);
      return *command;
    }
    std::this_thread::sleep_for(10ms);
  }
  return std::string();
}

class RegistryRuns : public ::testing::Test {
 protected:
  RegistryRuns() : pages_(short_times()) {}

  std::future<CommandAnswer> send(const std::wstring& command) {
    return std::async(std::launch::async, [this, command] { return pages_.run(command); });
  }

  PageRegistry pages_;
};

// Unnamed commands of a run go to the newest top-level page of that run,
// even when another run's page registered later.
TEST_F(RegistryRuns, UnnamedCommandsPickTheNewestPageOfTheirRun) {
  pages_.poll(poll_in("a", "a1"));
  pages_.poll(poll_in("a", "a2"));
  pages_.poll(poll_in("a", "a-frame", false));
  pages_.poll(poll_in("b", "b1"));
  pages_.poll(poll_in("", "own"));

  auto to_a = send(L"{\"id\":\"ca\",\"op\":\"eval\",\"run\":\"a\"}");
  EXPECT_NE(answer_next(pages_, "a", "a2", 1), "");
  EXPECT_EQ(to_a.get().page, L"a2");

  auto to_b = send(L"{\"id\":\"cb\",\"op\":\"eval\",\"run\":\"b\"}");
  EXPECT_NE(answer_next(pages_, "b", "b1", 2), "");
  const CommandAnswer b = to_b.get();
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
  pages_.poll(poll_in("b", "b1"));
  pages_.poll(poll_in("", "own"));
  const CommandAnswer lonely = pages_.run(L"{\"id\":\"c1\",\"op\":\"ready\",\"run\":\"a\",\"pageWait\":150}");
  EXPECT_NE(lonely.text.find(L"no page was there"), std::wstring::npos) << lonely.text;
  EXPECT_EQ(lonely.page, L"");
  EXPECT_FALSE(pages_.poll(poll_in("b", "b1")).has_value());
  EXPECT_FALSE(pages_.poll(poll_in("", "own")).has_value());

  // Its page registers later (after a mark of the run): the command gets it.
  const CommandAnswer mark = pages_.run(L"{\"id\":\"m\",\"op\":\"mark\",\"run\":\"a\"}");
  EXPECT_NE(mark.text.find(L"\"ok\":true"), std::wstring::npos);
  auto ready = send(L"{\"id\":\"c2\",\"op\":\"ready\",\"run\":\"a\",\"after\":2}");
  std::this_thread::sleep_for(20ms);
  pages_.poll(poll_in("b", "b2"));
  pages_.poll(poll_in("a", "a1"));
  EXPECT_NE(answer_next(pages_, "a", "a1", 1), "");
  EXPECT_EQ(ready.get().page, L"a1");
}

// Naming another run's page is refused as unknown, at once; the page gets
// no command and its facts stay unseen.
TEST_F(RegistryRuns, NamedPagesOfAnotherRunAreUnknown) {
  pages_.poll(poll_in("b", "b1"));
  pages_.poll(poll_in("", "own"));
  for (const wchar_t* named : {L"b1", L"own"}) {
    const CommandAnswer refused =
        pages_.run(std::wstring(L"{\"id\":\"c\",\"op\":\"eval\",\"run\":\"a\",\"page\":\"") + named + L"\"}");
    EXPECT_NE(refused.text.find(L"there is no page"), std::wstring::npos) << refused.text;
    EXPECT_NE(refused.text.find(L"\"ok\":false"), std::wstring::npos) << refused.text;
    EXPECT_EQ(refused.page, L"");
    EXPECT_EQ(refused.url, L"");
    EXPECT_EQ(refused.title, L"");
  }
  const CommandAnswer mark = pages_.run(L"{\"id\":\"m\",\"op\":\"mark\",\"run\":\"a\",\"page\":\"b1\"}");
  EXPECT_EQ(mark.url, L"");
  EXPECT_FALSE(pages_.poll(poll_in("b", "b1")).has_value());
  // A page keeps the run it registered with, whatever later polls say.
  pages_.poll(poll_in("a", "b1"));
  const CommandAnswer still = pages_.run(L"{\"id\":\"c9\",\"op\":\"eval\",\"run\":\"a\",\"page\":\"b1\"}");
  EXPECT_NE(still.text.find(L"there is no page"), std::wstring::npos) << still.text;
}

// {"op":"run"} is answered with the port the hook gives; a bad run id, a
// missing hook and a hook that throws are failed answers.
TEST_F(RegistryRuns, RunCommandAsksForTheRunsPort) {
  const CommandAnswer none = pages_.run(L"{\"id\":\"r0\",\"op\":\"run\",\"run\":\"a\"}");
  EXPECT_NE(none.text.find(L"serves no browsers"), std::wstring::npos) << none.text;

  std::vector<std::string> asked;
  pages_.set_run_ports([&](const std::string& run) -> std::uint16_t {
    if (run == "full") throw std::runtime_error("too many runs");
    asked.push_back(run);
    return 4321;
  });
  const CommandAnswer port = pages_.run(L"{\"id\":\"r1\",\"op\":\"run\",\"run\":\"job-1\"}");
  EXPECT_NE(port.text.find(L"\"ok\":true"), std::wstring::npos) << port.text;
  EXPECT_NE(port.text.find(L"\"value\":4321"), std::wstring::npos) << port.text;
  EXPECT_NE(port.text.find(L"\"id\":\"r1\""), std::wstring::npos) << port.text;
  EXPECT_EQ(asked, std::vector<std::string>{"job-1"});

  const CommandAnswer bad = pages_.run(L"{\"id\":\"r2\",\"op\":\"run\",\"run\":\"a b\"}");
  EXPECT_NE(bad.text.find(L"\"ok\":false"), std::wstring::npos) << bad.text;
  const CommandAnswer unnamed = pages_.run(L"{\"id\":\"r3\",\"op\":\"run\"}");
  EXPECT_NE(unnamed.text.find(L"\"ok\":false"), std::wstring::npos) << unnamed.text;
  const CommandAnswer full = pages_.run(L"{\"id\":\"r4\",\"op\":\"run\",\"run\":\"full\"}");
  EXPECT_NE(full.text.find(L"too many runs"), std::wstring::npos) << full.text;
  EXPECT_EQ(asked.size(), 1u);
}

}  // namespace
}  // namespace Tavrin::Proxy
