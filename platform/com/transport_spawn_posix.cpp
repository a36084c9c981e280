#include "platform/com/transport_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>

#include <boost/system/system_error.hpp>

#include "platform/com/remote/transport_socket_internal.h"
#include "platform/text.h"

namespace Tavrin::Platform::Com::Transport {
namespace {

[[noreturn]] void throw_errno(int code, const std::string& context) {
  throw boost::system::system_error(code, boost::system::system_category(), context);
}

bool is_blank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r'; }

// Runs in the grandchild, between fork and exec: async-signal-safe calls only.
[[noreturn]] void exec_child(char* const* argv, int report_fd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction deflt {};
  deflt.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &deflt, nullptr);
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    ::dup2(null_fd, 2);
  }
  // Every other descriptor (the client's sockets and lock files among them)
  // closes at exec; the report pipe is close-on-exec as well.
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    // Kernels before 5.11: mark them one by one.
    struct rlimit limit {};
    const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? limit.rlim_cur : 65536;
    for (rlim_t fd = 3; fd < last; ++fd) ::fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  }
  ::execvp(argv[0], argv);
  const int code = errno;
  [[maybe_unused]] ssize_t ignored = ::write(report_fd, &code, sizeof(code));
  ::_exit(127);
}

// Reads exactly `size` bytes from the report pipe; false at its end.
bool read_report(int fd, void* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, static_cast<char*>(data) + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

// Windows rules: blanks separate arguments outside double quotes; a double
// quote after an even number of backslashes (2n) gives n backslashes and
// opens or closes a quoted part; after an odd number (2n+1) it gives n
// backslashes and a literal double quote; other backslashes are literal.
std::vector<std::string> split_command_line(const std::wstring& command_line) {
  std::vector<std::string> result;
  std::wstring current;
  bool in_argument = false;
  bool quoted = false;
  std::size_t backslashes = 0;
  for (const wchar_t c : command_line) {
    if (c == L'\\') {
      ++backslashes;
      in_argument = true;
      continue;
    }
    if (c == L'"') {
      current.append(backslashes / 2, L'\\');
      if (backslashes % 2 == 0)
        quoted = !quoted;
      else
        current += L'"';
      backslashes = 0;
      in_argument = true;
      continue;
    }
    current.append(backslashes, L'\\');
    backslashes = 0;
    if (is_blank(c) && !quoted) {
      if (in_argument) result.push_back(to_utf8(current));
      current.clear();
      in_argument = false;
    } else {
      current += c;
      in_argument = true;
    }
  }
  current.append(backslashes, L'\\');
  if (in_argument) result.push_back(to_utf8(current));
  return result;
}

int spawn_detached(const std::vector<std::string>& arguments) {
  if (arguments.empty()) throw_errno(EINVAL, "spawn");
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) throw_errno(errno, "pipe");
  ScopedFd read_end(pipe_fds[0]);
  ScopedFd write_end(pipe_fds[1]);

  const pid_t middle = ::fork();
  if (middle < 0) throw_errno(errno, "fork");
  if (middle == 0) {
    // The middle process starts the server in a session of its own and
    // ends at once, so init adopts (and reaps) the server.
    ::setsid();
    const pid_t server = ::fork();
    if (server == 0) exec_child(argv.data(), write_end.get());
    const int reported = server < 0 ? -errno : server;
    [[maybe_unused]] ssize_t ignored = ::write(write_end.get(), &reported, sizeof(reported));
    ::_exit(0);
  }
  write_end.reset();
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  int server = 0;
  if (!read_report(read_end.get(), &server, sizeof(server))) throw_errno(ECHILD, "spawn");
  if (server < 0) throw_errno(-server, "fork");
  int exec_error = 0;
  if (read_report(read_end.get(), &exec_error, sizeof(exec_error)))
    throw_errno(exec_error, "exec " + arguments.front());
  return server;
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

bool kill_process(int pid) { return pid > 0 && ::kill(pid, SIGKILL) == 0; }

}  // namespace Tavrin::Platform::Com::Transport
