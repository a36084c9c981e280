// Starting programs: the stand-in for CreateProcess, WaitForSingleObject,
// GetExitCodeProcess and the command interpreter.
//
// A Windows program builds one command line and hands it to the system,
// which the child splits with the Windows rules. Callers here do the same:
// they build the line as they would on Windows and either split it with
// split_command_line() or give the argument vector directly. Arguments are
// UTF-8 at this boundary.
//
// Children inherit the caller's environment and current directory unless
// the StartOptions say otherwise, and inherit no descriptor but the three
// standard streams. A start that fails throws
// boost::system::system_error carrying the system's error number in
// boost::system::system_category() (ENOENT for a missing program, EACCES
// for one that may not run), made by posix_error() of platform/os_error.h.
//
// Tests can replace the starter (set_process_starter) to record what would
// be started without starting anything.
//
// Thread safety: every function is safe to call from any thread; a Child is
// owned by one thread at a time.
#ifndef QUORVANE_PLATFORM_PROCESS_H_
#define QUORVANE_PLATFORM_PROCESS_H_

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/export.h"

namespace Tavrin::Platform::Process {

// The arguments of a Windows command line (CommandLineToArgvW's rules),
// UTF-8; empty for a blank line.
QUORVANE_PLATFORM_EXPORT std::vector<std::string> split_command_line(const std::wstring& command_line);

// One argument quoted for a Windows command line so that
// split_command_line() gives it back unchanged: as it is when it holds no
// white space or double quote and is not empty, else in double quotes with
// backslashes doubled where they precede a quote.
QUORVANE_PLATFORM_EXPORT std::wstring quote_argument(const std::wstring& argument);

// How a child ended.
struct ExitStatus {
  bool exited = false;  // ended by _exit/return; `code` holds its status
  int code = 0;         // exit status (0..255) when exited
  int signal = 0;       // the signal that ended it when !exited
  // The status as a Windows exit code: `code`, or 128 + signal.
  int windows_code() const { return exited ? code : 128 + signal; }
  // Whether a console interrupt, close or shutdown (SIGINT, SIGHUP,
  // SIGTERM) ended it.
  bool interrupted() const { return !exited && (signal == 2 || signal == 1 || signal == 15); }
};

struct StartOptions {
  // The program (a path, or a bare name looked up in PATH) and its arguments.
  std::vector<std::string> arguments;
  // Current directory of the child; the caller's when empty.
  std::string working_directory;
  // Full environment of the child ("NAME=value"); the caller's when unset.
  std::optional<std::vector<std::string>> environment;
  // Standard output and error: the caller's, /dev/null, or captured into
  // Child::Wait's result (both streams into one).
  enum class Output { kInherit, kDiscard, kCapture };
  Output output = Output::kInherit;
  // Standard input: /dev/null when true, else the caller's.
  bool null_input = true;
  // Files in place of the above, as a Windows starter hands file handles
  // to the child: standard input read from `input_file`, standard output
  // and error written to `output_file` and `error_file` (created, or
  // emptied when they exist; the same name for both gets both streams in
  // order). Empty: as above. A file that cannot be opened fails the start.
  std::string input_file;
  std::string output_file;
  std::string error_file;
  // The child leads a process group of its own (so that it and what it
  // starts can be ended together).
  bool own_process_group = false;
  // When true the child is ended (SIGKILL) as soon as its starter ends,
  // however it ends (killed included), so that it never outlives it. The
  // end is tied to the starting thread: that thread must wait for the child
  // or live as long as the process. Ignored by start_detached.
  bool end_with_starter = false;
};

// A started child that is waited for. Move-only. Destroying a Child that
// has not been waited for kills it (SIGKILL) and reaps it, so no child is
// left behind as a zombie or an orphan.
class QUORVANE_PLATFORM_EXPORT Child {
 public:
  struct Impl;
  explicit Child(std::unique_ptr<Impl> impl);
  // A child that has already ended with `status` (and wrote `output`):
  // what a recording starter hands back.
  static Child Ended(ExitStatus status, std::string output = {});
  Child(Child&&) noexcept;
  Child& operator=(Child&&) noexcept;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child();

  // Process id; -1 after Wait and for an Ended child.
  int pid() const;
  // Waits until the child ends and returns how. `output` receives what the
  // child wrote when the output was captured.
  ExitStatus Wait(std::string* output = nullptr);
  // Waits at most `timeout`; nullopt when the child still runs then (it
  // keeps running and can be waited for again).
  std::optional<ExitStatus> WaitFor(std::chrono::milliseconds timeout, std::string* output = nullptr);
  // With captured output: the next line the child wrote (without its line
  // feed), waiting at most `timeout`; nullopt when no whole line came by
  // then or the output ended first. What follows the line stays for the
  // next read or for Wait.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // Ends the child at once (SIGKILL to it and its process group when it
  // leads one) and reaps it.
  void Kill();

 private:
  std::unique_ptr<Impl> impl_;
};

// Starts a child that the caller waits for. Throws system_error.
QUORVANE_PLATFORM_EXPORT Child start(const StartOptions& options);

// Starts `options` and waits for it: start(options).Wait(output).
QUORVANE_PLATFORM_EXPORT ExitStatus run(const StartOptions& options, std::string* output = nullptr);

// Starts a child detached: it is adopted by init (never a zombie of the
// starter), runs in a session of its own (not hit by the console's
// interrupt) and outlives the starter. Its standard streams are /dev/null
// unless options.output is kInherit. Returns its process id. Throws
// system_error with the error of the program's execution (the start is
// confirmed before returning).
QUORVANE_PLATFORM_EXPORT int start_detached(const StartOptions& options);

// From now on, a descendant of this process whose parent ends is adopted
// by this process instead of init, detached children included: they stay
// in this process's tree (so its descendants can be told apart from other
// programs), and become its zombies until it ends. Throws system_error.
QUORVANE_PLATFORM_EXPORT void adopt_orphaned_descendants();

// Whether process `pid` still exists (a zombie counts as ended).
QUORVANE_PLATFORM_EXPORT bool process_exists(int pid);

// Ends process `pid` at once (SIGKILL), as TerminateProcess does. With
// `group`, its whole process group. False when there is no such process or
// it may not be ended.
QUORVANE_PLATFORM_EXPORT bool kill_process(int pid, bool group = false);

// The seam: what start(), run() and start_detached() go through. Tests
// install a recorder with set_process_starter and put the default back
// with set_process_starter(nullptr).
class QUORVANE_PLATFORM_EXPORT ProcessStarter {
 public:
  virtual ~ProcessStarter() = default;
  virtual Child Start(const StartOptions& options) = 0;
  virtual int StartDetached(const StartOptions& options) = 0;
};

// Replaces the starter for the whole process; nullptr restores the real
// one. Returns the previous starter (nullptr for the real one). The caller
// keeps ownership of `starter`.
QUORVANE_PLATFORM_EXPORT ProcessStarter* set_process_starter(ProcessStarter* starter);

}  // namespace Tavrin::Platform::Process

#endif  // QUORVANE_PLATFORM_PROCESS_H_
