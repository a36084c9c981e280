// Splitting a suite over a CI system's parallel jobs, and the order in
// which a suite starts its scripts. Every shard of a suite computes the
// same split from the same sorted list (and the same timings), so the
// shards together run every script exactly once.
#ifndef QUORVANE_RUNNER_SUITE_SHARD_H_
#define QUORVANE_RUNNER_SUITE_SHARD_H_

#include <map>
#include <string>
#include <vector>

#include "runner/suite/suite_options.h"

namespace Tavrin::Suite {

// Seconds each script took in an earlier run, by display path.
using Timings = std::map<std::wstring, double>;

// The scripts of part `shard` of `scripts` (sorted). Without timings of
// every script the split goes by count (every N-th script, starting at the
// K-th); with them, each script in turn from the longest goes to the part
// with the least time so far. The result keeps the order of `scripts`.
std::vector<std::wstring> shard_scripts(const std::vector<std::wstring>& scripts, const Shard& shard,
                                        const Timings& timings);

// `scripts` in the order to start them: the longest of the earlier run
// first, scripts without a timing after those, each group in its order.
std::vector<std::wstring> start_order(const std::vector<std::wstring>& scripts, const Timings& timings);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_SHARD_H_
