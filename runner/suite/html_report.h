// index.html: the suite's result for a person, one self-contained file (no
// server, no network: inline style and script; screenshots are files beside
// it). It opens on a summary, lists the scripts with their tests and
// times, failed ones first and expanded, each failed step with its
// message, the page's URL and title, its screenshot and the page's console
// errors; it filters by status and searches by title.
#ifndef QUORVANE_RUNNER_SUITE_HTML_REPORT_H_
#define QUORVANE_RUNNER_SUITE_HTML_REPORT_H_

#include <string>

#include "runner/suite/suite_result.h"

namespace Tavrin::Suite {

// The page, UTF-8. Paths in the result are relative to the output folder,
// where the page lies.
std::string html_report(const SuiteResult& suite);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_HTML_REPORT_H_
