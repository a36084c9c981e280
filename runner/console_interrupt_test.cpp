// An interrupt during a run: the console handler, on its own thread, tells
// the proxy to stop exactly once, and the process then ends by the signal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

namespace {

struct Probe {
  pid_t pid = -1;
  int out = -1;
};

Probe start_probe(const std::string& suite, const std::string& run_ms) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  Probe p;
  p.pid = ::fork();
  if (p.pid == 0) {
    ::dup2(fds[1], 1);
    ::close(fds[0]);
    ::close(fds[1]);
    const std::string path = std::string(QUORVANE_TEST_DIR) + "/console_interrupt_probe";
    ::execl(path.c_str(), path.c_str(), suite.c_str(), run_ms.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  p.out = fds[0];
  return p;
}

// Reads until `expected` has arrived, the pipe closes or 10 s pass.
std::string read_until(int fd, const std::string& expected, std::string so_far = "") {
  for (int waited = 0; so_far.find(expected) == std::string::npos && waited < 100; ++waited) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    so_far.append(buffer, n);
  }
  return so_far;
}

int wait_status(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return status;
    ::usleep(100000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return status;
}

TEST(ConsoleInterrupt, TopLevelRunStopsProxyOnceAndEndsBySignal) {
  Probe p = start_probe("0", "10000");
  ASSERT_NE(read_until(p.out, "running\n").find("running\n"), std::string::npos);
  ASSERT_EQ(::kill(p.pid, SIGINT), 0);
  const std::string out = read_until(p.out, "\x01", "running\n");  // read to the end
  const int status = wait_status(p.pid);
  ::close(p.out);
  EXPECT_TRUE(WIFSIGNALED(status));
  if (WIFSIGNALED(status)) {
    EXPECT_EQ(WTERMSIG(status), SIGINT);
  }
  EXPECT_EQ(out, "running\nstop\n");
}

TEST(ConsoleInterrupt, NestedRunNeverStopsProxy) {
  Probe p = start_probe("2", "10000");
  ASSERT_NE(read_until(p.out, "running\n").find("running\n"), std::string::npos);
  ASSERT_EQ(::kill(p.pid, SIGTERM), 0);
  const std::string out = read_until(p.out, "\x01", "running\n");
  const int status = wait_status(p.pid);
  ::close(p.out);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_EQ(out, "running\n");
}

TEST(ConsoleInterrupt, UninterruptedRunStopsProxyOnce) {
  Probe p = start_probe("0", "50");
  const std::string out = read_until(p.out, "ended\n");
  const int status = wait_status(p.pid);
  ::close(p.out);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(out, "running\nstop\nended\n");
}

}  // namespace
