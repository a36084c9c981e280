// The command lines of the suite and merge modes:
//   Quorvane --mode=suite [--workers N] [--grep TEXT] [--out DIR]
//            [--shard K/N|auto] [--retries N] [--timeout SECONDS]
//            [-s HOST] [-p PORT] [-b BROWSER] PATH...
//   Quorvane --mode=merge --out DIR PART_DIR...
#ifndef QUORVANE_RUNNER_SUITE_SUITE_OPTIONS_H_
#define QUORVANE_RUNNER_SUITE_SUITE_OPTIONS_H_

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/program_options/options_description.hpp>

namespace Tavrin::Suite {

inline constexpr wchar_t kDefaultOutput[] = L"quorvane-results";

struct Shard {
  int index = 1;  // 1-based
  int count = 1;
};

struct SuiteOptions {
  std::vector<std::wstring> paths;  // files, folders or globs
  std::wstring grep;
  int workers = 0;                  // 0: one per core
  std::wstring out = kDefaultOutput;
  std::optional<Shard> shard;
  int retries = 0;
  double timeout = 0;               // seconds; 0: none
  bool har = false;                 // each script's requests as HAR beside its log
  // Passed on to each script's run as -s, -p, -b when given.
  std::optional<std::wstring> server, port, browser;
};

struct MergeOptions {
  std::wstring out;
  std::vector<std::wstring> parts;
};

// A malformed command line; the message says what is wrong.
class SuiteOptionsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `tokens` is the whole command line, program path first. Throws
// SuiteOptionsError (no path given, a bad number, a bad shard).
SuiteOptions parse_suite_options(const std::vector<std::wstring>& tokens);
MergeOptions parse_merge_options(const std::vector<std::wstring>& tokens);

// "K/N" with 1 <= K <= N, or "auto": K and N from CI_NODE_INDEX and
// CI_NODE_TOTAL (1-based, as GitLab CI sets them; a run without them is
// shard 1/1). Throws SuiteOptionsError.
Shard parse_shard(const std::wstring& text);

// The options of suite mode with their descriptions, added to `group`:
// what suite mode parses and what the usage texts show.
void add_suite_options(boost::program_options::options_description& group);

// The layout of the usage texts: line length and description column.
inline constexpr unsigned kUsageLineLength = 80;
inline constexpr unsigned kUsageDescriptionColumn = 40;

// The usage lines of both modes, with the suite options.
std::string suite_usage();

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_SUITE_OPTIONS_H_
