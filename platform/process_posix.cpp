// Starting programs on POSIX: fork and execve, with a close-on-exec report
// pipe through which the child tells the error of a start that failed, and
// a pidfd (where the kernel has one) to wait for the end while reading the
// captured output.
#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fstream>

#include "platform/os_error.h"
#include "platform/scoped_fd.h"

extern char** environ;

namespace Tavrin::Platform::Process {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<ProcessStarter*> g_starter{nullptr};

// A close-on-exec pipe whose ends are above the standard streams, so that
// the child's dup2 onto 0, 1 and 2 never lands on one of them.
struct Pipe {
  ScopedFd read, write;
};

ScopedFd above_standard_streams(int fd) {
  if (fd > 2) return ScopedFd(fd);
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int error = errno;
  ::close(fd);
  if (moved < 0) throw posix_error("fcntl", error);
  return ScopedFd(moved);
}

Pipe make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw posix_error("pipe", errno);
  ScopedFd read = above_standard_streams(fds[0]);
  ScopedFd write = above_standard_streams(fds[1]);
  return {std::move(read), std::move(write)};
}

// Everything the child needs, made before fork: between fork and exec only
// async-signal-safe calls may run, so nothing there allocates.
struct Launch {
  std::vector<std::string> strings;  // arguments, then environment entries
  std::vector<char*> argv;
  std::vector<char*> envp;
  std::vector<std::string> candidates;  // paths to try, in order
  std::string working_directory;
  int streams[3] = {-1, -1, -1};  // what goes on 0, 1 and 2; -1 keeps the caller's
  std::vector<ScopedFd> owned;    // the descriptors opened for them

  // Puts `fd` (owned from now on) on the child's stream `which`.
  void set_stream(int which, ScopedFd fd) {
    streams[which] = fd.get();
    owned.push_back(std::move(fd));
  }
};

ScopedFd open_file(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) throw posix_error("open " + path, errno);
  return above_standard_streams(fd);
}

std::string current_directory() {
  std::string buffer(PATH_MAX, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) throw posix_error("getcwd", errno);
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

// The places where `program` may be: itself when it names a path (against
// the caller's directory, as on Windows, even when the child gets another
// one), else each folder of the caller's PATH.
std::vector<std::string> program_candidates(const std::string& program, const std::string& working_directory) {
  if (program.find('/') != std::string::npos) {
    if (program.front() != '/' && !working_directory.empty()) return {current_directory() + "/" + program};
    return {program};
  }
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::vector<std::string> candidates;
  std::size_t begin = 0;
  while (begin <= folders.size()) {
    std::size_t end = folders.find(':', begin);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = folders.substr(begin, end - begin);
    candidates.push_back((folder.empty() ? "." : folder) + "/" + program);
    begin = end + 1;
  }
  return candidates;
}

Launch prepare(const StartOptions& options) {
  if (options.arguments.empty() || options.arguments.front().empty()) throw posix_error("start", EINVAL);
  Launch launch;
  launch.strings = options.arguments;
  const std::size_t argument_count = launch.strings.size();
  if (options.environment)
    launch.strings.insert(launch.strings.end(), options.environment->begin(), options.environment->end());
  for (std::size_t i = 0; i < argument_count; ++i) launch.argv.push_back(launch.strings[i].data());
  launch.argv.push_back(nullptr);
  if (options.environment) {
    for (std::size_t i = argument_count; i < launch.strings.size(); ++i) launch.envp.push_back(launch.strings[i].data());
  } else {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) launch.envp.push_back(*entry);
  }
  launch.envp.push_back(nullptr);
  launch.candidates = program_candidates(options.arguments.front(), options.working_directory);
  launch.working_directory = options.working_directory;
  if (!options.input_file.empty())
    launch.set_stream(0, open_file(options.input_file, O_RDONLY));
  else if (options.null_input)
    launch.set_stream(0, open_file("/dev/null", O_RDONLY));
  const int write_flags = O_WRONLY | O_CREAT | O_TRUNC;
  if (!options.output_file.empty()) launch.set_stream(1, open_file(options.output_file, write_flags));
  if (!options.error_file.empty()) {
    if (options.error_file == options.output_file)
      launch.streams[2] = launch.streams[1];
    else
      launch.set_stream(2, open_file(options.error_file, write_flags));
  }
  return launch;
}

// The streams 1 and 2 that the files did not take: /dev/null, or `fd`.
void set_output(Launch& launch, const StartOptions& options, ScopedFd fd) {
  if (options.output == StartOptions::Output::kInherit) return;
  if (!fd.valid()) fd = open_file("/dev/null", O_WRONLY);
  const int shared = fd.get();
  launch.owned.push_back(std::move(fd));
  for (int which : {1, 2})
    if (launch.streams[which] < 0) launch.streams[which] = shared;
}

// Reads exactly `size` bytes; false at the pipe's end before that.
bool read_exact(int fd, void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, static_cast<char*>(data) + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// What the child reports when it cannot run the program: the step that
// failed and its errno value, in one write.
enum Step : int { kChangeDirectory = 1, kExecute = 2 };
struct Failure {
  int step = 0;
  int error = 0;
};

void report(int fd, Failure failure) {
  [[maybe_unused]] ssize_t ignored = ::write(fd, &failure, sizeof(failure));
}

// Throws the failure that the child reported on `fd`, if it did.
void throw_reported(int fd, const StartOptions& options) {
  Failure failure;
  if (!read_exact(fd, &failure, sizeof failure)) return;
  if (failure.step == kChangeDirectory) throw posix_error("chdir " + options.working_directory, failure.error);
  throw posix_error("exec " + options.arguments.front(), failure.error);
}

// Runs in the child, between fork and exec: async-signal-safe calls only.
[[noreturn]] void exec_child(const Launch& launch, int report_fd) {
  struct sigaction deflt {};
  deflt.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &deflt, nullptr);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);

  if (!launch.working_directory.empty() && ::chdir(launch.working_directory.c_str()) != 0) {
    report(report_fd, {kChangeDirectory, errno});
    ::_exit(127);
  }
  for (int which = 0; which < 3; ++which) {
    if (launch.streams[which] >= 0) ::dup2(launch.streams[which], which);
  }
  // Every other descriptor (sockets, lock files, the report pipe) closes at
  // exec.
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    struct rlimit limit {};
    const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
    for (rlim_t fd = 3; fd < last; ++fd) ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  }
  // As execvp: a folder where the program is missing is skipped; one where
  // it may not run is remembered; any other failure ends the search.
  int error = ENOENT;
  for (const std::string& candidate : launch.candidates) {
    ::execve(candidate.c_str(), launch.argv.data(), launch.envp.data());
    if (errno == EACCES) {
      error = EACCES;
    } else if (errno != ENOENT && errno != ENOTDIR) {
      error = errno;
      break;
    }
  }
  report(report_fd, {kExecute, error});
  ::_exit(127);
}

int wait_blocking(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw posix_error("waitpid", errno);
  }
  return status;
}

ExitStatus exit_status_of(int status) {
  ExitStatus result;
  result.exited = WIFEXITED(status);
  if (result.exited)
    result.code = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.signal = WTERMSIG(status);
  return result;
}

// Forks with every signal blocked, so that no handler of the caller runs in
// the child before exec_child puts the defaults back.
pid_t fork_quietly() {
  sigset_t all, old;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &old);
  const pid_t pid = ::fork();
  const int error = errno;
  if (pid != 0) ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = error;
  return pid;
}

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
