// Preparing and running a child's start on POSIX: what is made before
// fork, what the child does between fork and exec, and how the parent
// learns of a start that failed.
#include "platform/process_launch_internal.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <utility>

#include "platform/os_error.h"

extern char** environ;

namespace Tavrin::Platform::Process::Launching {
namespace {

ScopedFd above_standard_streams(int fd) {
  if (fd > 2) return ScopedFd(fd);
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int error = errno;
  ::close(fd);
  if (moved < 0) throw posix_error("fcntl", error);
  return ScopedFd(moved);
}

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

}  // namespace

Pipe make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw posix_error("pipe", errno);
  ScopedFd read = above_standard_streams(fds[0]);
  ScopedFd write = above_standard_streams(fds[1]);
  return {std::move(read), std::move(write)};
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
  if (options.end_with_starter) launch.starter = ::getpid();
  launch.own_process_group = options.own_process_group;
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
  // The kernel sends the signal when the starter goes; a starter that went
  // before this line is seen by the parent's change.
  if (launch.starter > 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != launch.starter) ::_exit(127);
  }
  if (launch.own_process_group) ::setpgid(0, 0);

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

}  // namespace Tavrin::Platform::Process::Launching
