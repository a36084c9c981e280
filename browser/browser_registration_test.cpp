// Finding the browsers on a PATH and writing and removing their registry
// keys, in a private registry.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "browser/browser_registration.h"
#include "common/registry.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace {

using namespace Tavrin::Browser;
namespace fs = boost::filesystem;
namespace Reg = Tavrin::Windows::Registry;

const wchar_t kUserChoice[] = L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";
const wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

std::optional<std::wstring> value(HKEY root, const std::wstring& key, const std::wstring& name = L"") {
  try {
    return Reg::reg_query_string(Reg::reg_open_key(Reg::create_hkey_ptr(root), key, KEY_READ), name);
  } catch (const boost::system::error_code&) {
    return std::nullopt;
  }
}

bool key_exists(HKEY root, const std::wstring& key) {
  try {
    Reg::reg_open_key(Reg::create_hkey_ptr(root), key, KEY_READ);
    return true;
  } catch (const boost::system::error_code&) {
    return false;
  }
}

class BrowserRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"bin", "usr/bin", "root/usr/lib/chromium", "machine", "config"})
      fs::create_directories(dir_.file(folder));
    machine_ = std::make_unique<quorvane_test::ScopedEnv>("QUORVANE_MACHINE_DIR", dir_.file("machine"));
    user_ = std::make_unique<quorvane_test::ScopedEnv>("XDG_CONFIG_HOME", dir_.file("config"));
  }
  std::string Program(const std::string& path, const std::string& text = "\x7f" "ELF") {
    quorvane_test::write_file(dir_.file(path), text);
    fs::permissions(dir_.file(path), fs::owner_all);
    return dir_.file(path);
  }
  BrowserSearch Search() const { return {dir_.file("bin") + ":" + dir_.file("usr/bin"), dir_.file("root")}; }

  quorvane_test::TempDir dir_;
  std::unique_ptr<quorvane_test::ScopedEnv> machine_, user_;
};

// The first name of each kind on PATH wins; a wrapper script is replaced by
// the real executable where the distribution keeps it, or by a later name
// that is a real executable; files that may not be run are not browsers.
TEST_F(BrowserRegistration, FindsBrowsersOnPath) {
  Program("usr/bin/chromium", "#!/bin/sh\nexec /usr/lib/chromium/chromium \"$@\"\n");
  const std::string real = Program("root/usr/lib/chromium/chromium");
  Program("bin/google-chrome");
  Program("bin/firefox", "#!/bin/sh\nexec firefox-esr \"$@\"\n");
  const std::string esr = Program("usr/bin/firefox-esr");
  quorvane_test::write_file(dir_.file("bin/opera"), "not executable");
  const auto found = find_browsers(Search());
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].kind, "chromium");
  EXPECT_EQ(found[0].program, real);
  EXPECT_EQ(found[1].kind, "firefox");
  EXPECT_EQ(found[1].program, esr);
}

// The desktop's default wins when it was found; else Chromium, else Firefox.
TEST_F(BrowserRegistration, ChoosesTheDefaultBrowser) {
  const std::vector<FoundBrowser> both = {{"chromium", "/c"}, {"firefox", "/f"}};
  EXPECT_EQ(default_browser_kind(both, "firefox-esr.desktop"), "firefox");
  EXPECT_EQ(default_browser_kind(both, "chromium.desktop"), "chromium");
  EXPECT_EQ(default_browser_kind(both, "opera.desktop"), "chromium");
  EXPECT_EQ(default_browser_kind(both, ""), "chromium");
  EXPECT_EQ(default_browser_kind({{"firefox", "/f"}}, "google-chrome.desktop"), "firefox");
  EXPECT_EQ(default_browser_kind({}, ""), "");
}

// Chromium and Firefox go through the launcher, Opera is started directly.
TEST_F(BrowserRegistration, CommandLines) {
  EXPECT_EQ(browser_command_line({"chromium", "/usr/lib/chromium/chromium"}, L"/opt/q", true),
            L"\"/opt/q/QuorvaneBrowser\" chromium \"/usr/lib/chromium/chromium\" \"%1\"");
  EXPECT_EQ(browser_command_line({"firefox", "/usr/bin/firefox"}, L"/opt/q", false),
            L"\"/opt/q/QuorvaneBrowser\" firefox \"/usr/bin/firefox\"");
  EXPECT_EQ(browser_command_line({"opera", "/usr/bin/opera"}, L"/opt/q", true), L"\"/usr/bin/opera\" \"%1\"");
  EXPECT_EQ(browser_command_line({"opera", "/usr/bin/opera"}, L"/opt/q", false), L"/usr/bin/opera");
}

// Writing registers each browser's App Paths and class command, the http
// command and the user's choice; writing again with fewer browsers drops
// the old ones; removing leaves nothing of ours, and twice is no error.
TEST_F(BrowserRegistration, WritesAndRemovesKeys) {
  const std::vector<FoundBrowser> found = {{"chromium", "/c/chromium"}, {"firefox", "/f/firefox"}, {"opera", "/o/opera"}};
  write_browser_keys(found, "firefox", L"/opt/q");
  EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"ChromeHTML\\shell\\open\\command"),
            L"\"/opt/q/QuorvaneBrowser\" chromium \"/c/chromium\" \"%1\"");
  EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"Opera.HTML\\shell\\open\\command"), L"\"/o/opera\" \"%1\"");
  EXPECT_EQ(value(HKEY_LOCAL_MACHINE, std::wstring(kAppPaths) + L"FIREFOX.EXE"),
            L"\"/opt/q/QuorvaneBrowser\" firefox \"/f/firefox\"");
  EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command"),
            L"\"/opt/q/QuorvaneBrowser\" firefox \"/f/firefox\" \"%1\"");
  EXPECT_EQ(value(HKEY_CURRENT_USER, kUserChoice, L"Progid"), L"FirefoxHTML");

  write_browser_keys({{"chromium", "/c/chromium"}}, "chromium", L"/opt/q");
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L"FirefoxHTML"));
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, std::wstring(kAppPaths) + L"OPERA.EXE"));
  EXPECT_EQ(value(HKEY_CURRENT_USER, kUserChoice, L"Progid"), L"ChromeHTML");

  unregister_browsers();
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L"ChromeHTML"));
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L"http"));
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kUserChoice));
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, std::wstring(kAppPaths) + L"CHROME.EXE"));
  EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths"));
  EXPECT_NO_THROW(unregister_browsers());
}

// Per user, the class and App Paths keys go below HKCU, where the merged
// classes view finds them; the machine's keys are not touched.
TEST_F(BrowserRegistration, PerUserKeys) {
  write_browser_keys({{"firefox", "/f/firefox"}}, "firefox", L"/opt/q", KeyScope::kUser);
  EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"FirefoxHTML\\shell\\open\\command"),
            L"\"/opt/q/QuorvaneBrowser\" firefox \"/f/firefox\" \"%1\"");
  EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, L"Software\\Classes\\http\\shell\\open\\command"));
  EXPECT_TRUE(key_exists(HKEY_CURRENT_USER, std::wstring(kAppPaths) + L"FIREFOX.EXE"));
  EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\FirefoxHTML"));
  unregister_browsers(KeyScope::kUser);
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L"FirefoxHTML"));
  EXPECT_FALSE(key_exists(HKEY_CURRENT_USER, kUserChoice));
}

// Someone else's http command and user choice, and keys beside ours, are
// left alone.
TEST_F(BrowserRegistration, LeavesOthersKeysAlone) {
  write_browser_keys({{"chromium", "/c/chromium"}}, "chromium", L"/opt/q");
  Reg::reg_set_string(Reg::reg_create_key(Reg::create_hkey_ptr(HKEY_CLASSES_ROOT), L"http\\shell\\open\\command",
                                          KEY_READ | KEY_WRITE),
                      L"", L"other \"%1\"");
  Reg::reg_create_key(Reg::create_hkey_ptr(HKEY_CLASSES_ROOT), L"ChromeHTML\\DefaultIcon", KEY_READ | KEY_WRITE);
  unregister_browsers();
  EXPECT_EQ(value(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command"), L"other \"%1\"");
  EXPECT_FALSE(key_exists(HKEY_CLASSES_ROOT, L"ChromeHTML\\shell"));
  EXPECT_TRUE(key_exists(HKEY_CLASSES_ROOT, L"ChromeHTML\\DefaultIcon"));
}

}  // namespace
