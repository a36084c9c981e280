#include "runner/suite/suite_result.h"

namespace Tavrin::Suite {

double ScriptResult::seconds() const {
  double total = 0;
  for (const Attempt& a : attempts) total += a.seconds;
  return total;
}

SuiteCounts count(const SuiteResult& suite) {
  SuiteCounts c;
  for (const ScriptResult& s : suite.scripts) {
    switch (s.status) {
      case ScriptStatus::kPassed: ++c.passed; break;
      case ScriptStatus::kFailed: ++c.failed; break;
      case ScriptStatus::kFlaky: ++c.flaky; break;
      case ScriptStatus::kTimedOut: ++c.timed_out; break;
      case ScriptStatus::kInterrupted: ++c.interrupted; break;
    }
    if (s.attempts.empty()) continue;
    for (const TestResult& t : s.final_attempt().tests) {
      ++c.tests;
      if (t.status == TestStatus::kFailed || t.status == TestStatus::kError) ++c.tests_failed;
    }
  }
  return c;
}

const wchar_t* status_word(TestStatus status) {
  switch (status) {
    case TestStatus::kPassed: return L"passed";
    case TestStatus::kFailed: return L"failed";
    case TestStatus::kError: return L"error";
    case TestStatus::kSkipped: return L"skipped";
  }
  return L"error";
}

TestStatus test_status_from(const std::wstring& word) {
  for (TestStatus s : {TestStatus::kPassed, TestStatus::kFailed, TestStatus::kError, TestStatus::kSkipped})
    if (word == status_word(s)) return s;
  return TestStatus::kError;
}

const wchar_t* status_word(ScriptStatus status) {
  switch (status) {
    case ScriptStatus::kPassed: return L"passed";
    case ScriptStatus::kFailed: return L"failed";
    case ScriptStatus::kFlaky: return L"flaky";
    case ScriptStatus::kTimedOut: return L"timed out";
    case ScriptStatus::kInterrupted: return L"interrupted";
  }
  return L"failed";
}

ScriptStatus script_status_from(const std::wstring& word) {
  for (ScriptStatus s : {ScriptStatus::kPassed, ScriptStatus::kFailed, ScriptStatus::kFlaky, ScriptStatus::kTimedOut,
                         ScriptStatus::kInterrupted})
    if (word == status_word(s)) return s;
  return ScriptStatus::kFailed;
}

bool counts_as_passed(ScriptStatus status) {
  return status == ScriptStatus::kPassed || status == ScriptStatus::kFlaky;
}

bool attempt_passed(const Attempt& attempt) {
  if (attempt.timed_out || attempt.interrupted || attempt.exit_code != 0) return false;
  for (const TestResult& t : attempt.tests)
    if (t.status == TestStatus::kFailed || t.status == TestStatus::kError) return false;
  return true;
}

ScriptStatus decide_status(const std::vector<Attempt>& attempts) {
  if (attempts.empty()) return ScriptStatus::kFailed;
  const Attempt& last = attempts.back();
  if (attempt_passed(last)) return attempts.size() == 1 ? ScriptStatus::kPassed : ScriptStatus::kFlaky;
  if (last.interrupted) return ScriptStatus::kInterrupted;
  return last.timed_out ? ScriptStatus::kTimedOut : ScriptStatus::kFailed;
}

void explain_cut_tests(Attempt& attempt) {
  const std::wstring reason = !attempt.script_error.empty() ? attempt.script_error
                              : attempt.exit_code != 0
                                  ? L"the script ended during the test (exit status " +
                                        std::to_wstring(attempt.exit_code) + L")"
                                  : L"the script ended during the test";
  for (TestResult& t : attempt.tests)
    if (t.status == TestStatus::kError && t.errors.empty() && t.failures.empty()) t.errors.push_back(reason);
}

}  // namespace Tavrin::Suite
