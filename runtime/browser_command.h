// Which command line opens a browser: the registry lookup behind OpenURL.
//
// Names map to registry keys by the browser table (browser/browser_table.h, exact,
// case-sensitive; any other name, the empty one included, selects the
// default browser):
//
//   "ie", "explorer"          App Paths\IEXPLORE.EXE  IE.HTTP\shell\open\command
//   "firefox", "firefox-esr"  App Paths\FIREFOX.EXE   FirefoxHTML\shell\open\command
//   "safari"                  App Paths\SAFARI.EXE    SafariHTML\shell\open\command
//   "chrome", "chromium"      App Paths\CHROME.EXE    ChromeHTML\shell\open\command
//   "opera"                   App Paths\OPERA.EXE     Opera.HTML\shell\open\command
//
// App Paths keys lie under "HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion";
// command keys under HKEY_CLASSES_ROOT. The default browser
// is the class named by "Progid" of the current user's UserChoice key for
// http, with "http\shell\open\command" as the fallback. Every value read is
// the key's default value as a string, except "Progid".
//
// Failures: registry errors are thrown as boost::system::error_code (a
// missing key or value is ENOENT), after the fallbacks described at each
// function. Stateless.
#ifndef QUORVANE_RUNTIME_BROWSER_COMMAND_H_
#define QUORVANE_RUNTIME_BROWSER_COMMAND_H_

#include <string>

namespace Tavrin::Runtime {

// Whether the system counts as Vista or later (major version 6 or more).
// Throws the version call's failure as boost::system::error_code.
bool vista_or_later();

// The command template of `browser`.
// Vista or later: a named browser's command key (a failure propagates);
// the default browser's UserChoice class, falling back to the http command
// key, throwing the first error when both fail.
// Before Vista: a named browser's App Paths key, falling back to its
// command key, throwing the App Paths error when both fail; the default
// browser's http command key (a failure propagates).
std::wstring browser_command(const std::wstring& browser, bool vista_or_later);

// The default browser's command template, as browser_command looks it up
// for a name that is no browser's (the runner's check of the default
// browser asks this too).
std::wstring default_browser_command(bool vista_or_later);

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_BROWSER_COMMAND_H_
