#include "platform/process_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/os_error.h"

extern char** environ;

namespace Tavrin::Platform::Process {
namespace {

int pidfd_open(int pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }

}  // namespace

ProcessWatch::ProcessWatch(int pid) : pid_(pid) {
  if (pid <= 0) return;
  fd_ = pidfd_open(pid);
  if (fd_ < 0 && errno != ESRCH) throw posix_error("pidfd_open", errno);
  if (fd_ >= 0) group_ = static_cast<int>(::getpgid(pid));
}

ProcessWatch::ProcessWatch(ProcessWatch&& other) noexcept
    : pid_(other.pid_), group_(other.group_), fd_(std::exchange(other.fd_, -1)) {}

ProcessWatch& ProcessWatch::operator=(ProcessWatch&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    pid_ = other.pid_;
    group_ = other.group_;
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

ProcessWatch::~ProcessWatch() {
  if (fd_ >= 0) ::close(fd_);
}

bool ProcessWatch::WaitForExit(std::chrono::milliseconds timeout) {
  if (fd_ < 0) return true;
  pollfd entry{fd_, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int ready = ::poll(&entry, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
    if (ready > 0) return true;
    if (ready == 0) return false;
    if (errno != EINTR) return true;
  }
}

bool ask_process_to_end(int pid, bool group) {
  if (pid <= 0) return false;
  return ::kill(group ? -pid : pid, SIGTERM) == 0;
}

bool process_group_exists(int group) {
  if (group <= 0) return false;
  return ::kill(-group, 0) == 0 || errno == EPERM;
}

int current_process_id() { return static_cast<int>(::getpid()); }

bool current_process_elevated() { return ::geteuid() == 0; }

std::vector<std::string> environment_with(const std::string& name, const std::string& value) {
  return environment_with({{name, value}});
}

std::vector<std::string> environment_with(const std::vector<std::pair<std::string, std::string>>& variables) {
  std::vector<std::string> result;
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string text(*entry);
    const bool replaced = std::any_of(variables.begin(), variables.end(), [&](const auto& variable) {
      return text.size() > variable.first.size() && text.compare(0, variable.first.size(), variable.first) == 0 &&
             text[variable.first.size()] == '=';
    });
    if (!replaced) result.push_back(std::move(text));
  }
  for (const auto& [name, value] : variables) result.push_back(name + "=" + value);
  return result;
}

void set_own_environment(const std::string& name, const std::string& value) {
  if (::setenv(name.c_str(), value.c_str(), 1) != 0) throw posix_error("Unable to set " + name, errno);
}

}  // namespace Tavrin::Platform::Process
