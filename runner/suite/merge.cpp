#include "runner/suite/merge.h"

#include <algorithm>
#include <map>

#include <boost/filesystem.hpp>

#include "platform/text.h"
#include "runner/suite/output_files.h"
#include "runner/suite/results_json.h"
#include "runner/suite/suite_options.h"
#include "runner/suite/suite_run.h"

namespace fs = boost::filesystem;

namespace Tavrin::Suite {

namespace {

void copy_tree(const fs::path& from, const fs::path& to) {
  if (!fs::is_directory(from)) return;
  for (fs::recursive_directory_iterator it(from), end; it != end; ++it) {
    const fs::path target = to / it->path().lexically_relative(from);
    if (fs::is_directory(it->path())) {
      make_folder(target.string());
    } else {
      make_folder(target.parent_path().string());
      fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing);
    }
  }
}

}  // namespace

SuiteResult merge_results(const std::vector<SuiteResult>& parts) {
  std::map<std::wstring, ScriptResult> scripts;
  SuiteResult merged;
  for (const SuiteResult& part : parts) {
    merged.seconds = std::max(merged.seconds, part.seconds);
    for (const ScriptResult& s : part.scripts) scripts[s.path] = s;
  }
  for (auto& [path, script] : scripts) merged.scripts.push_back(std::move(script));
  return merged;
}

int RunMergeMode(const std::vector<std::wstring>& tokens, std::wostream& console) {
  const MergeOptions options = parse_merge_options(tokens);
  const std::string out = fs::absolute(Platform::to_utf8(options.out)).lexically_normal().string();
  make_folder(out);
  std::vector<SuiteResult> parts;
  for (const std::wstring& part : options.parts) {
    const std::string folder = fs::absolute(Platform::to_utf8(part)).lexically_normal().string();
    const auto text = read_bytes(folder + "/results.json");
    if (!text) throw ResultsError("no results.json in " + folder);
    parts.push_back(parse_results_json(*text));
    if (folder != out) copy_tree(folder + "/scripts", out + "/scripts");
  }
  const SuiteResult merged = merge_results(parts);
  write_outputs(merged, out);
  console << L"merged " << parts.size() << L" parts\n" << summary_line(merged) << L"\n";
  console.flush();
  return suite_exit_status(merged);
}

}  // namespace Tavrin::Suite
