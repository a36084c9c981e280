// The suite mode: lists the scripts, takes this shard's part, runs them
// `workers` at a time (the longest of an earlier run first), retries failed
// ones, ends those that run out of time, prints a line per finished script
// and a summary, and writes the output folder.
#ifndef QUORVANE_RUNNER_SUITE_SUITE_RUN_H_
#define QUORVANE_RUNNER_SUITE_SUITE_RUN_H_

#include <ostream>
#include <string>
#include <vector>

#include "runner/suite/suite_options.h"
#include "runner/suite/suite_interrupt.h"
#include "runner/suite/suite_result.h"

namespace Tavrin::Suite {

// Runs `scripts` (display paths, sorted) with `runner` (the Quorvane
// program) into the absolute folder `out`, and returns the result sorted
// by path. Writes its console lines to `console`; `live` adds the count of
// running scripts, rewritten in place (for a terminal). results.json holds
// every script finished so far. Once `interrupt` (when given) is
// requested, no script starts any more and the running ones are ended and
// marked interrupted.
SuiteResult run_scripts(const std::string& runner, const SuiteOptions& options, const std::string& out,
                        const std::vector<std::wstring>& scripts, std::wostream& console, bool live,
                        const SuiteInterrupt* interrupt = nullptr);

// The exit status of a suite: the number of scripts that failed, timed out
// or were interrupted (flaky ones passed), at most 255. An interrupted
// suite exits with 128 + the signal's number instead.
int suite_exit_status(const SuiteResult& suite);

// Writes junit.xml, results.json and index.html of `suite` into `out`.
// Throws OutputError.
void write_outputs(const SuiteResult& suite, const std::string& out);

// The closing summary line: "N scripts: P passed, F failed, K flaky,
// T timed out; X tests, Y failed; S s", with ", I interrupted" after the
// time-outs when there are any; "1 script", "1 test" for one.
std::wstring summary_line(const SuiteResult& suite);

// The whole mode, from the command line to the exit status. On a console
// interrupt, close or shutdown it ends the running scripts, writes the
// output folder for what ran and exits with 128 + the signal's number. Throws
// SuiteOptionsError, ScriptListError and OutputError.
int RunSuiteMode(const std::vector<std::wstring>& tokens, std::wostream& console);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_SUITE_RUN_H_
