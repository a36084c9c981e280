#include "runner/suite/shard.h"

#include <algorithm>
#include <numeric>

namespace Tavrin::Suite {

namespace {

bool all_timed(const std::vector<std::wstring>& scripts, const Timings& timings) {
  return std::all_of(scripts.begin(), scripts.end(), [&](const std::wstring& s) { return timings.count(s) > 0; });
}

// Indices of `scripts`, longest first; equal times keep the list's order.
std::vector<std::size_t> longest_first(const std::vector<std::wstring>& scripts, const Timings& timings) {
  std::vector<std::size_t> order(scripts.size());
  std::iota(order.begin(), order.end(), 0);
  auto time_of = [&](std::size_t i) {
    const auto it = timings.find(scripts[i]);
    return it == timings.end() ? -1.0 : it->second;
  };
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return time_of(a) > time_of(b); });
  return order;
}

}  // namespace

std::vector<std::wstring> shard_scripts(const std::vector<std::wstring>& scripts, const Shard& shard,
                                        const Timings& timings) {
  const std::size_t parts = static_cast<std::size_t>(shard.count);
  const std::size_t mine = static_cast<std::size_t>(shard.index - 1);
  std::vector<bool> chosen(scripts.size(), false);
  if (!timings.empty() && all_timed(scripts, timings)) {
    std::vector<double> load(parts, 0.0);
    for (std::size_t i : longest_first(scripts, timings)) {
      const std::size_t part = static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
      load[part] += timings.at(scripts[i]);
      chosen[i] = part == mine;
    }
  } else {
    for (std::size_t i = 0; i < scripts.size(); ++i) chosen[i] = i % parts == mine;
  }
  std::vector<std::wstring> result;
  for (std::size_t i = 0; i < scripts.size(); ++i)
    if (chosen[i]) result.push_back(scripts[i]);
  return result;
}

std::vector<std::wstring> start_order(const std::vector<std::wstring>& scripts, const Timings& timings) {
  std::vector<std::wstring> result;
  for (std::size_t i : longest_first(scripts, timings)) result.push_back(scripts[i]);
  return result;
}

}  // namespace Tavrin::Suite
