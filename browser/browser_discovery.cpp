// Finding the browsers on the machine and the desktop's default browser.
#include <cstdlib>
#include <fstream>

#include <boost/algorithm/string/split.hpp>
#include <boost/filesystem.hpp>

#include "browser/browser_registration.h"
#include "browser/browser_table.h"
#include "platform/process.h"

namespace Tavrin::Browser {
namespace {

namespace fs = boost::filesystem;

// A program to look for, of a browser of the table.
struct Candidate {
  const char* kind;
  const Browsers::Executable* executable;
};

std::vector<Candidate> candidates() {
  std::vector<Candidate> list;
  for (const Browsers::BrowserEntry* entry : Browsers::all_browsers())
    for (const Browsers::Executable& executable : entry->executables) list.push_back({entry->kind, &executable});
  return list;
}

bool is_executable(const fs::path& path) {
  boost::system::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::is_regular_file(status)) return false;
  return (status.permissions() & (fs::owner_exe | fs::group_exe | fs::others_exe)) != 0;
}

bool is_script(const fs::path& path) {
  std::ifstream in(path.string(), std::ios::binary);
  char start[2] = {};
  in.read(start, 2);
  return in.gcount() == 2 && start[0] == '#' && start[1] == '!';
}

std::string on_path(const std::string& path_text, const std::string& name) {
  std::vector<std::string> folders;
  boost::algorithm::split(folders, path_text, [](char c) { return c == ':'; });
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    const fs::path candidate = fs::path(folder) / name;
    if (is_executable(candidate)) return candidate.string();
  }
  return {};
}

// The executable to run for `found`: the real one behind a wrapper script;
// `wrapper` tells whether only the script itself was left.
std::string real_program(const std::string& found, const Candidate& candidate, const std::string& root, bool* wrapper) {
  boost::system::error_code error;
  fs::path program = fs::canonical(found, error);
  if (error) program = found;
  *wrapper = false;
  if (!is_script(program)) return program.string();
  for (const char* real : candidate.executable->real) {
    const fs::path path = fs::path(root + real);
    if (is_executable(path)) return path.string();
  }
  *wrapper = true;
  return program.string();
}

}  // namespace

BrowserSearch machine_search() {
  const char* path = std::getenv("PATH");
  return BrowserSearch{path ? path : "/usr/local/bin:/usr/bin:/bin", ""};
}

// A wrapper script whose real program is unknown is taken only when no
// other name of its kind gives a real program (Debian's firefox-esr puts a
// script "firefox" on the PATH beside its own "firefox-esr").
std::vector<FoundBrowser> find_browsers(const BrowserSearch& search) {
  std::vector<FoundBrowser> found;
  std::vector<bool> only_wrapper;
  for (const Candidate& candidate : candidates()) {
    std::size_t index = found.size();
    for (std::size_t i = 0; i < found.size(); ++i)
      if (found[i].kind == candidate.kind) index = i;
    if (index < found.size() && !only_wrapper[index]) continue;
    const std::string program = on_path(search.path, candidate.executable->on_path);
    if (program.empty()) continue;
    bool wrapper = false;
    const std::string real = real_program(program, candidate, search.root, &wrapper);
    if (index == found.size()) {
      found.push_back({candidate.kind, real});
      only_wrapper.push_back(wrapper);
    } else if (!wrapper) {
      found[index].program = real;
      only_wrapper[index] = false;
    }
  }
  return found;
}

std::string desktop_default_browser() {
  Platform::Process::StartOptions options;
  options.arguments = {"xdg-settings", "get", "default-web-browser"};
  options.output = Platform::Process::StartOptions::Output::kCapture;
  try {
    Platform::Process::Child child = Platform::Process::start(options);
    std::string output;
    const auto status = child.WaitFor(std::chrono::seconds(5), &output);
    if (!status || !status->exited || status->code != 0) return {};
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r' || output.back() == ' '))
      output.pop_back();
    return output;
  } catch (const std::exception&) {
    return {};
  }
}

// The found browsers come in the table's order, which is also the order
// of preference.
std::string default_browser_kind(const std::vector<FoundBrowser>& found, const std::string& desktop_default) {
  for (const FoundBrowser& browser : found) {
    const Browsers::BrowserEntry* entry = Browsers::find_kind(browser.kind);
    if (entry && *entry->desktop_hint && desktop_default.find(entry->desktop_hint) != std::string::npos)
      return browser.kind;
  }
  return found.empty() ? std::string() : found.front().kind;
}

}  // namespace Tavrin::Browser
