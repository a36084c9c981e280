// The test scripts of a suite: named files, the "*.js" files of named
// folders (searched through, in name order), and the files that globs
// match ("*" and "?" within one path element, "**" across elements).
#ifndef QUORVANE_RUNNER_SUITE_SCRIPT_LIST_H_
#define QUORVANE_RUNNER_SUITE_SCRIPT_LIST_H_

#include <stdexcept>
#include <string>
#include <vector>

namespace Tavrin::Suite {

class ScriptListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The scripts that `paths` name, each once, sorted by its display path
// (see display_path), and only those whose display path contains `grep`
// when it is not empty. Throws ScriptListError when a path that is no glob
// names nothing.
std::vector<std::wstring> list_scripts(const std::vector<std::wstring>& paths, const std::wstring& grep);

// How a suite names a script: relative to the current folder when it lies
// under it, else its absolute path; with forward slashes.
std::wstring display_path(const std::wstring& path);

// The name under which a script's files go into the output folder: its
// display path when it lies under the current folder; else its path
// relative to the one of `named` (the suite's command-line paths: folders,
// files, globs) that holds it, the closest one when several do; the display
// path when none does.
std::wstring output_name(const std::wstring& display_path, const std::vector<std::wstring>& named);

// Whether `path` matches `pattern` ("*" and "?" do not cross "/", "**"
// does).
bool glob_match(const std::wstring& pattern, const std::wstring& path);

}  // namespace Tavrin::Suite

#endif  // QUORVANE_RUNNER_SUITE_SCRIPT_LIST_H_
