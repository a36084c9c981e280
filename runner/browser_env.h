// Browser environment checks, made before a test script runs: which command
// opens the user's default web browser, and whether the Firefox profile
// takes its proxy settings from the system (the only way Firefox goes
// through the local proxy server). A profile that is set otherwise is
// reported as an error event; the run goes on.
#ifndef QUORVANE_RUNNER_BROWSER_ENV_H_
#define QUORVANE_RUNNER_BROWSER_ENV_H_

#include <string>

#include <boost/filesystem/path.hpp>

namespace Tavrin::Runner {

// The value of the error event for a profile that is not in order.
extern const wchar_t kFirefoxConfigurationError[];

// The open command of the default browser, exactly as the registry holds
// it: the lookup OpenURL makes (runtime/browser_command.h), asked here. From
// Windows 6.0 on: the command of the class named by the user's choice for
// http, and when that cannot be read, the classic association; before 6.0
// the classic one only. Throws boost::system::error_code when the version
// cannot be read or no association can be read (ENOENT when none is there).
std::wstring DefaultBrowserCommand();

// Whether the program that `command` starts is Firefox: the program is the
// text after the leading double quotes up to the next double quote (for an
// unquoted command also its first blank-separated word), and it is Firefox
// when it ends with "firefox.exe" or its file name is "firefox" or
// "firefox-esr", letter case ignored.
bool IsFirefoxCommand(const std::wstring& command);

// Whether a run in `browser` needs the Firefox check: "firefox", or
// "default" when the default browser is Firefox. Exact, case-sensitive
// browser names.
bool NeedsFirefoxCheck(const std::wstring& browser, const std::wstring& default_command);

// What the check found out about a profile.
enum class ProfileFinding {
  kNone,        // nothing to judge: no profile, no prefs.js, no usable version
  kInOrder,     // the proxy type takes the system's settings
  kNotInOrder,  // report the error event
};

// Judges the text of a profile's prefs.js. The version that last used the
// profile ("extensions.lastAppVersion", quotes stripped) must have three
// components, each read by its leading digits ("1esr" reads 1); otherwise,
// or when a component has no digits, there is no finding. Versions from
// 3.6.4 on (compared number by number in order) take the system's settings
// by default: in order without a proxy-type line or with type 5. Older ones
// need "network.proxy.type" 5. A proxy type that is not an integer counts
// as a setting other than 5.
ProfileFinding EvaluateFirefoxPrefs(const std::string& prefs);

// The profile to examine in `profiles`: of the folders whose name is 16
// characters long or ends with ".default", ".default-release" or
// ".default-esr" (the browser table's endings, letter case ignored), the one written last (of equal
// times the first met). Empty when there is none or `profiles` is missing.
// Throws boost::filesystem::filesystem_error when the folder cannot be read.
boost::filesystem::path NewestFirefoxProfile(const boost::filesystem::path& profiles);

// The folder of the current user's Firefox profiles, one folder each
// (below the home folder where the browser table says). Not created.
// Throws boost::system::system_error when the home folder is unknown.
boost::filesystem::path FirefoxProfilesFolder();

// The whole check of the current user's Firefox profiles: creates the
// profiles folder when missing, picks the newest profile and judges its
// prefs.js. Throws boost::filesystem::filesystem_error when a folder cannot
// be made or read.
ProfileFinding CheckFirefoxProfiles(const boost::filesystem::path& profiles);

}  // namespace Tavrin::Runner

#endif  // QUORVANE_RUNNER_BROWSER_ENV_H_
