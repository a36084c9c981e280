// How the POSIX process layer starts a child: what is made before fork
// (the argument and environment vectors, the places to look for the
// program, the descriptors for the standard streams), what the child does
// between fork and exec, and how the parent learns that the start failed.
// Internal to the process layer (process_posix.cpp).
#ifndef QUORVANE_PLATFORM_PROCESS_LAUNCH_INTERNAL_H_
#define QUORVANE_PLATFORM_PROCESS_LAUNCH_INTERNAL_H_

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/scoped_fd.h"

namespace Tavrin::Platform::Process::Launching {

// A close-on-exec pipe whose ends are above the standard streams, so that
// the child's dup2 onto 0, 1 and 2 never lands on one of them.
struct Pipe {
  ScopedFd read, write;
};

// Everything the child needs, made before fork: between fork and exec only
// async-signal-safe calls may run, so nothing there allocates.
struct Launch {
  std::vector<std::string> strings;  // arguments, then environment entries
  std::vector<char*> argv;
  std::vector<char*> envp;
  std::vector<std::string> candidates;  // paths to try, in order
  std::string working_directory;
  int streams[3] = {-1, -1, -1};  // what goes on 0, 1 and 2; -1 keeps the caller's
  int starter = 0;                // the starter's process id when the child ends with it
  std::vector<ScopedFd> owned;    // the descriptors opened for them
  bool own_process_group = false;

  // Puts `fd` (owned from now on) on the child's stream `which`.
  void set_stream(int which, ScopedFd fd) {
    streams[which] = fd.get();
    owned.push_back(std::move(fd));
  }
};

// A close-on-exec pipe. Throws system_error.
Pipe make_pipe();

// The launch of `options`: argument vector, environment, program
// candidates, and the files for the standard streams opened (close-on-exec,
// above 2). Throws system_error (EINVAL for no program, the open's error
// for a stream file).
Launch prepare(const StartOptions& options);

// Streams 1 and 2 that no file took: left to the caller's with
// Output::kInherit, else `fd`, or /dev/null when `fd` is not valid.
void set_output(Launch& launch, const StartOptions& options, ScopedFd fd);

// Runs in the child after fork: puts the signal defaults, the directory and
// the streams in place and executes the program; on failure reports the
// step and errno on `report_fd` and ends with status 127. Async-signal-safe.
[[noreturn]] void exec_child(const Launch& launch, int report_fd);

// Reads the child's report from `fd` (until the pipe ends, which a
// successful exec does) and throws the failure it tells of, naming the
// program or directory of `options`; returns when there is none.
void throw_reported(int fd, const StartOptions& options);

// Reads exactly `size` bytes; false at the pipe's end before that.
bool read_exact(int fd, void* data, std::size_t size);

// waitpid without WNOHANG; the raw status. Throws system_error.
int wait_blocking(pid_t pid);

ExitStatus exit_status_of(int raw_status);

// fork() with every signal blocked, so that no handler of the caller runs
// in the child before exec_child puts the defaults back. errno as fork's.
pid_t fork_quietly();

}  // namespace Tavrin::Platform::Process::Launching

#endif  // QUORVANE_PLATFORM_PROCESS_LAUNCH_INTERNAL_H_
