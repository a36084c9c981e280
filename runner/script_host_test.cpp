// The script host against stand-ins of its three objects: what it tells the
// engine and the runtime object, in which order, how it wraps and runs the
// test script, and how failures reach the console line.
#include "runner/script_host.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "common/directories.h"
#include "common/registry.h"
#include "common/resource_file.h"
#include "platform/com/apartment.h"
#include "platform/process.h"
#include "platform/text.h"
#include "runner/browser_env.h"
#include "runner/startup.h"
#include "runner/testing/fake_script_objects.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Runner {
namespace {

namespace fs = boost::filesystem;
namespace Process = Platform::Process;
using Testing::fake_state;

// Records the detached starts instead of starting anything.
class GuardRecorder final : public Process::ProcessStarter {
 public:
  Process::Child Start(const Process::StartOptions&) override {
    ADD_FAILURE() << "the host waits for no child";
    return Process::Child::Ended(Process::ExitStatus{true, 0, 0});
  }
  int StartDetached(const Process::StartOptions& options) override {
    starts.push_back(options);
    return 4242;
  }
  std::vector<Process::StartOptions> starts;
};

class ScriptHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Testing::install_fake_script_objects();
    Process::set_process_starter(&guard_);
    Set(L"resource", L"missing.dat");
    Set(L"file", L"/t/login.js");
    Set(L"server", L"example.org");
    Set(L"port", L"8080", ParameterType::Integer);
    Set(L"browser", L"chromium");
    Set(L"suite", L"0", ParameterType::Integer);
    Set(L"log", L"login_20110128T081518.log");
  }
  void TearDown() override {
    Process::set_process_starter(nullptr);
    host_.reset();
    CoUninitialize();
  }
  void Set(const std::wstring& id, const std::wstring& value, ParameterType type = ParameterType::String) {
    config_->InsertParameter(L"common", id, {value, type});
  }
  // The journal from entry `from` on.
  std::vector<std::wstring> Journal(std::size_t from = 0) const {
    const auto& all = fake_state().journal;
    return std::vector<std::wstring>(all.begin() + std::min(from, all.size()), all.end());
  }
  // A resource package in a temporary folder, named relative to the
  // starting directory, as the configuration names it. Built the way the
  // packaging tool builds it: each file added from disk, then serialised.
  void UsePackage(const std::vector<std::pair<std::string, std::string>>& files) {
    ScriptInjector package;
    for (const auto& [name, data] : files) {
      quorvane_test::write_file(dir_.file(name), data);
      package.AddFile({name, dir_.file(name)}, false, File::MIMEType(0));
    }
    const fs::path previous = fs::current_path();
    fs::current_path(dir_.path());
    package.Serialize();
    fs::current_path(previous);
    const fs::path relative =
        fs::relative(fs::path(dir_.file("Resource.dat")), fs::path(Windows::Filesystem::get_starting_dir_w()));
    Set(L"resource", relative.wstring());
  }

  quorvane_test::TempDir dir_;
  GuardRecorder guard_;
  std::shared_ptr<Configuration> config_ = std::make_shared<Configuration>();
  std::shared_ptr<ScriptControl> host_ = std::make_shared<ScriptControl>(nullptr);
};

// Init configures the engine, then hands the seven run parameters over in
// their order, and starts the guard detached with its output discarded.
TEST_F(ScriptHostTest, InitConfiguresTheEngineAndHandsOverTheParameters) {
  host_->Init(config_);
  const std::vector<std::wstring> expected = {
      L"Language=JScript",
      L"AllowUI=-1",
      L"AddObject Quorvane members=0",
      L"Timeout=3600000",
      L"PutParameter file=/t/login.js",
      L"PutParameter server=example.org",
      L"PutParameter port=8080",
      L"PutParameter browser=chromium",
      L"PutParameter suite=0",
      L"PutParameter log=login_20110128T081518.log",
      L"PutParameter default_browser=",
  };
  EXPECT_EQ(Journal(), expected);
  ASSERT_EQ(guard_.starts.size(), 1u);
  const std::string starting_dir = Platform::to_utf8(Windows::Filesystem::get_starting_dir_w());
  EXPECT_EQ(guard_.starts[0].arguments, std::vector<std::string>{starting_dir + "/QuorvaneHelper"});
  EXPECT_EQ(guard_.starts[0].output, Process::StartOptions::Output::kDiscard);
}

// The objects are checked in creation order; nothing is started before.
TEST_F(ScriptHostTest, ObjectsThatCannotBeCreated) {
  struct Case {
    bool available[3];
    const char* message;
  };
  const Case cases[] = {{{false, false, false}, "Unable to create COM object ScriptControl"},
                        {{true, false, false}, "Unable to create COM object Quorvane"},
                        {{true, true, false}, "Unable to create COM object Proxy"}};
  for (const Case& c : cases) {
    fake_state().engine_available = c.available[0];
    fake_state().runtime_available = c.available[1];
    fake_state().proxy_available = c.available[2];
    ScriptControl host(nullptr);
    try {
      host.Init(config_);
      ADD_FAILURE() << "expected " << c.message;
    } catch (const ScriptControl::ScriptControlError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_TRUE(guard_.starts.empty());
}

// A guard that cannot start is a system error, before anything is
// configured.
TEST_F(ScriptHostTest, GuardThatCannotStart) {
  Process::set_process_starter(nullptr);
  // The test programs' folder holds no QuorvaneHelper.
  ASSERT_FALSE(fs::exists(fs::path(Windows::Filesystem::get_starting_dir_w()) / "QuorvaneHelper"));
  EXPECT_THROW(host_->Init(config_), boost::system::system_error);
  EXPECT_TRUE(Journal().empty());
}

TEST_F(ScriptHostTest, MissingParameterIsAConfigurationError) {
  config_ = std::make_shared<Configuration>();
  Set(L"resource", L"missing.dat");
  Set(L"file", L"/t/login.js");
  Set(L"server", L"example.org");
  EXPECT_THROW(host_->Init(config_), Configuration::ConfigurationError);
}

// A Firefox profile that does not take the system's proxy settings is
// reported through LogNode, after the parameters; the run goes on.
TEST_F(ScriptHostTest, FirefoxProfileReportedThroughTheRuntimeObject) {
  const fs::path profile = fs::path(std::getenv("HOME")) / ".mozilla/firefox/abcd1234.default-release";
  fs::create_directories(profile);
  quorvane_test::write_file((profile / "prefs.js").string(),
                            "user_pref(\"extensions.lastAppVersion\", \"115.3.1esr\");\n"
                            "user_pref(\"network.proxy.type\", 1);\n");
  Set(L"browser", L"firefox");
  host_->Init(config_);
  EXPECT_EQ(Journal().back(), std::wstring(L"LogNode |error|browser|") + kFirefoxConfigurationError);

  // In order: no event.
  quorvane_test::write_file((profile / "prefs.js").string(),
                            "user_pref(\"extensions.lastAppVersion\", \"115.3.1esr\");\n");
  fake_state().journal.clear();
  ScriptControl again(nullptr);
  again.Init(config_);
  EXPECT_EQ(Journal().back(), L"PutParameter default_browser=");
  fs::remove_all(profile.parent_path().parent_path());
}

// With browser "default" the registry's command decides, and the runtime
// object gets that command exactly as stored.
TEST_F(ScriptHostTest, DefaultBrowserCommandHandedOverAsStored) {
  const std::wstring command = L"\"/usr/lib/firefox-esr/firefox-esr\" -url \"%1\"";
  {
    auto key = Windows::Registry::reg_create_key(Windows::Registry::create_hkey_ptr(HKEY_CLASSES_ROOT),
                                                 L"http\\shell\\open\\command", KEY_ALL_ACCESS);
    Windows::Registry::reg_set_string(key, L"", command);
  }
  const fs::path profile = fs::path(std::getenv("HOME")) / ".mozilla/firefox/abcd1234.default-esr";
  fs::create_directories(profile);
  quorvane_test::write_file((profile / "prefs.js").string(),
                            "user_pref(\"extensions.lastAppVersion\", \"3.5.9\");\n");
  Set(L"browser", L"default");
  host_->Init(config_);
  const std::vector<std::wstring> journal = Journal();
  ASSERT_GE(journal.size(), 2u);
  EXPECT_EQ(journal[journal.size() - 2], L"PutParameter default_browser=" + command);
  EXPECT_EQ(journal.back(), std::wstring(L"LogNode |error|browser|") + kFirefoxConfigurationError);
  Windows::Registry::reg_delete_key(Windows::Registry::create_hkey_ptr(HKEY_CLASSES_ROOT),
                                    L"http\\shell\\open\\command");
  fs::remove_all(profile.parent_path().parent_path());
}

// api.js, then host.js, each up to its first zero byte; UTF-8 decoded.
TEST_F(ScriptHostTest, SupportScriptsFromThePackage) {
  UsePackage({{"host.js", std::string("var host = 'h\xC3\xA9';") + std::string(1, '\0') + "ignored"},
              {"api.js", "var api = 1;"}});
  host_->Init(config_);
  const std::size_t before = fake_state().journal.size();
  host_->LoadSupportScripts();
  EXPECT_EQ(Journal(before), (std::vector<std::wstring>{L"AddCode var api = 1;", L"AddCode var host = 'h\u00E9';"}));
}

// A support script missing from the package adds empty code.
TEST_F(ScriptHostTest, MissingPackageAddsEmptyCode) {
  host_->Init(config_);
  const std::size_t before = fake_state().journal.size();
  host_->LoadSupportScripts();
  EXPECT_EQ(Journal(before), (std::vector<std::wstring>{L"AddCode ", L"AddCode "}));
}

// The script becomes the body of quorvaneRun, its byte-order mark and its
// characters outside the Basic Multilingual Plane kept; the result is the
// run's integer.
TEST_F(ScriptHostTest, RunFileWrapsAndRunsTheScript) {
  const std::string path = dir_.file("t.js");
  quorvane_test::write_file(path, "\xEF\xBB\xBFQuorvane.Echo('\xF0\x9F\x98\x80');\nreturn 5;");
  host_->Init(config_);
  const std::size_t before = fake_state().journal.size();
  fake_state().run_result = Platform::Com::Variant(5);
  EXPECT_EQ(host_->RunFile(Platform::from_utf8(path)), 5);
  EXPECT_EQ(Journal(before), (std::vector<std::wstring>{
                                 L"scriptFullName=" + Platform::from_utf8(path),
                                 L"AddCode function quorvaneRun() { \uFEFFQuorvane.Echo('\U0001F600');\n"
                                 L"return 5;\nreturn quorvaneFinal() }\n",
                                 L"Run quorvaneRun args=0 from 0",
                             }));
}

// A result that is not an integer goes through the automation conversion.
TEST_F(ScriptHostTest, ResultConversion) {
  const std::string path = dir_.file("t.js");
  quorvane_test::write_file(path, "x");
  host_->Init(config_);
  fake_state().run_result = Platform::Com::Variant(L"300");
  EXPECT_EQ(host_->RunFile(Platform::from_utf8(path)), 300);
  fake_state().run_result = Platform::Com::Variant(2.0);
  EXPECT_EQ(host_->RunFile(Platform::from_utf8(path)), 2);
  fake_state().run_result = Platform::Com::Variant(L"many");
  try {
    host_->RunFile(Platform::from_utf8(path));
    ADD_FAILURE() << "a text result is no integer";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Error(), DISP_E_TYPEMISMATCH);
  }
}

TEST_F(ScriptHostTest, MissingOrEmptyScriptCannotBeLoaded) {
  host_->Init(config_);
  quorvane_test::write_file(dir_.file("empty.js"), "");
  for (const std::string& path : {dir_.file("empty.js"), dir_.file("missing.js")}) {
    try {
      host_->RunFile(Platform::from_utf8(path));
      ADD_FAILURE() << path;
    } catch (const ScriptControl::ScriptControlError& e) {
      EXPECT_STREQ(e.what(), "Unable to load file");
    }
  }
}

// A script error reads as the engine's error object has it; a failure that
// the engine did not record reads as a COM error.
TEST_F(ScriptHostTest, FailureTextFromTheScriptError) {
  const std::string path = dir_.file("t.js");
  quorvane_test::write_file(path, "undefinedFunction();");
  host_->Init(config_);
  // The engine may hand the code over as its unsigned bits.
  fake_state().fail_number = 0x800A138F;
  fake_state().fail_code_marker = L"undefinedFunction";
  fake_state().fail_description = L"'undefinedFunction' is undefined";
  fake_state().fail_text = L"undefinedFunction();";
  fake_state().fail_line = 1;
  fake_state().fail_column = 25;
  try {
    host_->RunFile(Platform::from_utf8(path));
    FAIL() << "expected a script error";
  } catch (const _com_error& e) {
    EXPECT_EQ(e.Description(), L"'undefinedFunction' is undefined");
    EXPECT_EQ(FailureText(e, host_),
              L"script error (line 1, char 25) 'undefinedFunction' is undefined undefinedFunction(); "
              L"(-2146823281)");
  }
}

TEST_F(ScriptHostTest, FailureTextWithoutAScriptError) {
  const _com_error failure(E_FAIL);
  EXPECT_EQ(FailureText(failure, nullptr), L"COM error (80004005)");
  EXPECT_EQ(FailureText(failure, host_), L"COM error (80004005)");  // no engine yet
  host_->Init(config_);
  EXPECT_EQ(FailureText(failure, host_), L"COM error (80004005)");  // engine without error
}

TEST(ExitStatus, ResultsOutsideTheByteRangeReadAsFailure) {
  EXPECT_EQ(ExitStatus(0), 0);
  EXPECT_EQ(ExitStatus(5), 5);
  EXPECT_EQ(ExitStatus(255), 255);
  EXPECT_EQ(ExitStatus(256), 255);
  EXPECT_EQ(ExitStatus(300), 255);
  EXPECT_EQ(ExitStatus(-1), 255);
  EXPECT_EQ(ExitStatus(-2147483647 - 1), 255);
}

}  // namespace
}  // namespace Tavrin::Runner
