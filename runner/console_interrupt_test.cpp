// An interrupt during a run: the console handler, on its own thread, tells
// the proxy to stop exactly once, and the process then ends by the signal.
#include <signal.h>

#include <chrono>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace {

namespace Process = Tavrin::Platform::Process;
using std::chrono::milliseconds;

// The probe program running one suite level for `run_ms`, its standard
// output in a file.
class ConsoleInterrupt : public ::testing::Test {
 protected:
  void Start(const std::string& suite, const std::string& run_ms) {
    Process::StartOptions options;
    options.arguments = {QUORVANE_TEST_DIR "/console_interrupt_probe", suite, run_ms};
    options.output_file = output_file();
    probe_ = Process::start(options);
  }

  // Whether the probe has printed `text` within 10 s.
  bool Printed(const std::string& text) {
    return quorvane_test::wait_until(
        [&] { return quorvane_test::read_file(output_file()).find(text) != std::string::npos; }, milliseconds(10000));
  }

  // Waits up to 10 s for the probe to end (it is killed then).
  Process::ExitStatus Finish() {
    const std::optional<Process::ExitStatus> status = probe_->WaitFor(milliseconds(10000));
    if (status) return *status;
    probe_->Kill();
    ADD_FAILURE() << "the probe did not end";
    return probe_->Wait();
  }

  std::string Output() const { return quorvane_test::read_file(output_file()); }
  std::string output_file() const { return dir_.file("out"); }

  quorvane_test::TempDir dir_;
  std::optional<Process::Child> probe_;
};

TEST_F(ConsoleInterrupt, TopLevelRunStopsProxyOnceAndEndsBySignal) {
  Start("0", "10000");
  ASSERT_TRUE(Printed("running\n"));
  ASSERT_EQ(::kill(probe_->pid(), SIGINT), 0);
  const Process::ExitStatus status = Finish();
  EXPECT_FALSE(status.exited);
  EXPECT_EQ(status.signal, SIGINT);
  EXPECT_EQ(Output(), "running\nstop\n");
}

TEST_F(ConsoleInterrupt, NestedRunNeverStopsProxy) {
  Start("2", "10000");
  ASSERT_TRUE(Printed("running\n"));
  ASSERT_EQ(::kill(probe_->pid(), SIGTERM), 0);
  const Process::ExitStatus status = Finish();
  EXPECT_FALSE(status.exited);
  EXPECT_EQ(status.signal, SIGTERM);
  EXPECT_EQ(Output(), "running\n");
}

TEST_F(ConsoleInterrupt, UninterruptedRunStopsProxyOnce) {
  Start("0", "50");
  const Process::ExitStatus status = Finish();
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.code, 0);
  EXPECT_EQ(Output(), "running\nstop\nended\n");
}

}  // namespace
