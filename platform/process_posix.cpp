// Starting programs on POSIX: children that are waited for (with a pidfd,
// where the kernel has one, to see the end while reading the captured
// output), detached starts through a middle process, and the starter seam.
// How a start is prepared and run is in process_launch_posix.cpp.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <fstream>

#include "platform/os_error.h"
#include "platform/process_launch_internal.h"
#include "platform/scoped_fd.h"

namespace Tavrin::Platform::Process {

using namespace Launching;

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<ProcessStarter*> g_starter{nullptr};

}  // namespace

struct Child::Impl {
  pid_t pid = -1;
  ScopedFd output;  // read end of the captured streams
  ScopedFd ended;   // pidfd: readable once the child has ended
  std::string captured;
  std::optional<ExitStatus> status;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  // A child nobody waited for is ended and reaped here.
  ~Impl() {
    try {
      kill();
    } catch (...) {
    }
  }

  void kill() {
    if (status || pid <= 0) return;
    if (::getpgid(pid) == pid) ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    finish(wait_blocking(pid));
  }

  void finish(int raw_status) {
    status = exit_status_of(raw_status);
    drain();
    output.reset();
    ended.reset();
    pid = -1;
  }

  // Reads what is there without waiting; false once the pipe has ended.
  bool drain() {
    char buffer[4096];
    while (output.valid()) {
      const ssize_t got = ::read(output.get(), buffer, sizeof buffer);
      if (got > 0) {
        captured.append(buffer, static_cast<std::size_t>(got));
      } else if (got < 0 && errno == EINTR) {
        continue;
      } else {
        if (got == 0) output.reset();
        break;
      }
    }
    return output.valid();
  }

  bool try_reap() {
    int raw = 0;
    pid_t got;
    while ((got = ::waitpid(pid, &raw, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (got < 0) throw posix_error("waitpid", errno);
    if (got == 0) return false;
    finish(raw);
    return true;
  }

  // Waits until the child ends or `deadline` passes; true when it ended.
  // Captured output is read meanwhile, so a chatty child never blocks on a
  // full pipe.
  bool wait(std::optional<Clock::time_point> deadline) {
    if (status) return true;
    if (!deadline && !output.valid()) {
      finish(wait_blocking(pid));
      return true;
    }
    for (;;) {
      if (try_reap()) return true;
      int timeout = -1;
      if (deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
        if (left <= 0) return false;
        timeout = static_cast<int>(std::min<long long>(left, INT_MAX));
      }
      // Without a pidfd the end is only seen by polling.
      if (!ended.valid() && (timeout < 0 || timeout > 10)) timeout = 10;
      pollfd fds[2];
      nfds_t count = 0;
      if (output.valid()) fds[count++] = {output.get(), POLLIN, 0};
      if (ended.valid()) fds[count++] = {ended.get(), POLLIN, 0};
      if (::poll(fds, count, timeout) < 0 && errno != EINTR) throw posix_error("poll", errno);
      drain();
    }
  }

  // The first line of the captured output, waiting for it until
  // `deadline`; nullopt when none is whole by then or the output ends.
  std::optional<std::string> read_line(Clock::time_point deadline) {
    for (;;) {
      const std::size_t end = captured.find('\n');
      if (end != std::string::npos) {
        std::string line = captured.substr(0, end);
        captured.erase(0, end + 1);
        return line;
      }
      if (!output.valid()) return std::nullopt;
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return std::nullopt;
      pollfd p{output.get(), POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX))) < 0 && errno != EINTR)
        throw posix_error("poll", errno);
      drain();
    }
  }

  ExitStatus take(std::string* text) {
    if (text != nullptr) *text = std::move(captured);
    captured.clear();
    return *status;
  }
};

Child::Child(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Child::Child(Child&&) noexcept = default;
Child& Child::operator=(Child&&) noexcept = default;
Child::~Child() = default;

Child Child::Ended(ExitStatus status, std::string output) {
  auto impl = std::make_unique<Impl>();
  impl->status = status;
  impl->captured = std::move(output);
  return Child(std::move(impl));
}

int Child::pid() const { return impl_ ? impl_->pid : -1; }

ExitStatus Child::Wait(std::string* output) {
  if (!impl_) throw posix_error("wait", ECHILD);
  impl_->wait(std::nullopt);
  return impl_->take(output);
}

std::optional<ExitStatus> Child::WaitFor(std::chrono::milliseconds timeout, std::string* output) {
  if (!impl_) throw posix_error("wait", ECHILD);
  if (!impl_->wait(Clock::now() + timeout)) return std::nullopt;
  return impl_->take(output);
}

std::optional<std::string> Child::ReadLine(std::chrono::milliseconds timeout) {
  if (!impl_) throw posix_error("read", ECHILD);
  return impl_->read_line(Clock::now() + timeout);
}

void Child::Kill() {
  if (impl_) impl_->kill();
}

namespace {

Child start_real(const StartOptions& options) {
  Launch launch = prepare(options);
  Pipe report_pipe = make_pipe();
  Pipe output_pipe;
  if (options.output == StartOptions::Output::kCapture) output_pipe = make_pipe();
  set_output(launch, options, std::move(output_pipe.write));

  auto impl = std::make_unique<Child::Impl>();
  impl->pid = fork_quietly();
  if (impl->pid < 0) {
    const int error = errno;
    impl->pid = -1;
    throw posix_error("fork", error);
  }
  if (impl->pid == 0) exec_child(launch, report_pipe.write.get());

  report_pipe.write.reset();
  launch.owned.clear();
  try {
    throw_reported(report_pipe.read.get(), options);
  } catch (...) {
    wait_blocking(impl->pid);
    impl->pid = -1;
    throw;
  }
  if (output_pipe.read.valid()) {
    ::fcntl(output_pipe.read.get(), F_SETFL, O_NONBLOCK);
    impl->output = std::move(output_pipe.read);
  }
  // Kernels before 5.3 have no pidfd; waiting then polls.
  impl->ended = ScopedFd(static_cast<int>(::syscall(SYS_pidfd_open, impl->pid, 0)));
  return Child(std::move(impl));
}

// The starter forks a middle process that starts the program in a session
// of its own and ends at once, so init adopts (and reaps) the program. The
// middle reports the program's process id on one pipe and the program
// reports a failed exec on another; two pipes, because the program's report
// may come before the middle's.
int start_detached_real(const StartOptions& options) {
  StartOptions detached = options;
  if (detached.output != StartOptions::Output::kInherit) {
    detached.output = StartOptions::Output::kDiscard;
    detached.null_input = true;
  }
  detached.end_with_starter = false;  // its starter is the middle process
  Launch launch = prepare(detached);
  set_output(launch, detached, ScopedFd());
  Pipe pid_pipe = make_pipe();
  Pipe exec_pipe = make_pipe();

  const pid_t middle = fork_quietly();
  if (middle < 0) throw posix_error("fork", errno);
  if (middle == 0) {
    ::setsid();
    const pid_t program = ::fork();
    if (program == 0) exec_child(launch, exec_pipe.write.get());
    const int reported = program < 0 ? -errno : program;
    [[maybe_unused]] ssize_t ignored = ::write(pid_pipe.write.get(), &reported, sizeof reported);
    ::_exit(0);
  }
  pid_pipe.write.reset();
  exec_pipe.write.reset();
  launch.owned.clear();
  wait_blocking(middle);
  int program = 0;
  if (!read_exact(pid_pipe.read.get(), &program, sizeof program)) throw posix_error("start", ECHILD);
  if (program < 0) throw posix_error("fork", -program);
  throw_reported(exec_pipe.read.get(), options);
  return program;
}

}  // namespace

Child start(const StartOptions& options) {
  if (ProcessStarter* starter = g_starter.load()) return starter->Start(options);
  return start_real(options);
}

ExitStatus run(const StartOptions& options, std::string* output) { return start(options).Wait(output); }

int start_detached(const StartOptions& options) {
  if (ProcessStarter* starter = g_starter.load()) return starter->StartDetached(options);
  return start_detached_real(options);
}

void adopt_orphaned_descendants() {
  if (::prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) throw posix_error("prctl(PR_SET_CHILD_SUBREAPER)", errno);
}

bool process_exists(int pid) {
  if (pid <= 0 || (::kill(pid, 0) != 0 && errno != EPERM)) return false;
  // A zombie has ended; a container's init may be slow to reap it, or never.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const auto paren = line.rfind(')');
  return paren == std::string::npos || paren + 2 >= line.size() ||
         (line[paren + 2] != 'Z' && line[paren + 2] != 'X');
}

bool kill_process(int pid, bool group) { return pid > 0 && ::kill(group ? -pid : pid, SIGKILL) == 0; }

ProcessStarter* set_process_starter(ProcessStarter* starter) { return g_starter.exchange(starter); }

}  // namespace Tavrin::Platform::Process
