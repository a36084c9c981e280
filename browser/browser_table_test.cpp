// The browser table: which names select which entries and registry keys,
// and that its entries are whole.
#include "browser/browser_table.h"

#include <set>

#include <gtest/gtest.h>

namespace Tavrin::Browsers {
namespace {

TEST(BrowserTable, NamesSelectTheirEntries) {
  EXPECT_EQ(find_browser(L"chrome"), &kChromium);
  EXPECT_EQ(find_browser(L"chromium"), &kChromium);
  EXPECT_EQ(find_browser(L"firefox"), &kFirefox);
  EXPECT_EQ(find_browser(L"firefox-esr"), &kFirefox);
  EXPECT_EQ(find_browser(L"ie"), &kInternetExplorer);
  EXPECT_EQ(find_browser(L"explorer"), &kInternetExplorer);
  EXPECT_EQ(find_browser(L"opera"), &kOpera);
  EXPECT_EQ(find_browser(L"safari"), &kSafari);
  // Exact names only: anything else is the default browser.
  for (const wchar_t* other : {L"IE", L"Chromium", L"default", L"", L"chrome ", L"firefox-nightly"})
    EXPECT_EQ(find_browser(other), nullptr) << other;
  EXPECT_EQ(find_kind("firefox"), &kFirefox);
  EXPECT_EQ(find_kind("Firefox"), nullptr);
  EXPECT_EQ(find_kind("firefox-esr"), nullptr);  // a script's name, not a kind
}

TEST(BrowserTable, RegistryKeys) {
  EXPECT_EQ(app_paths_key(kChromium), L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\CHROME.EXE");
  EXPECT_EQ(command_key(kFirefox), L"FirefoxHTML\\shell\\open\\command");
  EXPECT_EQ(command_key(kInternetExplorer), L"IE.HTTP\\shell\\open\\command");
  EXPECT_EQ(command_key(kOpera), L"Opera.HTML\\shell\\open\\command");
  EXPECT_EQ(std::wstring(kHttpCommandKey), L"http\\shell\\open\\command");
}

TEST(BrowserTable, ProgramNamesIgnoreLetterCase) {
  EXPECT_TRUE(is_program_of(kFirefox, L"firefox-esr"));
  EXPECT_TRUE(is_program_of(kFirefox, L"FireFox"));
  EXPECT_FALSE(is_program_of(kFirefox, L"firefox-launcher"));
  EXPECT_FALSE(is_program_of(kFirefox, L"firefo"));
  EXPECT_FALSE(is_program_of(kFirefox, L""));
  EXPECT_TRUE(is_program_of(kOpera, L"OPERA"));
  EXPECT_FALSE(is_program_of(kOpera, L"operator"));
}

// Every entry is whole: kinds, names and keys distinct; a browser started
// through the launcher has a headless switch and is found on this machine.
TEST(BrowserTable, EntriesAreWholeAndDistinct) {
  std::set<std::string> kinds;
  std::set<std::wstring> names, keys;
  for (const BrowserEntry* entry : all_browsers()) {
    EXPECT_TRUE(kinds.insert(entry->kind).second) << entry->kind;
    EXPECT_TRUE(keys.insert(entry->prog_id).second) << entry->kind;
    for (const wchar_t* name : entry->names) EXPECT_TRUE(names.insert(name).second) << entry->kind;
    EXPECT_NE(entry->program_names.size(), 0u) << entry->kind;
    if (entry->launch) {
      EXPECT_NE(std::string(entry->launch->headless), "") << entry->kind;
      EXPECT_NE(entry->executables.size(), 0u) << entry->kind;
    }
  }
  EXPECT_EQ(all_browsers().front(), &kChromium);  // preferred as the default
}

}  // namespace
}  // namespace Tavrin::Browsers
