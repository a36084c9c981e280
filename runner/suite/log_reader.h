// Reads the tests of one script out of its test log: each test with its
// outcome, the steps that failed and their messages, the evidence the run
// kept of a failure, the page's console errors, and what the test echoed.
// Records of nested suites (their own test files) are left to them.
#ifndef QUORVANE_RUNNER_SUITE_LOG_READER_H_
#define QUORVANE_RUNNER_SUITE_LOG_READER_H_

#include <istream>
#include <string>
#include <vector>

#include "runner/suite/suite_result.h"

namespace Tavrin::Suite {

struct LogTests {
  std::vector<TestResult> tests;
  // Errors recorded outside every test, one a line.
  std::wstring errors_outside;
};

// Reads the log of the script whose file name (last path element) is
// `script_name`. Never throws on any content; lines that are no records
// are skipped.
// The file name of a script's path ("a/b/login.js" gives "login.js"), as
// the log's records name their script in "source".
std::wstring script_file_name(const std::wstring& path);

LogTests read_log_tests(std::istream& log, const std::wstring& script_name);

// The same for a file; an empty result when it cannot be opened.
LogTests read_log_tests_file(const std::string& path, const std::wstring& script_name);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_LOG_READER_H_
