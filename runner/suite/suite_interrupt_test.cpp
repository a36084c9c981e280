// The suite's interrupt: the console signals it keeps and the exit status
// each one gives. One signal per test program run, as a second one would
// end the program.
#include "runner/suite/suite_interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "test_support/wait_until.h"

namespace Tavrin::Suite {
namespace {

// A closed terminal (SIGHUP) is kept, not left to end the program, and
// gives 128 + 1. Quiet until then.
TEST(SuiteInterrupt, KeepsTheFirstSignalWithItsExitStatus) {
  const SuiteInterrupt interrupt;
  EXPECT_FALSE(interrupt.requested());
  EXPECT_EQ(interrupt.exit_status(), 0);
  ASSERT_EQ(::kill(::getpid(), SIGHUP), 0);
  ASSERT_TRUE(quorvane_test::wait_until([&] { return interrupt.requested(); }, std::chrono::milliseconds(10000)));
  EXPECT_EQ(interrupt.exit_status(), 128 + SIGHUP);
}

}  // namespace
}  // namespace Tavrin::Suite
