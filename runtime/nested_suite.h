// Nested suites: BenchExec runs another test script in a second run of the
// runner, one suite level deeper, with the parent's server, port, browser
// and log file, on the same console, and waits for it.
//
// The child's command line is built as the runner's own would be written
// on Windows and split with the Windows rules: the runner, the script and
// the log path are quoted and reach the child whole; server, port and
// browser are not, so a blank in one of them splits it into two arguments.
#ifndef QUORVANE_RUNTIME_NESTED_SUITE_H_
#define QUORVANE_RUNTIME_NESTED_SUITE_H_

#include <string>

namespace Tavrin::Runtime {

// The run parameters that a nested run inherits, as read from section
// "common".
struct NestedRun {
  std::wstring runner;  // the runner program of this run's directory
  std::wstring script;  // the script to run, as the caller named it
  int suite = 0;        // this run's level; the child runs at suite + 1
  std::wstring server;
  std::wstring port;
  std::wstring browser;
  std::wstring log;
};

// The child's command line:
//   "RUNNER" "SCRIPT" --suite N -s SERVER -p PORT -b BROWSER --log "LOG"
// with N = suite + 1. Quoted items are quoted so that any text, also one
// holding quotes or ending in a backslash, comes back whole. Throws
// std::overflow_error when suite + 1 does not fit.
std::wstring nested_command_line(const NestedRun& run);

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_NESTED_SUITE_H_
