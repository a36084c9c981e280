#include "runner/suite/script_list.h"

#include <algorithm>
#include <set>

#include <boost/filesystem.hpp>

#include "platform/text.h"

namespace fs = boost::filesystem;

namespace Tavrin::Suite {

namespace {

bool is_glob(const std::wstring& path) { return path.find_first_of(L"*?") != std::wstring::npos; }

bool is_script(const fs::path& p) { return fs::is_regular_file(p) && p.extension() == ".js"; }

void add_folder(const fs::path& folder, std::set<std::wstring>& found) {
  for (fs::recursive_directory_iterator it(folder), end; it != end; ++it)
    if (is_script(it->path())) found.insert(display_path(it->path().wstring()));
}

// The part of a glob before its first element with a wildcard.
fs::path glob_root(const std::wstring& pattern) {
  const auto wild = pattern.find_first_of(L"*?");
  const auto slash = pattern.rfind(L'/', wild);
  if (slash == std::wstring::npos) return fs::path(".");
  if (slash == 0) return fs::path("/");
  return fs::path(pattern.substr(0, slash));
}

bool match_at(const std::wstring& p, std::size_t i, const std::wstring& s, std::size_t j) {
  while (i < p.size()) {
    if (p[i] == L'*') {
      const bool across = i + 1 < p.size() && p[i + 1] == L'*';
      std::size_t next = i + (across ? 2 : 1);
      // "**/" also matches no folder at all.
      if (across && next < p.size() && p[next] == L'/' && match_at(p, next + 1, s, j)) return true;
      for (std::size_t k = j; k <= s.size(); ++k) {
        if (match_at(p, next, s, k)) return true;
        if (k < s.size() && s[k] == L'/' && !across) return false;
      }
      return false;
    }
    if (j >= s.size()) return false;
    if (p[i] != L'?' ? p[i] != s[j] : s[j] == L'/') return false;
    ++i;
    ++j;
  }
  return j == s.size();
}

}  // namespace

bool glob_match(const std::wstring& pattern, const std::wstring& path) { return match_at(pattern, 0, path, 0); }

std::wstring display_path(const std::wstring& path) {
  boost::system::error_code ignored;
  const fs::path absolute = fs::absolute(fs::path(path)).lexically_normal();
  const fs::path here = fs::current_path(ignored);
  fs::path shown = absolute;
  const fs::path relative = absolute.lexically_relative(here);
  if (!relative.empty() && *relative.begin() != "..") shown = relative;
  std::wstring text = shown.generic_wstring();
  return text;
}

std::wstring output_name(const std::wstring& display_path, const std::vector<std::wstring>& named) {
  const fs::path shown(display_path);
  if (shown.is_relative() && (shown.empty() || *shown.begin() != "..")) return display_path;
  const fs::path script = fs::absolute(shown).lexically_normal();
  fs::path best;
  for (const std::wstring& path : named) {
    // The folder that the command-line path names its scripts under.
    fs::path folder = is_glob(path) ? glob_root(path) : fs::path(path);
    if (!is_glob(path) && !fs::is_directory(folder)) folder = folder.parent_path();
    folder = fs::absolute(folder).lexically_normal();
    const fs::path relative = script.lexically_relative(folder);
    if (relative.empty() || *relative.begin() == ".." || *relative.begin() == ".") continue;
    if (best.empty() || relative.size() < best.size()) best = relative;
  }
  return best.empty() ? display_path : best.generic_wstring();
}

std::vector<std::wstring> list_scripts(const std::vector<std::wstring>& paths, const std::wstring& grep) {
  std::set<std::wstring> found;
  for (const std::wstring& path : paths) {
    if (is_glob(path)) {
      const fs::path root = glob_root(path);
      if (!fs::is_directory(root)) continue;
      const std::wstring pattern = fs::path(path).lexically_normal().generic_wstring();
      for (fs::recursive_directory_iterator it(root), end; it != end; ++it) {
        if (!fs::is_regular_file(it->path())) continue;
        std::wstring candidate = it->path().lexically_normal().generic_wstring();
        if (candidate.rfind(L"./", 0) == 0) candidate.erase(0, 2);
        if (glob_match(pattern, candidate)) found.insert(display_path(candidate));
      }
    } else if (fs::is_directory(fs::path(path))) {
      add_folder(fs::path(path), found);
    } else if (fs::is_regular_file(fs::path(path))) {
      found.insert(display_path(path));
    } else {
      throw ScriptListError("no such test script or folder: " + Platform::to_utf8(path));
    }
  }
  std::vector<std::wstring> scripts;
  for (const std::wstring& s : found)
    if (grep.empty() || s.find(grep) != std::wstring::npos) scripts.push_back(s);
  return scripts;
}

}  // namespace Tavrin::Suite
