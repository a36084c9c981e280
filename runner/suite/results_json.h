// results.json: the whole result of a suite for tools, and what the suite
// mode reads back (timings of an earlier run) and the merge mode joins.
//
// {"summary": {"passed", "failed", "flaky", "timed_out", "tests",
//              "tests_failed", "seconds"},
//  "scripts": [{"path", "status", "seconds", "attempts": [{"exit_code",
//      "timed_out", "seconds", "log", "report", "output", "script_error",
//      "tests": [{"title", "status", "seconds", "failures": [{"step",
//          "message"}], "errors": [...], "console": [...], "evidence":
//          [{"screenshot", "html", "url", "title"}], "echo"}]}]}]}
#ifndef QUORVANE_RUNNER_SUITE_RESULTS_JSON_H_
#define QUORVANE_RUNNER_SUITE_RESULTS_JSON_H_

#include <stdexcept>
#include <string>

#include "runner/suite/shard.h"
#include "runner/suite/suite_result.h"

namespace Tavrin::Suite {

class ResultsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The JSON text of `suite` (UTF-8).
std::string results_json(const SuiteResult& suite);

// Reads a results.json text back. Throws ResultsError when it is not one.
SuiteResult parse_results_json(const std::string& text);

// The seconds of each script of the results.json in `folder`; empty when
// there is none or it cannot be read.
Timings read_timings(const std::string& folder);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_RESULTS_JSON_H_
