// The browser environment checks: the default browser's command from the
// registry, the trigger, and the judgement of Firefox profiles.
#include "runner/browser_env.h"

#include <boost/filesystem.hpp>
#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "common/registry.h"
#include "platform/os_version.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Runner {
namespace {

namespace fs = boost::filesystem;
namespace Registry = Windows::Registry;

void set_string(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value) {
  auto key = Registry::reg_create_key(Registry::create_hkey_ptr(root), path, KEY_ALL_ACCESS);
  Registry::reg_set_string(key, name, value);
}

void remove_key(HKEY root, const std::wstring& path) {
  // Deletes the key and then its parents as far as they are left empty;
  // failures (key missing, other subkeys) end the walk.
  std::wstring p = path;
  while (!p.empty()) {
    try {
      Registry::reg_delete_key(Registry::create_hkey_ptr(root), p);
    } catch (...) {
      return;
    }
    const auto cut = p.rfind(L'\\');
    if (cut == std::wstring::npos) return;
    p.erase(cut);
  }
}

const wchar_t kUserChoice[] =
    L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";

class DefaultBrowserTest : public ::testing::Test {
 protected:
  void TearDown() override {
    Platform::set_reported_os_version(10, 0);
    remove_key(HKEY_CURRENT_USER, kUserChoice);
    remove_key(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command");
    remove_key(HKEY_CLASSES_ROOT, L"FirefoxURL\\shell\\open\\command");
  }
};

// The user's choice names a class; its open command is returned as stored,
// quotes and arguments included.
TEST_F(DefaultBrowserTest, UserChoiceWinsOverTheClassicAssociation) {
  set_string(HKEY_CURRENT_USER, kUserChoice, L"Progid", L"FirefoxURL");
  set_string(HKEY_CLASSES_ROOT, L"FirefoxURL\\shell\\open\\command", L"",
             L"\"/usr/lib/firefox-esr/firefox-esr\" -osint -url \"%1\"");
  set_string(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", L"", L"classic %1");
  EXPECT_EQ(DefaultBrowserCommand(), L"\"/usr/lib/firefox-esr/firefox-esr\" -osint -url \"%1\"");
}

// A user choice naming a class without a command falls back.
TEST_F(DefaultBrowserTest, BrokenUserChoiceFallsBackToClassic) {
  set_string(HKEY_CURRENT_USER, kUserChoice, L"Progid", L"NoSuchClass");
  set_string(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", L"", L"classic %1");
  EXPECT_EQ(DefaultBrowserCommand(), L"classic %1");
}

// Before Windows 6.0 the user's choice is not looked at.
TEST_F(DefaultBrowserTest, OlderSystemsReadOnlyTheClassicAssociation) {
  set_string(HKEY_CURRENT_USER, kUserChoice, L"Progid", L"FirefoxURL");
  set_string(HKEY_CLASSES_ROOT, L"FirefoxURL\\shell\\open\\command", L"", L"firefox %1");
  set_string(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", L"", L"classic %1");
  Platform::set_reported_os_version(5, 1);
  EXPECT_EQ(DefaultBrowserCommand(), L"classic %1");
}

// Without any association the classic lookup's failure (key missing, 2)
// is raised.
TEST_F(DefaultBrowserTest, NoAssociationAtAllFails) {
  try {
    DefaultBrowserCommand();
    FAIL() << "expected a failure";
  } catch (const boost::system::error_code& e) {
    EXPECT_EQ(e.value(), 2);
  }
}

// Commands whose program is Firefox, and commands whose program is not.
TEST(FirefoxTrigger, ProgramsThatAreFirefoxAndThatAreNot) {
  for (const wchar_t* command : {L"\"C:\\Program Files\\Mozilla Firefox\\firefox.exe\" -url \"%1\"",
                                 L"\"C:\\PROGRAM FILES\\MOZILLA FIREFOX\\FIREFOX.EXE\" %1", L"\"/usr/bin/firefox\" %u",
                                 L"\"/usr/lib/firefox-esr/firefox-esr\" -url \"%1\"", L"/usr/bin/firefox-esr %u",
                                 L"firefox"})
    EXPECT_TRUE(IsFirefoxCommand(command)) << command;
  for (const wchar_t* command : {L"\"/usr/bin/chromium\" \"%1\"", L"\"/usr/bin/chromium\" --app=firefox",
                                 L"/usr/bin/firefox-launcher %u", L"\"\"", L""})
    EXPECT_FALSE(IsFirefoxCommand(command)) << command;
}

TEST(FirefoxTrigger, BrowserNamesAreExact) {
  EXPECT_TRUE(NeedsFirefoxCheck(L"firefox", L""));
  EXPECT_FALSE(NeedsFirefoxCheck(L"Firefox", L"\"/usr/bin/firefox\""));
  EXPECT_TRUE(NeedsFirefoxCheck(L"default", L"\"/usr/bin/firefox\" %1"));
  EXPECT_FALSE(NeedsFirefoxCheck(L"default", L"\"/usr/bin/chromium\" %1"));
  EXPECT_FALSE(NeedsFirefoxCheck(L"Default", L"\"/usr/bin/firefox\" %1"));
  EXPECT_FALSE(NeedsFirefoxCheck(L"chrome", L"\"/usr/bin/firefox\" %1"));
}

std::string prefs(const std::string& version, const std::string& proxy_line = "") {
  std::string text = "// Mozilla User Preferences\n\nuser_pref(\"browser.startup.homepage\", \"about:blank\");\n";
  if (!version.empty()) text += "user_pref(\"extensions.lastAppVersion\", \"" + version + "\");\n";
  text += proxy_line;
  text += "user_pref(\"zz.last\", true);\n";
  return text;
}

const std::string kType1 = "user_pref(\"network.proxy.type\", 1);\n";
const std::string kType5 = "user_pref(\"network.proxy.type\", 5);\n";

// Each version with its proxy setting (none, 1 or 5) and the finding.
struct PrefsCase {
  const char* version;
  const std::string* proxy_line;  // null: none
  ProfileFinding finding;
};

void expect_findings(std::initializer_list<PrefsCase> cases) {
  for (const PrefsCase& c : cases)
    EXPECT_EQ(EvaluateFirefoxPrefs(c.proxy_line ? prefs(c.version, *c.proxy_line) : prefs(c.version)), c.finding)
        << c.version << " " << (c.proxy_line ? *c.proxy_line : "no proxy type");
}

TEST(FirefoxPrefs, NewerKindTakesTheSystemSettingsByDefault) {
  expect_findings({{"3.6.13", nullptr, ProfileFinding::kInOrder},
                   {"3.6.13", &kType1, ProfileFinding::kNotInOrder},
                   {"3.6.4", nullptr, ProfileFinding::kInOrder},
                   {"3.6.13", &kType5, ProfileFinding::kInOrder}});
  // Versions compare number by number in order: everything since 4.0 is
  // of the newer kind, though some of its components are below 3.6.4's.
  expect_findings({{"4.0.1", nullptr, ProfileFinding::kInOrder},
                   {"153.8.0", nullptr, ProfileFinding::kInOrder},
                   {"115.3.1esr", nullptr, ProfileFinding::kInOrder},
                   {"128.5.0esr", &kType1, ProfileFinding::kNotInOrder}});
}

TEST(FirefoxPrefs, OlderKindNeedsAnExplicitSystemSetting) {
  expect_findings({{"3.5.9", nullptr, ProfileFinding::kNotInOrder},
                   {"3.5.9", &kType5, ProfileFinding::kInOrder},
                   {"3.6.3", nullptr, ProfileFinding::kNotInOrder},
                   {"2.0.0", &kType1, ProfileFinding::kNotInOrder}});
}

TEST(FirefoxPrefs, VersionsThatGiveNoFinding) {
  EXPECT_EQ(EvaluateFirefoxPrefs(prefs("4.0")), ProfileFinding::kNone);
  EXPECT_EQ(EvaluateFirefoxPrefs(prefs("4.0b7", kType1)), ProfileFinding::kNone);
  EXPECT_EQ(EvaluateFirefoxPrefs(prefs("1.2.3.4", kType1)), ProfileFinding::kNone);
  EXPECT_EQ(EvaluateFirefoxPrefs(prefs("a.b.c", kType1)), ProfileFinding::kNone);
  EXPECT_EQ(EvaluateFirefoxPrefs(prefs("", kType1)), ProfileFinding::kNone);
  EXPECT_EQ(EvaluateFirefoxPrefs(""), ProfileFinding::kNone);
}

// The patterns need the line's start: a preference quoted inside another
// line, or a commented-out line, does not count.
TEST(FirefoxPrefs, OnlyWholeLinesCount) {
  const std::string text = "user_pref(\"extensions.lastAppVersion\", \"3.6.13\");\r\n"
                           "// user_pref(\"network.proxy.type\", 1);\r\n";
  EXPECT_EQ(EvaluateFirefoxPrefs(text), ProfileFinding::kInOrder);
  EXPECT_EQ(EvaluateFirefoxPrefs(text + "user_pref(\"network.proxy.type\", 1);\r\n"), ProfileFinding::kNotInOrder);
  EXPECT_EQ(EvaluateFirefoxPrefs(prefs("3.6.13", "user_pref(\"network.proxy.type\",5);\n")),
            ProfileFinding::kInOrder);
}

// A proxy type that is not a number is a setting that is not the system's.
TEST(FirefoxPrefs, UnreadableProxyTypeIsReported) {
  EXPECT_EQ(EvaluateFirefoxPrefs(prefs("3.6.13", "user_pref(\"network.proxy.type\", \"five\");\n")),
            ProfileFinding::kNotInOrder);
  EXPECT_EQ(EvaluateFirefoxPrefs(prefs("3.6.13", "user_pref(\"network.proxy.type\", );\n")),
            ProfileFinding::kInOrder);
}

class FirefoxProfilesTest : public ::testing::Test {
 protected:
  fs::path Profile(const std::string& name, std::time_t written, const std::string& prefs_text) {
    const fs::path dir = fs::path(root_.path()) / "firefox" / name;
    fs::create_directories(dir);
    if (!prefs_text.empty()) quorvane_test::write_file((dir / "prefs.js").string(), prefs_text);
    fs::last_write_time(dir, written);
    return dir;
  }
  fs::path profiles() const { return fs::path(root_.path()) / "firefox"; }

  quorvane_test::TempDir root_;
};

// Of two qualifying profiles only the one written last is examined.
TEST_F(FirefoxProfilesTest, NewestQualifyingProfileIsExamined) {
  Profile("abcd1234.default-release", 1000000, prefs("115.0.1", kType1));
  const fs::path newer = Profile("wxyz9876.default-esr", 2000000, prefs("115.0.1"));
  Profile("not-a-profile-name-at-all", 3000000, prefs("115.0.1", kType1));
  EXPECT_EQ(NewestFirefoxProfile(profiles()), newer);
  EXPECT_EQ(CheckFirefoxProfiles(profiles()), ProfileFinding::kInOrder);

  Profile("abcd1234.default-release", 4000000, prefs("115.0.1", kType1));
  EXPECT_EQ(CheckFirefoxProfiles(profiles()), ProfileFinding::kNotInOrder);
}

TEST_F(FirefoxProfilesTest, QualifyingNames) {
  const fs::path sixteen = Profile("0123456789abcdef", 1000000, prefs("3.5.9"));
  EXPECT_EQ(NewestFirefoxProfile(profiles()), sixteen);
  const fs::path old_style = Profile("x1y2z3.DEFAULT", 2000000, prefs("3.5.9"));
  EXPECT_EQ(NewestFirefoxProfile(profiles()), old_style);
  // A file of a qualifying name is not a profile.
  quorvane_test::write_file((profiles() / "fedcba9876543210").string(), "x");
  fs::last_write_time(profiles() / "fedcba9876543210", 3000000);
  EXPECT_EQ(NewestFirefoxProfile(profiles()), old_style);
}

TEST_F(FirefoxProfilesTest, NothingToJudge) {
  // The folder is made when missing; it holds no profile.
  EXPECT_EQ(CheckFirefoxProfiles(profiles()), ProfileFinding::kNone);
  EXPECT_TRUE(fs::is_directory(profiles()));
  // A profile without prefs.js.
  Profile("abcd1234.default-release", 1000000, "");
  EXPECT_EQ(CheckFirefoxProfiles(profiles()), ProfileFinding::kNone);
}

// The user's profiles lie below the home folder; without one there is no
// folder to look in.
TEST_F(FirefoxProfilesTest, ProfilesFolderBelowTheHomeFolder) {
  {
    quorvane_test::ScopedEnv home("HOME", root_.path() + "/");
    EXPECT_EQ(FirefoxProfilesFolder(), fs::path(root_.path()) / ".mozilla/firefox");
  }
  quorvane_test::ScopedEnv no_home("HOME", "relative/home");
  EXPECT_THROW(FirefoxProfilesFolder(), boost::system::system_error);
}

// A file in the way of the profiles folder is a file-system failure.
TEST_F(FirefoxProfilesTest, FolderThatCannotBeMadeFails) {
  quorvane_test::write_file(root_.file("blocked"), "x");
  EXPECT_THROW(CheckFirefoxProfiles(fs::path(root_.path()) / "blocked" / "firefox"), fs::filesystem_error);
}

}  // namespace
}  // namespace Tavrin::Runner
