// What a suite run found out: per script its attempts, per attempt the
// tests that its test log records, and the outcome of each. The suite
// mode fills it from the runs and their logs; the writers of junit.xml,
// results.json and index.html, and the merge of shards, read it.
#ifndef QUORVANE_RUNNER_SUITE_SUITE_RESULT_H_
#define QUORVANE_RUNNER_SUITE_SUITE_RESULT_H_

#include <string>
#include <vector>

namespace Tavrin::Suite {

enum class TestStatus { kPassed, kFailed, kError, kSkipped };

// Where and how a test went wrong: the step (an assertion's name, or an
// action with the element it acted on) and its message.
struct Failure {
  std::wstring step;
  std::wstring message;
};

// What the run kept of the page when a step failed, and what the page
// reported on its console.
struct Evidence {
  std::wstring screenshot;  // path of the image file; empty when none
  std::wstring html;        // path of the saved page source; empty when none
  std::wstring url;
  std::wstring title;
};

struct TestResult {
  std::wstring title;
  TestStatus status = TestStatus::kPassed;
  double seconds = 0;
  std::vector<Failure> failures;        // failed assertions and actions
  std::vector<std::wstring> errors;     // script errors that ended the test
  std::vector<std::wstring> console;    // the page's console errors and warnings
  std::vector<Evidence> evidence;
  std::wstring echo;                    // the test's messages and information, one a line
};

// One run of a script.
struct Attempt {
  int exit_code = 0;
  bool timed_out = false;
  bool interrupted = false;  // ended because the suite was interrupted, or by an interrupt of its own
  double seconds = 0;
  std::wstring log;      // test log, relative to the output folder
  std::wstring report;   // XML report (the convert format), relative to the output folder
  std::wstring output;   // what the run printed, relative to the output folder
  std::wstring har;      // the run's requests as HAR (--har), relative to the output folder; empty: none
  std::wstring script_error;  // an error outside every test, or the runner's failure line
  std::vector<TestResult> tests;
};

enum class ScriptStatus { kPassed, kFailed, kFlaky, kTimedOut, kInterrupted };

struct ScriptResult {
  std::wstring path;  // as the suite names it: relative to the current folder when under it
  ScriptStatus status = ScriptStatus::kPassed;
  std::vector<Attempt> attempts;  // in order; the last one decides
  const Attempt& final_attempt() const { return attempts.back(); }
  double seconds() const;  // all attempts together
};

struct SuiteResult {
  std::vector<ScriptResult> scripts;  // sorted by path
  double seconds = 0;                 // wall time of the suite
};

// Counts over the scripts of a suite.
struct SuiteCounts {
  int passed = 0, failed = 0, flaky = 0, timed_out = 0, interrupted = 0;
  int tests = 0, tests_failed = 0;
};
SuiteCounts count(const SuiteResult& suite);

// "passed", "failed", "error", "skipped"; and back (unknown text: kError).
const wchar_t* status_word(TestStatus status);
TestStatus test_status_from(const std::wstring& word);
// "passed", "failed", "flaky", "timed out", "interrupted"; and back
// (unknown text: kFailed).
const wchar_t* status_word(ScriptStatus status);
ScriptStatus script_status_from(const std::wstring& word);

// Passed and flaky scripts count as passed.
bool counts_as_passed(ScriptStatus status);

// The status a script ends with after `attempts`: passed when the last
// passed on the first try, flaky when it passed after a failure, timed out
// when the last attempt ran out of time, interrupted when it was cut by an
// interrupt, else failed. An attempt passed when it exited with 0 and no
// test failed.
ScriptStatus decide_status(const std::vector<Attempt>& attempts);

// Gives each test that its script ended in the middle of (an error with no
// error or failure recorded) the reason why the script ended: the
// attempt's script error (a time-out, an interrupt, the runner's failure
// line), else its exit status.
void explain_cut_tests(Attempt& attempt);
bool attempt_passed(const Attempt& attempt);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_SUITE_RESULT_H_
