// What the system knows about each browser, in one table: the names a
// test script uses for it, its registry keys, where its program lies on
// this machine, the names its program goes by in a command line, and, for
// the browsers that QuorvaneBrowser starts, the steps of a test launch
// (switches, preferences, profile and trust). The launcher, the browser
// registration, the runtime object's OpenURL and the runner's browser
// checks all ask this table; a new browser, switch or preference is one
// entry here.
//
// A small library of its own without dependencies, so that the runner and
// the runtime object use it without the launcher.
#ifndef QUORVANE_BROWSER_BROWSER_TABLE_H_
#define QUORVANE_BROWSER_BROWSER_TABLE_H_

#include <initializer_list>
#include <span>
#include <string>
#include <utility>

namespace Tavrin::Browsers {

// A program to look for on the PATH, and where the distributions keep the
// real executable when what the PATH holds is a wrapper script.
struct Executable {
  const char* on_path;
  std::initializer_list<const char*> real;
};

// How a test launch gives the browser its throwaway profile.
enum class ProfileStep {
  kUserDataDirSwitch,  // "--user-data-dir=<profile>"
  kProfileFolder,      // "--profile <profile>", the preferences in its "user.js",
                       // and its temporary files inside it (TMPDIR)
};

// How a test launch sends every address through the local proxy.
enum class ProxyStep {
  kSwitches,     // "--proxy-server", with the service hosts bypassing it
  kPreferences,  // "network.proxy.*" in the profile's user.js
};

// How a test launch makes the browser trust the local proxy's authority
// (browser/proxy_authority.h).
enum class TrustStep {
  kKeyHashSwitch,       // the authority key's SHA-256 in `trust_switch`
  kCertificateDatabase  // an NSS database in the profile
};

struct Preference {
  const char* name;
  const char* value;  // as user.js writes it: true, 0, "\"text\""
};

// A test launch by QuorvaneBrowser (browser/launch_plan.h).
struct LaunchSteps {
  // The switch for a run without a display, and whether it comes first
  // (else after the other switches).
  const char* headless;
  bool headless_first;
  // Switches that keep the browser quiet: no first-run pages, questions,
  // updates, telemetry or other background traffic.
  std::initializer_list<const char*> switches;
  // For root, which Chromium's sandbox refuses (empty: nothing needed).
  const char* elevated_switch;
  // Hosts the browser asks whatever its switches say; they bypass the
  // proxy and resolve to nothing.
  std::initializer_list<const char*> service_hosts;
  // The URL follows this argument ("--": nothing after it is a switch);
  // empty: the URL follows the switches directly.
  const char* before_url;
  ProfileStep profile;
  ProxyStep proxy;
  TrustStep trust;
  const char* trust_switch;  // kKeyHashSwitch: the switch, the hash appended
  // Preferences for the profile (kProfileFolder), after those that send
  // every address through the proxy.
  std::initializer_list<Preference> preferences;
  // Variables set for the browser.
  std::initializer_list<std::pair<const char*, const char*>> environment;
};

// Where a user's own profiles of the browser lie (the runner's check of
// the proxy settings), below the home folder, and the endings of the
// profile folders' names that count (besides names of 16 characters).
struct UserProfiles {
  const char* below_home;
  std::initializer_list<const wchar_t*> endings;
};

struct BrowserEntry {
  // The kind: QuorvaneBrowser's first argument and the registration's name.
  const char* kind;
  // The names a script may use, compared exactly (case-sensitive).
  std::initializer_list<const wchar_t*> names;
  // The program below the App Paths key (HKEY_LOCAL_MACHINE).
  const wchar_t* app_paths;
  // The program id; its "shell\open\command" (HKEY_CLASSES_ROOT) holds the
  // command.
  const wchar_t* prog_id;
  // Where to find it on this machine, in order of preference; empty for a
  // browser that is never registered here.
  std::initializer_list<Executable> executables;
  // The file names of its program in a command line (letter case ignored),
  // and the Windows program's name.
  std::initializer_list<const wchar_t*> program_names;
  const wchar_t* windows_program;
  // A part of the desktop entry's name of the desktop's default browser
  // that means this browser (xdg-settings).
  const char* desktop_hint;
  // How QuorvaneBrowser starts it; null for a browser registered with its
  // own command line.
  const LaunchSteps* launch;
  // The user's own profiles; null when the runner does not check them.
  const UserProfiles* user_profiles;
};

inline constexpr wchar_t kAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
inline constexpr wchar_t kUserChoiceKey[] =
    L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";
inline constexpr wchar_t kHttpCommandKey[] = L"http\\shell\\open\\command";
inline constexpr wchar_t kOpenCommand[] = L"\\shell\\open\\command";

extern const BrowserEntry kChromium;
extern const BrowserEntry kFirefox;
extern const BrowserEntry kOpera;
extern const BrowserEntry kInternetExplorer;
extern const BrowserEntry kSafari;

// Every entry, the ones found on this machine first, in the order in which
// they are preferred as the default browser.
std::span<const BrowserEntry* const> all_browsers();

// The entry that a script's `name` names; null for any other name (the
// default browser).
const BrowserEntry* find_browser(const std::wstring& name);
// The entry of `kind` ("chromium"); null for any other text.
const BrowserEntry* find_kind(const std::string& kind);
// Whether `file_name` (a program's file name, without its folder) is one
// of the entry's program names, letter case ignored.
bool is_program_of(const BrowserEntry& entry, const std::wstring& file_name);

// HKLM key of the entry's App Paths, and HKCR key of its command.
std::wstring app_paths_key(const BrowserEntry& entry);
std::wstring command_key(const BrowserEntry& entry);
// HKCR key of the command of a program id.
std::wstring command_key(const std::wstring& prog_id);

}  // namespace Tavrin::Browsers

#endif  // QUORVANE_BROWSER_BROWSER_TABLE_H_
