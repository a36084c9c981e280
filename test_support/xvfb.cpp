#include "test_support/xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

// After gtest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>

extern char** environ;

namespace quorvane_test {
namespace {

// Reads the display number that Xvfb writes once it is ready.
std::string read_display_number(int fd, std::chrono::milliseconds timeout) {
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) break;
    char c;
    if (::read(fd, &c, 1) != 1) break;
    if (c == '\n') return number;
    number += c;
  }
  return {};
}

}  // namespace

bool Xvfb::installed() { return ::access(kProgram, X_OK) == 0; }

Xvfb::Xvfb(int width, int height, int depth) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe for Xvfb failed";
    return;
  }
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
  std::vector<std::string> args = {kProgram, "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, kProgram, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  if (error != 0) {
    ::close(ends[0]);
    ADD_FAILURE() << "Xvfb could not be started: " << error;
    return;
  }
  pid_ = pid;
  const std::string number = read_display_number(ends[0], std::chrono::seconds(20));
  ::close(ends[0]);
  if (number.empty()) {
    ADD_FAILURE() << "Xvfb did not come up";
    return;
  }
  display_ = ":" + number;
}

Xvfb::~Xvfb() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 250; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
}

void paint_root(const std::string& display_name, unsigned long background, const Rect& rect,
                unsigned long foreground) {
  Display* display = XOpenDisplay(display_name.c_str());
  ASSERT_NE(display, nullptr) << "cannot open " << display_name;
  const Window root = DefaultRootWindow(display);
  XSetWindowBackground(display, root, background);
  XClearWindow(display, root);
  GC gc = XCreateGC(display, root, 0, nullptr);
  XSetForeground(display, gc, foreground);
  XFillRectangle(display, root, gc, rect.x, rect.y, static_cast<unsigned>(rect.width),
                 static_cast<unsigned>(rect.height));
  XFreeGC(display, gc);
  XSync(display, False);
  XCloseDisplay(display);
}

}  // namespace quorvane_test
