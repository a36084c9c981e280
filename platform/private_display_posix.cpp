#include "platform/private_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/os_error.h"

namespace Tavrin::Platform {

namespace {

// The display number the server writes (with a line feed) once it takes
// clients; empty when it does not within `timeout` or ends first.
std::string read_display_number(int fd, std::chrono::milliseconds timeout) {
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return {};
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return {};
    char c;
    const ssize_t got = ::read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got != 1) return {};
    if (c == '\n') return number;
    number += c;
  }
}

void end_server(int pid) {
  ::kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace

PrivateDisplay::PrivateDisplay(int width, int height) {
  if (::access(kServer, X_OK) != 0) throw posix_error("Xvfb", ENOENT);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw posix_error("pipe", errno);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  const char* argv[] = {kServer, "-displayfd", "3", "-screen", "0", screen.c_str(), "-nolisten", "tcp", nullptr};
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    const int error = errno;
    ::close(ends[0]);
    ::close(ends[1]);
    throw posix_error("fork", error);
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here on. The server goes with
    // the run, however the run ends: SIGKILL, which nothing can hold up.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The signals that the owner blocks (a runner blocks the console
    // signals for its handler) would stay blocked in the server, and it
    // would end at SIGTERM only through the kill that follows the grace.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::getppid() != parent) ::_exit(127);
    ::setpgid(0, 0);
    if (ends[1] == 3)
      ::fcntl(3, F_SETFD, 0);
    else
      ::dup2(ends[1], 3);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execv(kServer, const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::close(ends[1]);
  const std::string number = read_display_number(ends[0], std::chrono::seconds(10));
  ::close(ends[0]);
  if (number.empty()) {
    end_server(pid);
    throw posix_error("Xvfb", ETIMEDOUT);
  }
  pid_ = pid;
  name_ = ":" + number;
}

PrivateDisplay::~PrivateDisplay() {
  if (pid_ > 0) end_server(pid_);
}

}  // namespace Tavrin::Platform
