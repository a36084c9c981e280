#include "runner/browser_env.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <sstream>
#include <vector>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "browser/browser_table.h"
#include "runtime/browser_command.h"
#include "platform/shell_folders.h"

namespace Tavrin::Runner {

const wchar_t kFirefoxConfigurationError[] =
    L"Firefox configuration ERROR: \"Use system proxy settings\" must be enabled for Firefox.";

namespace {

namespace fs = boost::filesystem;

constexpr std::array<int, 3> kReferenceVersion = {3, 6, 4};
constexpr int kSystemProxyType = 5;
constexpr int kNoProxyType = -1;
// A proxy-type text that is not a number: a setting, but not the system's.
constexpr int kUnreadableProxyType = -2;

std::wstring file_name_of(const std::wstring& program) {
  const auto cut = program.find_last_of(L"/\\");
  return cut == std::wstring::npos ? program : program.substr(cut + 1);
}

bool is_firefox_program(const std::wstring& program) {
  return boost::algorithm::iends_with(program, Browsers::kFirefox.windows_program) ||
         Browsers::is_program_of(Browsers::kFirefox, file_name_of(program));
}

// Group 3 of the first line of `prefs` that sets preference `name`.
std::optional<std::string> pref_value(const std::string& prefs, const char* pattern) {
  const std::regex re(pattern, std::regex::ECMAScript | std::regex::multiline);
  std::smatch match;
  if (!std::regex_search(prefs, match, re)) return std::nullopt;
  return match[3].str();
}

std::string strip_quotes(std::string text) {
  const auto first = text.find_first_not_of('"');
  if (first == std::string::npos) return {};
  text.erase(0, first);
  text.erase(text.find_last_not_of('"') + 1);
  return text;
}

// The version's components by their leading digits; empty unless there
// are exactly three that each start with a digit.
std::vector<int> version_components(const std::string& version) {
  std::vector<int> components;
  std::istringstream parts(version);
  std::string part;
  while (std::getline(parts, part, '.')) {
    const auto digits = part.find_first_not_of("0123456789");
    const std::string number = part.substr(0, digits);
    if (number.empty() || number.size() > 9) return {};
    components.push_back(std::stoi(number));
  }
  if (!version.empty() && version.back() == '.') return {};
  if (components.size() != kReferenceVersion.size()) return {};
  return components;
}

int proxy_type(const std::optional<std::string>& text) {
  if (!text) return kNoProxyType;
  const auto first = text->find_first_not_of(" \t\r");
  if (first == std::string::npos) return kNoProxyType;
  const std::string value = text->substr(first, text->find_last_not_of(" \t\r") - first + 1);
  std::size_t used = 0;
  try {
    const int type = std::stoi(value, &used);
    return used == value.size() ? type : kUnreadableProxyType;
  } catch (const std::exception&) {
    return kUnreadableProxyType;
  }
}

bool qualifies(const fs::directory_entry& entry) {
  boost::system::error_code ignored;
  if (!fs::is_directory(entry.status(ignored))) return false;
  const std::wstring name = entry.path().filename().wstring();
  const auto& endings = Browsers::kFirefox.user_profiles->endings;
  return name.size() == 16 || std::any_of(endings.begin(), endings.end(), [&](const wchar_t* ending) {
           return boost::algorithm::iends_with(name, ending);
         });
}

}  // namespace

std::wstring DefaultBrowserCommand() { return Runtime::default_browser_command(Runtime::vista_or_later()); }

bool IsFirefoxCommand(const std::wstring& command) {
  const auto start = command.find_first_not_of(L'"');
  if (start == std::wstring::npos) return false;
  std::wstring program = command.substr(start);
  const auto quote = program.find(L'"');
  if (quote != std::wstring::npos) program.erase(quote);
  if (is_firefox_program(program)) return true;
  // An unquoted command: the program is its first word.
  if (start != 0) return false;
  const auto blank = program.find_first_of(L" \t");
  return blank != std::wstring::npos && is_firefox_program(program.substr(0, blank));
}

bool NeedsFirefoxCheck(const std::wstring& browser, const std::wstring& default_command) {
  if (Browsers::find_browser(browser) == &Browsers::kFirefox) return true;
  return browser == L"default" && IsFirefoxCommand(default_command);
}

ProfileFinding EvaluateFirefoxPrefs(const std::string& prefs) {
  const auto version_text =
      pref_value(prefs, R"(^(user_pref\("extensions\.lastAppVersion",)( *)(.*)(\);))");
  const std::string version = strip_quotes(version_text.value_or(""));
  if (version.empty()) return ProfileFinding::kNone;
  const std::vector<int> components = version_components(version);
  if (components.empty()) return ProfileFinding::kNone;

  const int type = proxy_type(pref_value(prefs, R"(^(user_pref\("network\.proxy\.type",)( *)(.*)(\);))"));
  const bool newer = !std::lexicographical_compare(components.begin(), components.end(),
                                                   kReferenceVersion.begin(), kReferenceVersion.end());
  const bool in_order = type == kSystemProxyType || (newer && type == kNoProxyType);
  return in_order ? ProfileFinding::kInOrder : ProfileFinding::kNotInOrder;
}

fs::path NewestFirefoxProfile(const fs::path& profiles) {
  if (!fs::is_directory(profiles)) return {};
  fs::path newest;
  std::time_t newest_time = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(profiles)) {
    if (!qualifies(entry)) continue;
    boost::system::error_code error;
    const std::time_t written = fs::last_write_time(entry.path(), error);
    if (error) continue;
    if (newest.empty() || written > newest_time) {
      newest = entry.path();
      newest_time = written;
    }
  }
  return newest;
}

fs::path FirefoxProfilesFolder() {
  return fs::path(Platform::home_folder()) / Browsers::kFirefox.user_profiles->below_home;
}

ProfileFinding CheckFirefoxProfiles(const fs::path& profiles) {
  fs::create_directories(profiles);
  const fs::path profile = NewestFirefoxProfile(profiles);
  if (profile.empty()) return ProfileFinding::kNone;
  const fs::path prefs_path = profile / "prefs.js";
  if (!fs::is_regular_file(prefs_path)) return ProfileFinding::kNone;
  std::ifstream in(prefs_path.string(), std::ios::binary);
  const std::string prefs((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return EvaluateFirefoxPrefs(prefs);
}

}  // namespace Tavrin::Runner
