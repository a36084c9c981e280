// Watching processes that are not our children and asking them to end.
#include <algorithm>
#include <string>
#include <vector>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/process_watch.h"

namespace {

using namespace Tavrin::Platform::Process;

int start_sleeper(const char* seconds = "30") {
  StartOptions options;
  options.arguments = {"sleep", seconds};
  return start_detached(options);
}

// A detached process is watched until it is asked to end; its group goes
// with it.
TEST(ProcessWatch, SeesADetachedProcessEndWhenAsked) {
  ProcessWatch watch(start_sleeper());
  EXPECT_FALSE(watch.WaitForExit(std::chrono::milliseconds(50)));
  ASSERT_GT(watch.group(), 0);
  EXPECT_TRUE(process_group_exists(watch.group()));
  EXPECT_TRUE(ask_process_to_end(watch.group(), true));
  EXPECT_TRUE(watch.WaitForExit(std::chrono::seconds(10)));
  for (int i = 0; i < 100 && process_group_exists(watch.group()); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(process_group_exists(watch.group()));
}

// A process that ends by itself is seen ending; one that never existed
// counts as ended, and the watch moves.
TEST(ProcessWatch, EndedAndMissingProcesses) {
  ProcessWatch watch(start_sleeper("0.1"));
  EXPECT_TRUE(watch.WaitForExit(std::chrono::seconds(10)));
  ProcessWatch missing(-1);
  EXPECT_TRUE(missing.Ended());
  ProcessWatch moved(std::move(watch));
  EXPECT_TRUE(moved.Ended());
  EXPECT_FALSE(ask_process_to_end(-1));
}

// The environment for a child: the caller's with one variable replaced.
TEST(ProcessWatch, EnvironmentWithOneVariable) {
  ::setenv("QUORVANE_WATCH_TEST", "old", 1);
  const auto environment = environment_with("QUORVANE_WATCH_TEST", "new");
  int found = 0;
  for (const auto& entry : environment) {
    if (entry.rfind("QUORVANE_WATCH_TEST=", 0) == 0) {
      ++found;
      EXPECT_EQ(entry, "QUORVANE_WATCH_TEST=new");
    }
  }
  EXPECT_EQ(found, 1);
  EXPECT_GT(environment.size(), 1u);
  EXPECT_GT(current_process_id(), 0);
  ::unsetenv("QUORVANE_WATCH_TEST");  // the next test counts every QUORVANE_WATCH_ variable
}

// Several variables at once; a variable whose name merely starts with a
// replaced one's stays; the process's own setting reaches later children.
TEST(ProcessWatch, EnvironmentWithSeveralVariables) {
  set_own_environment("QUORVANE_WATCH_A", "old");
  set_own_environment("QUORVANE_WATCH_AB", "kept");
  const auto environment = environment_with({{"QUORVANE_WATCH_A", "1"}, {"QUORVANE_WATCH_B", "2"}});
  std::vector<std::string> ours;
  for (const auto& entry : environment)
    if (entry.rfind("QUORVANE_WATCH_", 0) == 0) ours.push_back(entry);
  std::sort(ours.begin(), ours.end());
  EXPECT_EQ(ours, (std::vector<std::string>{"QUORVANE_WATCH_A=1", "QUORVANE_WATCH_AB=kept", "QUORVANE_WATCH_B=2"}));
  EXPECT_THROW(set_own_environment("BAD=NAME", "x"), boost::system::system_error);
}

}  // namespace
