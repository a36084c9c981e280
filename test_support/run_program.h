// Running programs from tests: the built tools and test programs are
// started through the process layer (never a shell), with standard input
// given as text and what they print captured.
#ifndef QUORVANE_TEST_SUPPORT_RUN_PROGRAM_H_
#define QUORVANE_TEST_SUPPORT_RUN_PROGRAM_H_

#include <string>
#include <vector>

namespace quorvane_test {

struct RunOptions {
  std::string input;              // standard input (empty: nothing to read)
  std::string working_directory;  // the caller's when empty
  // "NAME=value" entries added to (or replacing in) the caller's
  // environment.
  std::vector<std::string> environment;
  // Standard error into `out`, in order, instead of `err`.
  bool merge_error = false;
};

struct ProgramRun {
  int exit = -1;    // exit status; -1 when the program ended by a signal
  std::string out;  // standard output
  std::string err;  // standard error (empty with merge_error)
};

// Runs `arguments` (the program, then its arguments) to its end. A program
// that cannot be started fails the test and gives exit -1 with the reason
// in `err`.
ProgramRun run_program(const std::vector<std::string>& arguments, const RunOptions& options = {});

// The arguments of `command_line`, split as a Windows program splits its
// own: blanks separate, double quotes group, backslashes are literal
// unless they precede a quote.
std::vector<std::string> windows_arguments(const std::string& command_line);

}  // namespace quorvane_test

#endif  // QUORVANE_TEST_SUPPORT_RUN_PROGRAM_H_
