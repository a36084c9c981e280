// Runs at the same time: the table of their ports (idle runs dropped, a
// cap on their number).
#include "proxy/run_table.h"

#include <gtest/gtest.h>

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

// A run's browsers are known by its port, once each, the oldest going past
// the cap; a run not served takes none, and a dropped run's go with it, so
// a later run on the same port starts without browsers.
TEST(RunTableTest, BrowsersBelongToTheirRunUntilItIsDropped) {
  RunTable runs;
  const auto now = RunTable::Clock::now();
  runs.add("a", 4001, now);
  runs.add("b", 4002, now);
  const RunBrowser first{100, 7}, again{100, 9}, other{200, 7};
  EXPECT_TRUE(runs.add_browser("a", first, now));
  EXPECT_TRUE(runs.add_browser("a", first, now));
  EXPECT_TRUE(runs.add_browser("a", again, now));  // the same pid, another process
  EXPECT_TRUE(runs.add_browser("b", other, now));
  EXPECT_FALSE(runs.add_browser("c", other, now));
  EXPECT_EQ(runs.browsers_of_port(4001), (std::vector<RunBrowser>{first, again}));
  EXPECT_EQ(runs.browsers_of_port(4002), std::vector<RunBrowser>{other});
  EXPECT_TRUE(runs.browsers_of_port(8888).empty());
  for (int pid = 1; pid <= static_cast<int>(RunTable::kMaxBrowsers); ++pid)
    runs.add_browser("b", RunBrowser{1000 + pid, 1}, now);
  const std::vector<RunBrowser> kept = runs.browsers_of_port(4002);
  ASSERT_EQ(kept.size(), RunTable::kMaxBrowsers);
  EXPECT_EQ(kept.front(), (RunBrowser{1001, 1}));
  runs.drop_all();
  runs.add("c", 4001, now);
  EXPECT_TRUE(runs.browsers_of_port(4001).empty());
}

// A run that is served on a new port (its old listener gone) keeps the
// browsers it registered: their pages must still get their tokens.
TEST(RunTableTest, ARunMovedToAnotherPortKeepsItsBrowsers) {
  RunTable runs;
  const auto now = RunTable::Clock::now();
  runs.add("a", 4001, now);
  const RunBrowser browser{100, 7};
  ASSERT_TRUE(runs.add_browser("a", browser, now));
  runs.add("a", 4005, now);
  EXPECT_EQ(runs.browsers_of_port(4005), std::vector<RunBrowser>{browser});
  EXPECT_TRUE(runs.browsers_of_port(4001).empty());
  runs.add("a", 4005, now);
  EXPECT_EQ(runs.browsers_of_port(4005), std::vector<RunBrowser>{browser});
}

}  // namespace
}  // namespace Tavrin::Proxy
