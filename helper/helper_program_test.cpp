// The QuorvaneHelper program with the real registration tool, runtime
// server and proxy server: what install and uninstall leave in the
// registry, the single-instance rule with its exit codes, read-me mode,
// and the guard stopping the proxy server after its runner was killed.
#include <sys/stat.h>

#include <chrono>
#include <fstream>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "helper/helper_exit_codes.h"
#include "platform/named_mutex.h"
#include "platform/process.h"
#include "platform/testing/registry_test_fixture.h"
#include "platform/text.h"
#include "test_support/wait_until.h"

namespace Tavrin::Helper {
namespace {

namespace fs = boost::filesystem;
namespace Process = Platform::Process;
using quorvane_test::ScopedEnv;
using quorvane_test::ScopedKey;
using std::chrono::milliseconds;

const std::string kBin = QUORVANE_BIN_DIR;
const std::string kHelper = kBin + "/QuorvaneHelper";
const std::wstring kRuntimeClass = L"CLSID\\{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}";
const std::wstring kProxyServerKey = L"CLSID\\{2B8434D6-39BA-49F9-99D9-E28064A86A5B}\\LocalServer32";

class HelperProgramTest : public quorvane_test::RegistryTest {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("run"));
    ::chmod(dir_.file("run").c_str(), 0700);
  }

  // Runs the helper with `arguments`; its exit code, or -1 when it has not
  // ended within `timeout` (it is killed then).
  int helper(std::vector<std::string> arguments, milliseconds timeout = milliseconds(60000),
             const std::string& program = kHelper) {
    Process::StartOptions options;
    options.arguments = {program};
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    Process::Child child = Process::start(options);
    const auto status = child.WaitFor(timeout);
    return status ? status->windows_code() : -1;
  }
  bool exists(HKEY root, const std::wstring& path) {
    ScopedKey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.out()) == ERROR_SUCCESS;
  }
  bool guard_mutex_held() {
    bool held = false;
    Platform::NamedMutex::Create(L"QuorvaneHelperGuard", &held);
    return held;
  }
  bool nothing_registered() { return !exists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes"); }
  // A shell script at `name` in the test's folder.
  std::string script(const std::string& name, const std::string& body) {
    const std::string path = dir_.file(name);
    quorvane_test::write_file(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
  }
  // Registers the proxy server through a wrapper that notes its process id
  // and starts it with a short start-up grace.
  void register_proxy_with_pid_file() {
    const std::string wrapper = script("proxy.sh", "echo $$ > '" + dir_.file("proxy.pid") + "'\nexec '" + kBin +
                                                       "/QuorvaneProxy' /StartupGrace:300 \"$@\"\n");
    set_text(HKEY_CLASSES_ROOT, kProxyServerKey.c_str(), L"", Platform::from_utf8(wrapper));
  }
  int proxy_pid() { return std::atoi(quorvane_test::read_file(dir_.file("proxy.pid")).c_str()); }
  // Starts the stand-in runner, which takes a hold on the proxy object.
  Process::Child start_runner() {
    Process::StartOptions options;
    options.arguments = {PROXY_TEST_CLIENT, "hold", dir_.file("held")};
    Process::Child runner = Process::start(options);
    EXPECT_TRUE(quorvane_test::wait_until([&] { return fs::exists(dir_.file("held")); }, milliseconds(20000)));
    return runner;
  }

  ScopedEnv data_{"XDG_DATA_HOME", dir_.file("data")};
  ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.file("run")};
};

// A fresh install registers the runtime class, both program ids, the type
// library, the proxy server and ".jsk"; uninstall removes them (".jsk"
// stays), and a second uninstall fails at the first key.
TEST_F(HelperProgramTest, InstallThenUninstallTwice) {
  ASSERT_EQ(kExitSuccess, helper({"/Install"}));
  const std::wstring bin = Platform::from_utf8(kBin);
  EXPECT_EQ(bin + L"/QuorvaneRuntime.so", text(HKEY_CLASSES_ROOT, (kRuntimeClass + L"\\InprocServer32").c_str(), L""));
  EXPECT_EQ(L"Velmora.Script.1", text(HKEY_CLASSES_ROOT, L"Velmora.Script\\CurVer", L""));
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, L"TypeLib\\{81C82C37-EDC3-4C64-A63D-D569167D27F8}\\1.0"));
  EXPECT_EQ(bin + L"/QuorvaneProxy", text(HKEY_CLASSES_ROOT, kProxyServerKey.c_str(), L""));
  EXPECT_EQ(L"TavrinTechnologies.Quorvane", text(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.jsk", L""));
  EXPECT_EQ(L"\"" + bin + L"/Quorvane\" \"%1\"",
            text(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\TavrinTechnologies.Quorvane\\shell\\open\\command", L""));
  if (fs::exists("/usr/bin/xdg-mime")) {
    EXPECT_TRUE(fs::exists(dir_.file("data/applications/tavrin-quorvane.desktop")));
  }

  ASSERT_EQ(kExitSuccess, helper({"/Uninstall"}));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, kRuntimeClass));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, L"Velmora.Script"));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, kProxyServerKey));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, L"TavrinTechnologies.Quorvane"));
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, L".jsk"));
  EXPECT_FALSE(fs::exists(dir_.file("data/applications/tavrin-quorvane.desktop")));
  EXPECT_EQ(kExitRegistrationFailed, helper({"/Uninstall"}));
}

// Without xdg-utils on the PATH the desktop step is skipped quietly.
TEST_F(HelperProgramTest, InstallWithoutXdgUtils) {
  fs::create_directories(dir_.file("empty"));
  ScopedEnv path("PATH", dir_.file("empty"));
  ASSERT_EQ(kExitSuccess, helper({"/Install"}));
  EXPECT_TRUE(exists(HKEY_CLASSES_ROOT, kRuntimeClass));
  EXPECT_FALSE(fs::exists(dir_.file("data/applications")));
}

// Install registers the browsers found on the PATH, started through the
// launcher beside the helper, with the default browser; uninstall removes
// their keys.
TEST_F(HelperProgramTest, InstallRegistersTheBrowsers) {
  fs::create_directories(dir_.file("browsers"));
  const std::string firefox = script("browsers/firefox", "exit 0\n");
  ScopedEnv path("PATH", dir_.file("browsers"));
  ASSERT_EQ(kExitSuccess, helper({"/Install"}));
  const std::wstring command =
      L"\"" + Platform::from_utf8(kBin) + L"/QuorvaneBrowser\" firefox \"" + Platform::from_utf8(firefox) + L"\" \"%1\"";
  EXPECT_EQ(command, text(HKEY_CLASSES_ROOT, L"FirefoxHTML\\shell\\open\\command", L""));
  EXPECT_EQ(L"FirefoxHTML",
            text(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
                 L"Progid"));
  ASSERT_EQ(kExitSuccess, helper({"/Uninstall"}));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, L"FirefoxHTML"));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, L"http"));
}

// A registration child that fails makes install fail with 1 and stops it
// before the file type.
TEST_F(HelperProgramTest, FailingRegistrationFailsInstall) {
  const std::string blocker = dir_.file("blocker");
  quorvane_test::write_file(blocker, "");
  // A machine hive below a file can be written neither by the helper nor
  // by its children; the helper then registers per user, and the user
  // hive is made unwritable the same way.
  ScopedEnv machine("QUORVANE_MACHINE_DIR", blocker + "/machine");
  ScopedEnv user("XDG_CONFIG_HOME", blocker + "/config");
  EXPECT_EQ(kExitRegistrationFailed, helper({"/Install"}));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, L".jsk"));
}

// A helper whose directory holds no regsvr32, with none on the PATH,
// exits with the errno of the failed start (ENOENT) and registers nothing.
TEST_F(HelperProgramTest, RegistrationToolThatCannotStartGivesErrno) {
  fs::create_directories(dir_.file("alone"));
  fs::copy_file(kHelper, dir_.file("alone/QuorvaneHelper"));
  fs::create_directories(dir_.file("empty"));
  ScopedEnv path("PATH", dir_.file("empty"));
  ScopedEnv libraries("LD_LIBRARY_PATH", kBin);
  EXPECT_EQ(ENOENT, helper({"/Install"}, milliseconds(60000), dir_.file("alone/QuorvaneHelper")));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, kRuntimeClass));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, L".jsk"));
}

// An unprivileged user (machine hive not writable) gets everything
// registered in the user's classes.
TEST_F(HelperProgramTest, UnwritableMachineHiveInstallsPerUser) {
  const std::string blocker = dir_.file("blocker");
  quorvane_test::write_file(blocker, "");
  ScopedEnv machine("QUORVANE_MACHINE_DIR", blocker + "/machine");
  ASSERT_EQ(kExitSuccess, helper({"/Install"}));
  const std::wstring classes = L"Software\\Classes\\";
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, classes + kRuntimeClass + L"\\InprocServer32"));
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, classes + L"TypeLib\\{81C82C37-EDC3-4C64-A63D-D569167D27F8}"));
  EXPECT_TRUE(exists(HKEY_CURRENT_USER, classes + kProxyServerKey));
  EXPECT_EQ(L"TavrinTechnologies.Quorvane", text(HKEY_CURRENT_USER, (classes + L".jsk").c_str(), L""));
  ASSERT_EQ(kExitSuccess, helper({"/Uninstall"}));
  EXPECT_FALSE(exists(HKEY_CURRENT_USER, classes + kRuntimeClass));
}

// While another instance holds the mutex, install and uninstall do nothing
// and say so with their own exit code; read-me and guard mode end with 0.
TEST_F(HelperProgramTest, AnotherInstanceBlocksEveryMode) {
  bool held = false;
  Platform::NamedMutex mutex = Platform::NamedMutex::Create(L"QuorvaneHelperGuard", &held);
  ASSERT_FALSE(held);
  EXPECT_EQ(kExitAnotherInstance, helper({"/Install"}));
  EXPECT_EQ(kExitAnotherInstance, helper({"/Uninstall"}));
  EXPECT_EQ(kExitSuccess, helper({"/Readme"}, milliseconds(10000)));
  EXPECT_EQ(kExitSuccess, helper({}, milliseconds(10000)));
  EXPECT_TRUE(nothing_registered());
  EXPECT_FALSE(fs::exists(dir_.file("data/applications")));
}

// " /Readme" together with " /Install" opens the installed read-me with
// xdg-open and registers nothing.
TEST_F(HelperProgramTest, ReadmeWinsOverInstall) {
  fs::create_directories(dir_.file("bin"));
  script("bin/xdg-open", "echo \"$@\" > '" + dir_.file("opened") + "'\n");
  ScopedEnv path("PATH", dir_.file("bin"));
  EXPECT_EQ(kExitSuccess, helper({"/Install", "/Readme"}));
  ASSERT_TRUE(quorvane_test::wait_until([&] { return !quorvane_test::read_file(dir_.file("opened")).empty(); },
                                        milliseconds(10000)));
  EXPECT_EQ(kBin + "/README.md\n", quorvane_test::read_file(dir_.file("opened")));
  EXPECT_TRUE(fs::exists(kBin + "/README.md"));
  EXPECT_TRUE(nothing_registered());
}

// "/Install" glued to the program's path is no install: the program
// guards, finds no proxy server registered and ends quietly.
TEST_F(HelperProgramTest, InstallGluedToPathGuards) {
  fs::create_directories(dir_.file("link"));
  fs::create_symlink(kHelper, dir_.file("link/Install"));
  EXPECT_EQ(kExitSuccess, helper({}, milliseconds(20000), dir_.file("link/Install")));
  EXPECT_TRUE(nothing_registered());
}

// The runner is killed with SIGKILL during its run: its hold on the proxy
// ends, the guard sees the proxy idle, stops it and lets it go, and the
// proxy server process ends. While the guard runs, a second guard ends at
// once and an install does nothing.
TEST_F(HelperProgramTest, GuardStopsProxyAfterRunnerIsKilled) {
  register_proxy_with_pid_file();
  Process::Child runner = start_runner();
  const int proxy = proxy_pid();
  ASSERT_GT(proxy, 0);
  Process::StartOptions options;
  options.arguments = {kHelper};
  Process::Child guard = Process::start(options);
  ASSERT_TRUE(quorvane_test::wait_until([&] { return guard_mutex_held(); }, milliseconds(10000)));

  EXPECT_EQ(kExitSuccess, helper({}, milliseconds(10000)));
  EXPECT_EQ(kExitAnotherInstance, helper({"/Install"}, milliseconds(10000)));
  EXPECT_FALSE(exists(HKEY_CLASSES_ROOT, L".jsk"));
  EXPECT_TRUE(Process::process_exists(proxy));

  runner.Kill();
  const auto ended = guard.WaitFor(milliseconds(60000));
  ASSERT_TRUE(ended.has_value()) << "the guard did not end";
  EXPECT_EQ(0, ended->windows_code());
  EXPECT_TRUE(quorvane_test::wait_until([&] { return !Process::process_exists(proxy); }, milliseconds(30000)))
      << "the proxy server still runs";
  EXPECT_FALSE(guard_mutex_held());
}

// A guard killed with SIGKILL leaves the mutex free for the next instance.
TEST_F(HelperProgramTest, MutexIsFreeAfterGuardIsKilled) {
  register_proxy_with_pid_file();
  Process::Child runner = start_runner();
  Process::StartOptions options;
  options.arguments = {kHelper};
  Process::Child guard = Process::start(options);
  ASSERT_TRUE(quorvane_test::wait_until([&] { return guard_mutex_held(); }, milliseconds(10000)));
  guard.Kill();
  EXPECT_FALSE(guard_mutex_held());
  runner.Kill();
  EXPECT_TRUE(quorvane_test::wait_until([&] { return !Process::process_exists(proxy_pid()); }, milliseconds(30000)));
}

}  // namespace
}  // namespace Tavrin::Helper
