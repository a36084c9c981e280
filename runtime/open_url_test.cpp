// OpenURL as scripts call it: the browser started detached with the URL as
// one argument, its results and descriptions for each kind of failure, and
// the rule that a run's browsers end with it unless the configuration keeps
// them open.
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <fstream>

#include "browser/browser_registration.h"
#include "browser/testing/recording_proxy.h"
#include "platform/com/com.h"
#include "platform/com/testing/class_registration.h"
#include "platform/display_on_demand.h"
#include "platform/process.h"
#include "platform/process_watch.h"
#include "platform/text.h"
#include "runtime/testing/private_copy.h"
#include "runtime/testing/stand_in_browsers.h"
#include "runtime/velmora_script.h"
#include "test_support/temp_dir.h"

namespace {

using namespace Tavrin::Platform::Com;
using namespace Tavrin::Platform::Com::Testing;
using Tavrin::Runtime::Testing::ConsoleCapture;
using Tavrin::Runtime::Testing::InPrivateCopy;
using Tavrin::Runtime::Testing::quoted;
using Tavrin::Runtime::Testing::StandInBrowsers;

std::string config(bool keep_open) {
  return "<config>\n"
         "  <section id=\"runtime\">\n"
         "    <parameter id=\"console_log_level\" type=\"string\"><value>error</value></parameter>\n"
         "    <parameter id=\"keep_browsers_open\" type=\"boolean\"><value>" +
         std::string(keep_open ? "1" : "0") +
         "</value></parameter>\n"
         "  </section>\n"
         "  <section id=\"proxy\">\n"
         "    <parameter id=\"port\" type=\"integer\"><value>8123</value></parameter>\n"
         "  </section>\n"
         "</config>\n";
}

class OpenUrl : public ::testing::Test {
 protected:
  void TearDown() override {
    object_ = nullptr;
    capture_.reset();
    if (initialised_) CoUninitialize();
  }

  void Create() {
    browsers_ = std::make_unique<StandInBrowsers>();
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    initialised_ = true;
    register_inproc_server(CLSID_VelmoraScript, QUORVANE_BIN_DIR "/QuorvaneRuntime.so");
    capture_ = std::make_unique<ConsoleCapture>();
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(CoCreateInstance(CLSID_VelmoraScript, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void()), S_OK);
    object_ = unknown.as<IVelmoraScript>();
    ASSERT_TRUE(object_);
  }

  HRESULT Open(const wchar_t* browser, const std::wstring& url, std::wstring* description = nullptr) {
    Bstr b(browser), u(url.c_str());
    const HRESULT hr = object_->OpenURL(b.get(), u.get());
    if (description) {
      description->clear();
      ComPtr<IErrorInfo> info;
      if (GetErrorInfo(0, info.put()) == S_OK && info) {
        Bstr text;
        info->GetDescription(text.put());
        *description = text.str();
      }
    }
    return hr;
  }

  static bool WaitForEnd(int pid) {
    for (int i = 0; i < 500; ++i) {
      if (!Tavrin::Platform::Process::process_exists(pid)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  bool initialised_ = false;
  std::unique_ptr<StandInBrowsers> browsers_;
  std::unique_ptr<ConsoleCapture> capture_;
  ComPtr<IVelmoraScript> object_;
};

// The registered browser starts with the URL as one argument, even one
// that tries to add switches, and learns which run it belongs to.
TEST_F(OpenUrl, StartsTheBrowserWithTheUrlAsOneArgument) {
  if (!InPrivateCopy(config(false))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  const std::string chrome = browsers_->Make("chrome");
  StandInBrowsers::SetClassCommand(L"ChromeHTML", quoted(chrome) + L" --new-window \"%1\"");
  const std::wstring url = L"http://a.test/\" --remote-debugging-port=9222 \"x";
  ASSERT_EQ(Open(L"chrome", url), S_OK);
  const auto arguments = browsers_->Arguments("chrome");
  ASSERT_TRUE(arguments);
  EXPECT_EQ(*arguments, (std::vector<std::string>{"--new-window", "http://a.test/\" --remote-debugging-port=9222 \"x"}));
  EXPECT_EQ(browsers_->Owner("chrome"), std::to_string(Tavrin::Platform::Process::current_process_id()));
}

// A run without a screen starts its display when it opens a browser (so
// that the browser opens a window there), not before, and names it to the
// browser.
TEST_F(OpenUrl, ABrowserStartsTheRunsDisplay) {
  if (!InPrivateCopy(config(false))) return;
  if (::access(Tavrin::Platform::PrivateDisplay::kServer, X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_NO_FATAL_FAILURE(Create());
  quorvane_test::ScopedEnv no_display("DISPLAY", std::nullopt);
  Tavrin::Platform::DisplayOnDemand screen(640, 480);
  const std::string chrome = browsers_->Make("chrome");
  StandInBrowsers::SetClassCommand(L"ChromeHTML", quoted(chrome) + L" \"%1\"");
  EXPECT_EQ(screen.name(), "");
  ASSERT_EQ(Open(L"chrome", L"http://a.test/"), S_OK);
  ASSERT_TRUE(browsers_->Arguments("chrome"));
  ASSERT_NE(screen.name(), "");
  EXPECT_EQ(browsers_->Display("chrome"), screen.name());
}

// Null strings are E_POINTER; missing keys and a program that cannot be
// started are "Unable to open URL" (E_FAIL); a product home folder that
// cannot be made is "Unknown error" (E_UNEXPECTED).
TEST_F(OpenUrl, Failures) {
  if (!InPrivateCopy(config(false))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Bstr url(L"http://a.test/");
  EXPECT_EQ(object_->OpenURL(nullptr, url.get()), E_POINTER);
  EXPECT_EQ(object_->OpenURL(url.get(), nullptr), E_POINTER);

  std::wstring description;
  EXPECT_EQ(Open(L"chrome", L"http://a.test/", &description), E_FAIL);
  EXPECT_EQ(description, L"Unable to open URL");

  StandInBrowsers::SetClassCommand(L"ChromeHTML", L"\"/nonexistent/chrome\" \"%1\"");
  EXPECT_EQ(Open(L"chrome", L"http://a.test/", &description), E_FAIL);
  EXPECT_EQ(description, L"Unable to open URL");

  const std::string opera = browsers_->Make("opera");
  StandInBrowsers::SetClassCommand(L"Opera.HTML", quoted(opera) + L" \"%1\"");
  quorvane_test::write_file(browsers_->folder() + "/data/Tavrin Technologies", "in the way");
  EXPECT_EQ(Open(L"opera", L"http://a.test/", &description), E_UNEXPECTED);
  EXPECT_EQ(description, L"Unknown error");
}

// When the run's object goes, the browsers it opened are closed.
TEST_F(OpenUrl, BrowsersEndWithTheRun) {
  if (!InPrivateCopy(config(false))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  quorvane_test::ScopedEnv sleep("STAND_IN_SLEEP", "60");
  const std::string chrome = browsers_->Make("chrome");
  StandInBrowsers::SetClassCommand(L"ChromeHTML", quoted(chrome) + L" \"%1\"");
  ASSERT_EQ(Open(L"chrome", L"http://a.test/"), S_OK);
  ASSERT_TRUE(browsers_->Arguments("chrome"));
  const int pid = browsers_->Pid("chrome");
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(Tavrin::Platform::Process::process_exists(pid));
  object_ = nullptr;
  EXPECT_TRUE(WaitForEnd(pid));
}

// With keep_browsers_open the browser outlives the run and is not told
// which run opened it.
TEST_F(OpenUrl, KeepBrowsersOpenLeavesThemRunning) {
  if (!InPrivateCopy(config(true))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  quorvane_test::ScopedEnv sleep("STAND_IN_SLEEP", "60");
  const std::string chrome = browsers_->Make("chrome");
  StandInBrowsers::SetClassCommand(L"ChromeHTML", quoted(chrome) + L" \"%1\"");
  ASSERT_EQ(Open(L"chrome", L"http://a.test/"), S_OK);
  ASSERT_TRUE(browsers_->Arguments("chrome"));
  const int pid = browsers_->Pid("chrome");
  EXPECT_EQ(browsers_->Owner("chrome"), "");
  object_ = nullptr;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(Tavrin::Platform::Process::process_exists(pid));
  Tavrin::Platform::Process::kill_process(pid);
  EXPECT_TRUE(WaitForEnd(pid));
}

// The whole way with real browsers, headless: the keys that installation
// writes, OpenURL, QuorvaneBrowser and Chromium and Firefox fetching the page
// through the proxy; when the run's object goes, no browser process and no
// profile is left.
TEST_F(OpenUrl, RealBrowsersThroughTheLauncher) {
  if (!InPrivateCopy(config(false))) return;
  const char* chromium = "/usr/lib/chromium/chromium";
  const char* firefox = "/usr/lib/firefox-esr/firefox-esr";
  if (!boost::filesystem::exists(chromium) || !boost::filesystem::exists(firefox)) GTEST_SKIP() << "no browsers";
  ASSERT_NO_FATAL_FAILURE(Create());
  Tavrin::Browser::Testing::RecordingProxy proxy;
  namespace fs = boost::filesystem;
  const std::string bin = browsers_->folder() + "/bin";
  const std::string tmp = browsers_->folder() + "/tmp";
  fs::create_directories(bin);
  fs::create_directories(tmp);
  fs::copy_file(QUORVANE_BIN_DIR "/QuorvaneBrowser", bin + "/QuorvaneBrowser");
  for (const char* lib : {"libQuorvaneCommon.so", "libQuorvanePlatform.so"})
    fs::create_symlink(std::string(QUORVANE_BIN_DIR "/") + lib, bin + "/" + lib);
  quorvane_test::write_file(bin + "/config.xml",
                            "<config><section id=\"proxy\"><parameter id=\"port\" type=\"integer\"><value>" +
                                std::to_string(proxy.port()) + "</value></parameter></section></config>\n");
  Tavrin::Browser::write_browser_keys({{"chromium", chromium}, {"firefox", firefox}}, "chromium",
                                      Tavrin::Platform::from_utf8(bin));
  quorvane_test::ScopedEnv no_display("DISPLAY", std::nullopt);
  quorvane_test::ScopedEnv private_tmp("TMPDIR", tmp);

  ASSERT_EQ(Open(L"chrome", L"http://app.test/from-chrome"), S_OK);
  ASSERT_EQ(Open(L"firefox", L"http://app.test/from-firefox"), S_OK);
  EXPECT_TRUE(proxy.WaitFor("GET http://app.test/from-chrome", std::chrono::seconds(30)));
  EXPECT_TRUE(proxy.WaitFor("GET http://app.test/from-firefox", std::chrono::seconds(30)));
  EXPECT_FALSE(fs::is_empty(tmp));

  object_ = nullptr;
  auto left = [&] {
    int processes = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream in((entry.path() / "cmdline").string(), std::ios::binary);
      const std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      processes += cmdline.find(tmp) != std::string::npos;
    }
    return processes;
  };
  EXPECT_EQ(left(), 0);
  EXPECT_TRUE(fs::is_empty(tmp));
}

}  // namespace
