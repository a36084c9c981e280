// The end of a private copy's runs, with stand-ins for its programs (copies
// of sleep and cat under the programs' names): a run's leftover is waited
// for and reported, never ended; the proxy and its guard are ended.
#include "test_support/run_leftovers.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support/local_processes.h"
#include "test_support/temp_dir.h"

namespace quorvane_test {
namespace {

using ::testing::IsEmpty;

class RunLeftovers : public ::testing::Test {
 protected:
  ~RunLeftovers() override {
    for (int pid : started_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    for (int fd : inputs_) ::close(fd);
  }

  // Starts a copy of `tool` named `name` in the folder with `arguments`;
  // its standard input is a pipe that stays open, so cat waits on it.
  std::string Start(const std::string& tool, const std::string& name, std::vector<std::string> arguments = {}) {
    const std::string program = dir_.file(name);
    std::filesystem::copy_file(tool, program, std::filesystem::copy_options::overwrite_existing);
    arguments.insert(arguments.begin(), program);
    int input[2];
    EXPECT_EQ(::pipe(input), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(input[0], 0);
      std::vector<char*> argv;
      for (auto& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(input[0]);
    inputs_.push_back(input[1]);
    started_.push_back(pid);
    std::string line = program;
    for (std::size_t i = 1; i < arguments.size(); ++i) line += " " + arguments[i];
    EXPECT_TRUE(wait_until_running(line));
    return line;
  }

  bool wait_until_running(const std::string& line) {
    for (int i = 0; i < 250; ++i) {
      for (const auto& [pid, running] : command_lines_from(dir_.path()))
        if (running == line) return true;
      ::usleep(20000);
    }
    return false;
  }

  TempDir dir_;
  std::vector<int> started_;
  std::vector<int> inputs_;
};

TEST(RunLeftoversNames, TheProxyAndTheGuardOnly) {
  EXPECT_TRUE(is_server_or_guard("/x/bin/QuorvaneProxy -Embedding"));
  EXPECT_TRUE(is_server_or_guard("/x/bin/QuorvaneHelper"));
  EXPECT_FALSE(is_server_or_guard("/x/bin/QuorvaneHelper /Install"));
  EXPECT_FALSE(is_server_or_guard("/x/bin/Quorvane /x/t.js"));
  EXPECT_FALSE(is_server_or_guard("/usr/lib/chromium/chromium --user-data-dir=/x/profile"));
}

// The proxy and an idle guard are ended; nothing is left.
TEST_F(RunLeftovers, ProxyAndGuardAreEnded) {
  Start("/bin/sleep", "QuorvaneProxy", {"600"});
  Start("/bin/cat", "QuorvaneHelper");
  // Ended children of this test stay zombies, whose command lines read
  // empty: gone.
  EXPECT_THAT(end_runs_then_server(dir_.path()), IsEmpty());
}

// A browser that outlives its run is waited for, then reported with the
// proxy and the guard, which stay: nothing is ended under a faulty run.
TEST_F(RunLeftovers, ARunsLeftoverIsReportedAndNothingIsEnded) {
  const std::string browser = Start("/bin/sleep", "chromium", {"600"});
  const std::string proxy = Start("/bin/sleep", "QuorvaneProxy", {"600"});
  const std::string guard = Start("/bin/cat", "QuorvaneHelper");
  std::vector<std::string> left = end_runs_then_server(dir_.path(), std::chrono::seconds(1));
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected{browser, proxy, guard};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
}

}  // namespace
}  // namespace quorvane_test
