// The tests of a script as its test log records them.
#include "runner/suite/log_reader.h"

#include <sstream>

#include <gtest/gtest.h>

namespace Tavrin::Suite {
namespace {

LogTests read(const std::string& log, const std::wstring& script = L"login.js") {
  std::istringstream in(log);
  return read_log_tests(in, script);
}

std::string rec(const std::string& kind, const std::string& name, const std::string& value,
                const std::string& date = "2026-12-08 10:00:00", const std::string& uuid = "") {
  return kind + ": name=[[[" + name + "]]] value=[[[" + value + "]]] uuid=[[[" + uuid + "]]] date=[[[" + date +
         "]]]\n";
}

const std::string kHeader =
    "suite: source=[[[login.js]]] browser=[[[chromium]]] host=[[[x]]] date=[[[2026-12-08 10:00:00]]]\n"
    "testfile: source=[[[login.js]]] date=[[[2026-12-08 10:00:00]]]\n";

// Passed, failed by an assertion, failed by an action (whose message is the
// error that the action threw), and an error: each test's status, step,
// message and time.
TEST(LogReader, TestsWithTheirOutcomes) {
  const std::string log =
      kHeader + rec("test", "test", "ok", "2026-12-08 10:00:00") + rec("assert", "a", "'1'") +
      rec("result", "status", "passed") + rec("stats", "test", "1 passed, 0 failed", "2026-12-08 10:00:02") +
      rec("test", "test", "bad assertion", "2026-12-08 10:00:02") +
      rec("assert", "title", "expected 'Welcome'[\\n]got 'Login'") + rec("result", "status", "failed") +
      rec("stats", "test", "0 passed, 1 failed", "2026-12-08 10:00:05") + rec("test", "test", "bad action") +
      "element: name=[[[sign-in button]]] uuid=[[[e1]]] date=[[[2026-12-08 10:00:05]]]\n" +
      rec("action", "click", "", "2026-12-08 10:00:05", "e1") + rec("result", "status", "failed", "x", "e1") +
      rec("error", "script", "Error: click: waited 2000 ms for the element") +
      rec("stats", "test", "0 passed, 0 failed, 1 error") + rec("test", "test", "thrown") +
      rec("error", "script", "TypeError: undefined") + rec("stats", "test", "0 passed, 0 failed, 1 error");
  const LogTests r = read(log);
  ASSERT_EQ(r.tests.size(), 4u);
  EXPECT_EQ(r.tests[0].title, L"ok");
  EXPECT_EQ(r.tests[0].status, TestStatus::kPassed);
  EXPECT_DOUBLE_EQ(r.tests[0].seconds, 2);
  EXPECT_EQ(r.tests[1].status, TestStatus::kFailed);
  ASSERT_EQ(r.tests[1].failures.size(), 1u);
  EXPECT_EQ(r.tests[1].failures[0].step, L"title");
  EXPECT_EQ(r.tests[1].failures[0].message, L"expected 'Welcome'\ngot 'Login'");
  EXPECT_DOUBLE_EQ(r.tests[1].seconds, 3);
  EXPECT_EQ(r.tests[2].status, TestStatus::kFailed);
  ASSERT_EQ(r.tests[2].failures.size(), 1u);
  EXPECT_EQ(r.tests[2].failures[0].step, L"click 'sign-in button'");
  EXPECT_EQ(r.tests[2].failures[0].message, L"Error: click: waited 2000 ms for the element");
  EXPECT_TRUE(r.tests[2].errors.empty());
  EXPECT_EQ(r.tests[3].status, TestStatus::kError);
  ASSERT_EQ(r.tests[3].errors.size(), 1u);
  EXPECT_EQ(r.tests[3].errors[0], L"TypeError: undefined");
}

// Records of a nested suite's own test file are not this script's; the
// test goes on under its title after them. Errors outside tests are the
// script's; a test without its statistics ended with the script (error).
TEST(LogReader, NestedSuitesErrorsOutsideAndUnfinishedTests) {
  const std::string log =
      kHeader + rec("error", "script", "setup failed") + rec("test", "test", "outer") +
      "testfile: source=[[[child.js]]] date=[[[x]]]\n" + rec("test", "test", "inner") +
      rec("assert", "inner check", "no") + rec("result", "status", "failed") + rec("stats", "test", "0 passed") +
      "testfile: source=[[[login.js]]] date=[[[x]]]\n" + rec("test", "test", "outer") + rec("message", "message", "hello") +
      rec("info", "user", "guest") + rec("stats", "test", "1 passed, 0 failed") + rec("test", "test", "cut short");
  const LogTests r = read(log);
  EXPECT_EQ(r.errors_outside, L"setup failed");
  ASSERT_EQ(r.tests.size(), 2u);
  EXPECT_EQ(r.tests[0].title, L"outer");
  EXPECT_EQ(r.tests[0].status, TestStatus::kPassed);
  EXPECT_EQ(r.tests[0].echo, L"hello\nuser: guest\n");
  EXPECT_EQ(r.tests[1].title, L"cut short");
  EXPECT_EQ(r.tests[1].status, TestStatus::kError);
}

// The evidence of a failure: the page's URL, title, source and screenshot,
// and the page's console lines, from their records.
TEST(LogReader, EvidenceAndConsole) {
  const std::string log = kHeader + rec("test", "test", "t") + rec("assert", "a", "no") +
                          rec("result", "status", "failed") + rec("info", "page url", "http://x/index.html") +
                          rec("info", "page title", "Login") + rec("info", "page html", "scripts/t.html") +
                          rec("screenshot", "failure", "scripts/t.png") +
                          rec("info", "console", "error: ReferenceError: x is not defined") +
                          rec("stats", "test", "0 passed, 1 failed");
  const LogTests r = read(log);
  ASSERT_EQ(r.tests.size(), 1u);
  ASSERT_EQ(r.tests[0].evidence.size(), 1u);
  const Evidence& e = r.tests[0].evidence[0];
  EXPECT_EQ(e.url, L"http://x/index.html");
  EXPECT_EQ(e.title, L"Login");
  EXPECT_EQ(e.html, L"scripts/t.html");
  EXPECT_EQ(e.screenshot, L"scripts/t.png");
  ASSERT_EQ(r.tests[0].console.size(), 1u);
  EXPECT_EQ(r.tests[0].console[0], L"error: ReferenceError: x is not defined");
  EXPECT_TRUE(r.tests[0].echo.empty());
}

// A test over midnight still has its right time; garbage reads as nothing.
TEST(LogReader, TimesOverMidnightAndGarbage) {
  const LogTests r = read(kHeader + rec("test", "test", "late", "2026-12-31 23:59:58") + "junk line\n\xff\xfe\n" +
                          rec("stats", "test", "1 passed, 0 failed", "2027-01-01 00:00:03"));
  ASSERT_EQ(r.tests.size(), 1u);
  EXPECT_DOUBLE_EQ(r.tests[0].seconds, 5);
  EXPECT_TRUE(read("").tests.empty());
}

}  // namespace
}  // namespace Tavrin::Suite
