// A suite result with every kind of outcome, for the tests of the
// writers: a passed script, a failed one (a failed and an erroring test),
// a flaky one, a timed-out one, one with a script error and one that ran
// no test.
#ifndef QUORVANE_RUNNER_SUITE_TESTING_SAMPLE_RESULTS_H_
#define QUORVANE_RUNNER_SUITE_TESTING_SAMPLE_RESULTS_H_

#include <string>
#include <vector>

#include "runner/suite/suite_result.h"

namespace Tavrin::Suite::testing {

Attempt attempt(int exit_code, std::vector<TestResult> tests, bool timed_out = false);
// A test of `status` with a failure (markup and quotes in it) or an error
// (with a control character) to match, and an echo.
TestResult test(const std::wstring& title, TestStatus status);
ScriptResult script(const std::wstring& path, std::vector<Attempt> attempts);
SuiteResult sample_results();

}  // namespace Tavrin::Suite::testing

#endif  // QUORVANE_RUNNER_SUITE_TESTING_SAMPLE_RESULTS_H_
