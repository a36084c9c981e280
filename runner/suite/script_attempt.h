// One run of one script in a suite: `Quorvane SCRIPT` started exactly as a
// tester would start it alone (its own log, run identity and browsers; the
// suite's current folder; -s, -p and -b passed on), its output kept in a
// file, and, when it has ended, its log read and converted into the XML
// report beside it.
#ifndef QUORVANE_RUNNER_SUITE_SCRIPT_ATTEMPT_H_
#define QUORVANE_RUNNER_SUITE_SCRIPT_ATTEMPT_H_

#include <chrono>
#include <optional>
#include <string>

#include "platform/process.h"
#include "runner/suite/suite_options.h"
#include "runner/suite/suite_result.h"

namespace Tavrin::Suite {

class ScriptAttempt {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts attempt `number` (1 for the first) of `script` (a display
  // path), writing its files under `out` (absolute). `runner` is the
  // Quorvane program. Throws boost::system::system_error when the program
  // cannot be started.
  ScriptAttempt(const std::string& runner, const SuiteOptions& options, const std::string& out,
                const std::wstring& script, int number);

  // Whether the run has ended; ends it with its browsers when `timeout`
  // seconds (0: none) have passed. Never waits.
  bool Poll(double timeout);

  // Ends the run at once as a time-out does, with its browsers, and marks
  // it interrupted. Nothing when it has already ended.
  void Interrupt();

  // The outcome, once Poll returned true: log read, report written.
  Attempt Finish();

  const std::wstring& script() const { return script_; }
  int number() const { return number_; }

 private:
  std::string out_;
  std::wstring script_;
  int number_;
  std::string stem_;  // the attempt's files, relative to out_, without extension
  bool har_ = false;  // the run writes its requests as HAR (stem_.har)
  std::optional<Platform::Process::Child> child_;
  Clock::time_point started_;
  double seconds_ = 0;
  bool timed_out_ = false;
  bool interrupted_ = false;
  std::optional<Platform::Process::ExitStatus> status_;
};

// The line that explains a failed run without tests: the runner's own
// failure line ("script error ...", "... terminate program") in `output`;
// empty when there is none.
std::wstring runner_failure_line(const std::string& output);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_SCRIPT_ATTEMPT_H_
