// The browsers that test scripts name, and where the registry keeps their
// commands: one table for the launcher's registration (which writes the
// keys), the runtime object's OpenURL (which reads them) and the runner's
// browser checks. A name not in the table means the default browser.
#ifndef QUORVANE_COMMON_BROWSER_TABLE_H_
#define QUORVANE_COMMON_BROWSER_TABLE_H_

#include <initializer_list>
#include <string>

namespace Tavrin::Browsers {

struct BrowserEntry {
  // The names a script may use, compared exactly (case-sensitive).
  std::initializer_list<const wchar_t*> names;
  // The program below the App Paths key (HKEY_LOCAL_MACHINE).
  const wchar_t* app_paths;
  // The program id; its "shell\open\command" (HKEY_CLASSES_ROOT) holds the
  // command.
  const wchar_t* prog_id;
};

inline constexpr wchar_t kAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
inline constexpr wchar_t kUserChoiceKey[] =
    L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";
inline constexpr wchar_t kHttpCommandKey[] = L"http\\shell\\open\\command";
inline constexpr wchar_t kOpenCommand[] = L"\\shell\\open\\command";

inline const BrowserEntry kInternetExplorer{{L"ie", L"explorer"}, L"IEXPLORE.EXE", L"IE.HTTP"};
inline const BrowserEntry kFirefox{{L"firefox", L"firefox-esr"}, L"FIREFOX.EXE", L"FirefoxHTML"};
inline const BrowserEntry kSafari{{L"safari"}, L"SAFARI.EXE", L"SafariHTML"};
inline const BrowserEntry kChrome{{L"chrome", L"chromium"}, L"CHROME.EXE", L"ChromeHTML"};
inline const BrowserEntry kOpera{{L"opera"}, L"OPERA.EXE", L"Opera.HTML"};

// The entry that `name` names; null for any other name (the default
// browser).
inline const BrowserEntry* find_browser(const std::wstring& name) {
  for (const BrowserEntry* entry : {&kInternetExplorer, &kFirefox, &kSafari, &kChrome, &kOpera})
    for (const wchar_t* n : entry->names)
      if (name == n) return entry;
  return nullptr;
}

// HKLM key of the entry's App Paths, and HKCR key of its command.
inline std::wstring app_paths_key(const BrowserEntry& entry) { return std::wstring(kAppPathsKey) + entry.app_paths; }
inline std::wstring command_key(const BrowserEntry& entry) { return std::wstring(entry.prog_id) + kOpenCommand; }

}  // namespace Tavrin::Browsers

#endif  // QUORVANE_COMMON_BROWSER_TABLE_H_
