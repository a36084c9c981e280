#include "runner/suite/testing/sample_results.h"

namespace Tavrin::Suite::testing {

Attempt attempt(int exit_code, std::vector<TestResult> tests, bool timed_out) {
  Attempt a;
  a.exit_code = exit_code;
  a.timed_out = timed_out;
  a.seconds = 1.5;
  a.tests = std::move(tests);
  a.log = L"scripts/x.log";
  return a;
}

TestResult test(const std::wstring& title, TestStatus status) {
  TestResult t;
  t.title = title;
  t.status = status;
  t.seconds = 0.25;
  if (status == TestStatus::kFailed) t.failures.push_back(Failure{L"title <check>", L"expected 'A'\ngot \"B\" & more"});
  if (status == TestStatus::kError) t.errors.push_back(L"TypeError: x\x01 is undefined");
  t.echo = L"message <b>\n";
  if (status == TestStatus::kError) t.console.push_back(L"error: boom & bust");
  return t;
}

ScriptResult script(const std::wstring& path, std::vector<Attempt> attempts) {
  ScriptResult s;
  s.path = path;
  s.attempts = std::move(attempts);
  s.status = decide_status(s.attempts);
  return s;
}

SuiteResult sample_results() {
  SuiteResult suite;
  suite.seconds = 12.5;
  suite.scripts.push_back(script(L"a/pass.js", {attempt(0, {test(L"ok", TestStatus::kPassed)})}));
  suite.scripts.push_back(script(L"b/fail.js", {attempt(1, {test(L"bad", TestStatus::kFailed),
                                                            test(L"thrown", TestStatus::kError)})}));
  suite.scripts.push_back(
      script(L"c/flaky.js", {attempt(1, {test(L"f", TestStatus::kFailed)}), attempt(0, {test(L"f", TestStatus::kPassed)})}));
  Attempt hung = attempt(137, {}, true);
  hung.script_error = L"timed out after 3 s";
  suite.scripts.push_back(script(L"d/hang.js", {hung}));
  Attempt broken = attempt(2, {});
  broken.script_error = L"script error (line 1, char 1) Syntax error";
  suite.scripts.push_back(script(L"e/broken.js", {broken}));
  suite.scripts.push_back(script(L"f/empty.js", {attempt(0, {})}));
  return suite;
}

}  // namespace Tavrin::Suite::testing
