// The merge mode: joins the output folders of a suite's shards into one
// output folder whose result is that of one unsharded run of the same
// scripts (scripts in path order; each script's files copied along).
#ifndef QUORVANE_RUNNER_SUITE_MERGE_H_
#define QUORVANE_RUNNER_SUITE_MERGE_H_

#include <ostream>
#include <string>
#include <vector>

#include "runner/suite/suite_result.h"

namespace Tavrin::Suite {

// The results of `parts` as one: every script once (a script that two
// parts ran keeps the later part's result), sorted by path; the wall time
// the longest part's.
SuiteResult merge_results(const std::vector<SuiteResult>& parts);

// The whole mode: reads PART_DIR/results.json of each part, copies their
// script files into the output folder and writes its junit.xml,
// results.json and index.html. Returns the suite's exit status. Throws
// SuiteOptionsError, ResultsError (a part without results) and OutputError.
int RunMergeMode(const std::vector<std::wstring>& tokens, std::wostream& console);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_MERGE_H_
