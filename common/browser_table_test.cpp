// The browser table: which names select which registry keys.
#include "common/browser_table.h"

#include <gtest/gtest.h>

namespace Tavrin::Browsers {
namespace {

TEST(BrowserTable, NamesSelectTheirRows) {
  EXPECT_EQ(find_browser(L"chrome"), &kChrome);
  EXPECT_EQ(find_browser(L"chromium"), &kChrome);
  EXPECT_EQ(find_browser(L"firefox"), &kFirefox);
  EXPECT_EQ(find_browser(L"firefox-esr"), &kFirefox);
  EXPECT_EQ(find_browser(L"ie"), &kInternetExplorer);
  EXPECT_EQ(find_browser(L"explorer"), &kInternetExplorer);
  EXPECT_EQ(find_browser(L"opera"), &kOpera);
  EXPECT_EQ(find_browser(L"safari"), &kSafari);
  // Exact names only: anything else is the default browser.
  for (const wchar_t* other : {L"IE", L"Chromium", L"default", L"", L"chrome ", L"firefox-nightly"})
    EXPECT_EQ(find_browser(other), nullptr) << other;
}

TEST(BrowserTable, RegistryKeys) {
  EXPECT_EQ(app_paths_key(kChrome), L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\CHROME.EXE");
  EXPECT_EQ(command_key(kFirefox), L"FirefoxHTML\\shell\\open\\command");
  EXPECT_EQ(command_key(kInternetExplorer), L"IE.HTTP\\shell\\open\\command");
  EXPECT_EQ(command_key(kOpera), L"Opera.HTML\\shell\\open\\command");
  EXPECT_EQ(std::wstring(kHttpCommandKey), L"http\\shell\\open\\command");
}

}  // namespace
}  // namespace Tavrin::Browsers
