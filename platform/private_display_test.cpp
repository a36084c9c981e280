// A run's private screen: a server on a display of its own that takes
// clients, ended with its owner, also when the owner is killed.
#include "platform/private_display.h"

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "test_support/wait_until.h"

namespace Tavrin::Platform {
namespace {

bool server_ended(int pid) { return !Process::process_exists(pid); }

class PrivateDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access(PrivateDisplay::kServer, X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
  }
};

// Two displays at once get two numbers; each has its socket while it
// lives, and its server is gone when the object goes.
TEST_F(PrivateDisplayTest, OwnDisplayEndedWithTheObject) {
  int first_pid = -1;
  {
    PrivateDisplay first(640, 480);
    PrivateDisplay second(640, 480);
    ASSERT_EQ(first.name().rfind(":", 0), 0u);
    EXPECT_NE(first.name(), second.name());
    EXPECT_TRUE(std::filesystem::exists("/tmp/.X11-unix/X" + first.name().substr(1)));
    first_pid = first.server_pid();
    EXPECT_TRUE(Process::process_exists(first_pid));
  }
  EXPECT_TRUE(server_ended(first_pid));
}

// The owner killed outright: its server ends all the same.
TEST_F(PrivateDisplayTest, EndsWhenTheOwnerIsKilled) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const pid_t owner = ::fork();
  ASSERT_GE(owner, 0);
  if (owner == 0) {
    ::close(ends[0]);
    try {
      PrivateDisplay display(640, 480);
      const int pid = display.server_pid();
      if (::write(ends[1], &pid, sizeof pid) != sizeof pid) ::_exit(2);
      for (;;) ::pause();
    } catch (...) {
      ::_exit(1);
    }
  }
  ::close(ends[1]);
  int server = -1;
  ASSERT_EQ(::read(ends[0], &server, sizeof server), static_cast<ssize_t>(sizeof server));
  ::close(ends[0]);
  EXPECT_TRUE(Process::process_exists(server));
  ::kill(owner, SIGKILL);
  ::waitpid(owner, nullptr, 0);
  EXPECT_TRUE(quorvane_test::wait_until([&] { return server_ended(server); }, std::chrono::seconds(10)));
}

// The runner keeps the console signals blocked for its own handler; the
// server must not inherit that, or it would stay deaf to SIGTERM and every
// run would wait out the grace before the kill.
TEST_F(PrivateDisplayTest, EndsAtSigtermThoughItsOwnerBlocksIt) {
  sigset_t term, before;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &term, &before), 0);
  PrivateDisplay display(640, 480);
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  const int server = display.server_pid();
  ASSERT_EQ(::kill(server, SIGTERM), 0);
  EXPECT_TRUE(quorvane_test::wait_until([&] { return server_ended(server); }, std::chrono::seconds(10)));
}

}  // namespace
}  // namespace Tavrin::Platform
