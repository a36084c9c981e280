// junit.xml, the result as CI servers read it: one testsuite per script,
// one testcase per test (classname the script's path, name the test's
// title, time in seconds); a failure with the failed step and its message,
// an error for script errors and time-outs, skipped where nothing ran, the
// test's echo as system-out and the page's console lines as system-err.
#ifndef QUORVANE_RUNNER_SUITE_JUNIT_XML_H_
#define QUORVANE_RUNNER_SUITE_JUNIT_XML_H_

#include <string>
#include <vector>

#include "runner/suite/suite_result.h"

namespace Tavrin::Suite {

// The test cases of a script's last attempt as junit.xml lists them: its
// tests, plus an error case "(script)", "(timed out)" or "(interrupted)"
// for a script error, a time-out or an interrupt, or a skipped case
// "(no tests)" when nothing ran. A case counted as an error or a failure
// always carries its error or failure.
std::vector<TestResult> junit_cases(const Attempt& last);

// The document, UTF-8.
std::string junit_xml(const SuiteResult& suite);

// `text` as XML character data or attribute value (UTF-8): markup
// characters and quotes as references, characters XML cannot carry
// dropped.
std::string xml_escape(const std::wstring& text);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_JUNIT_XML_H_
