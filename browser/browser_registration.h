// Registering the browsers of this machine in the registry, the way browser
// installers do on Windows, so that OpenURL and the default-browser checks
// find them:
//
//  - HKLM "Software\Microsoft\Windows\CurrentVersion\App Paths\CHROME.EXE",
//    "FIREFOX.EXE", "OPERA.EXE": the command without "%1";
//  - HKCR "ChromeHTML\shell\open\command", "FirefoxHTML\...",
//    "Opera.HTML\...": the command with "%1";
//  - HKCR "http\shell\open\command": the default browser's command, and
//    HKCU "Software\Microsoft\Windows\Shell\Associations\UrlAssociations\http\UserChoice",
//    value "Progid": its class.
//
// Chromium (found as chromium, chromium-browser, google-chrome or
// google-chrome-stable on PATH) and Firefox (firefox, firefox-esr) are
// started through the launcher QuorvaneBrowser beside the programs:
// "<dir>/QuorvaneBrowser" chromium "<browser program>" "%1". A program on
// PATH that is a wrapper script is replaced by the real executable where
// the distribution keeps it (Debian's /usr/lib/chromium/chromium). Opera
// (opera) is registered with its own command line. The default browser is
// the desktop's default web browser when it is one of these, else
// Chromium, else Firefox.
//
// The keys go to the machine (HKLM, its "Software\Classes" for the class
// keys) or, for a user who may not write there, to the same places under
// HKCU; the user's choice is always the current user's.
//
// Failures of the registry are thrown as boost::system::error_code (see
// common/registry.h).
#ifndef QUORVANE_BROWSER_BROWSER_REGISTRATION_H_
#define QUORVANE_BROWSER_BROWSER_REGISTRATION_H_

#include <string>
#include <vector>

namespace Tavrin::Browser {

// A browser found on the machine: "chromium", "firefox" or "opera", and
// the executable to run.
enum class KeyScope { kMachine, kUser };

struct FoundBrowser {
  std::string kind;
  std::string program;
};

// Where to look: the PATH text, and a folder prepended to the places where
// distributions keep the real executables ("" for the machine's own).
struct BrowserSearch {
  std::string path;
  std::string root;
};

// $PATH and the machine's own folders.
BrowserSearch machine_search();

// The browsers found, at most one of each kind, Chromium first.
std::vector<FoundBrowser> find_browsers(const BrowserSearch& search);

// The desktop's default web browser (xdg-settings' desktop entry name, such
// as "chromium.desktop"); empty when unknown.
std::string desktop_default_browser();

// The kind of the default browser among `found` (see above); empty when
// none was found.
std::string default_browser_kind(const std::vector<FoundBrowser>& found, const std::string& desktop_default);

// The command line that opens "%1" in `browser`, the launcher lying in
// `bin_dir`; `with_url` false gives the App Paths form without "%1".
std::wstring browser_command_line(const FoundBrowser& browser, const std::wstring& bin_dir, bool with_url);

// Removes what an earlier registration wrote, then writes the keys for
// `found` with `default_kind` as the default browser.
void write_browser_keys(const std::vector<FoundBrowser>& found, const std::string& default_kind,
                        const std::wstring& bin_dir, KeyScope scope = KeyScope::kMachine);

// Finds the browsers of this machine and registers them, the launcher lying
// in `bin_dir`. Returns what was found.
std::vector<FoundBrowser> register_browsers(const std::wstring& bin_dir, KeyScope scope = KeyScope::kMachine);

// Removes the keys that register_browsers writes. The http command and the
// UserChoice are removed only when they name one of these browsers. Keys
// already missing are no error.
void unregister_browsers(KeyScope scope = KeyScope::kMachine);

}  // namespace Tavrin::Browser

#endif  // QUORVANE_BROWSER_BROWSER_REGISTRATION_H_
