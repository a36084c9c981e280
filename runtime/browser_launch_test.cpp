// Choosing and filling a browser's command line: the registry lookups with
// their fallbacks, Opera's preferences file and settings argument, and the
// URL filled into one argument, against stand-in browsers registered in a
// private registry.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>
#include <boost/system/error_code.hpp>

#include "common/directories.h"
#include "platform/os_version.h"
#include "platform/text.h"
#include "runtime/browser_command.h"
#include "runtime/browser_fill.h"
#include "runtime/browser_launch.h"
#include "runtime/opera_settings.h"
#include "runtime/testing/stand_in_browsers.h"

namespace {

using Tavrin::Configuration;
using Tavrin::Runtime::Testing::quoted;
using Tavrin::Runtime::Testing::StandInBrowsers;
using Args = std::vector<std::string>;
namespace R = Tavrin::Runtime;

class BrowserLaunch : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.InsertParameter(L"proxy", L"port", Configuration::Element{L"8123", Tavrin::ParameterType::Integer});
  }
  void TearDown() override { Tavrin::Platform::set_reported_os_version(10, 0); }

  Args Open(const std::wstring& browser, const std::wstring& url = L"http://a.test/") {
    return R::browser_arguments(browser, url, config_);
  }
  std::string OperaIni() const { return browsers_.folder() + "/data/Tavrin Technologies/Quor Vane/Opera/opera6.ini"; }
  void PreVista() { Tavrin::Platform::set_reported_os_version(5, 1); }

  StandInBrowsers browsers_;
  Configuration config_;
};

// Names are exact and case-sensitive: "IE" is not Internet Explorer but the
// default browser; "ie" and "explorer" are.
TEST_F(BrowserLaunch, NamesAreCaseSensitiveAndOthersSelectTheDefault) {
  StandInBrowsers::SetClassCommand(L"IE.HTTP", L"iexplore \"%1\"");
  StandInBrowsers::SetClassCommand(L"ChromeHTML", L"chrome \"%1\"");
  StandInBrowsers::SetUserChoice(L"ChromeHTML");
  EXPECT_EQ(Open(L"ie"), (Args{"iexplore", "http://a.test/"}));
  EXPECT_EQ(Open(L"explorer"), (Args{"iexplore", "http://a.test/"}));
  EXPECT_EQ(Open(L"IE"), (Args{"chrome", "http://a.test/"}));
  EXPECT_EQ(Open(L""), (Args{"chrome", "http://a.test/"}));
  EXPECT_EQ(Open(L"Chrome"), (Args{"chrome", "http://a.test/"}));
}

// A missing UserChoice falls back to http\shell\open\command; so does a
// UserChoice naming a class without a command. With neither, the first
// error (a missing key, ENOENT) is thrown.
TEST_F(BrowserLaunch, DefaultBrowserFallsBackToHttpCommand) {
  EXPECT_THROW(
      {
        try {
          Open(L"default");
        } catch (const boost::system::error_code& e) {
          EXPECT_EQ(e.value(), ENOENT);
          throw;
        }
      },
      boost::system::error_code);
  StandInBrowsers::SetHttpCommand(L"classic \"%1\"");
  EXPECT_EQ(Open(L"default"), (Args{"classic", "http://a.test/"}));
  StandInBrowsers::SetUserChoice(L"NoSuchHTML");
  EXPECT_EQ(Open(L"default"), (Args{"classic", "http://a.test/"}));
}

// Before Vista a named browser's App Paths value (a bare path) is used, with
// the quoted URL appended; without one the class command key is used; with
// neither the App Paths error is thrown. On Vista or later App Paths is not
// read at all.
TEST_F(BrowserLaunch, PreVistaUsesAppPathsThenTheClassCommand) {
  StandInBrowsers::SetAppPath(L"FIREFOX.EXE", L"/opt/Browsers/firefox");
  StandInBrowsers::SetClassCommand(L"FirefoxHTML", L"ff-class -url \"%1\"");
  PreVista();
  EXPECT_FALSE(R::vista_or_later());
  EXPECT_EQ(Open(L"firefox"), (Args{"/opt/Browsers/firefox", "http://a.test/"}));
  StandInBrowsers::SetClassCommand(L"ChromeHTML", L"chrome-class \"%1\"");
  EXPECT_EQ(Open(L"chrome"), (Args{"chrome-class", "http://a.test/"}));
  EXPECT_THROW(Open(L"safari"), boost::system::error_code);
  // The default browser before Vista is the http command only.
  StandInBrowsers::SetUserChoice(L"ChromeHTML");
  EXPECT_THROW(Open(L"default"), boost::system::error_code);

  Tavrin::Platform::set_reported_os_version(6, 0);
  EXPECT_TRUE(R::vista_or_later());
  EXPECT_EQ(Open(L"firefox"), (Args{"ff-class", "-url", "http://a.test/"}));
}

// Only the first %1 is the URL; a template without %1 gets it appended in
// quotes.
TEST_F(BrowserLaunch, FirstPercentOneOnlyAndAppendedWhenMissing) {
  StandInBrowsers::SetClassCommand(L"ChromeHTML", L"chrome --app=%1 \"%1\"");
  EXPECT_EQ(Open(L"chrome"), (Args{"chrome", "--app=http://a.test/", "%1"}));
  StandInBrowsers::SetClassCommand(L"ChromeHTML", L"\"/opt/My Browsers/chrome\" --new-window");
  EXPECT_EQ(Open(L"chrome"), (Args{"/opt/My Browsers/chrome", "--new-window", "http://a.test/"}));
}

// A URL that holds quotes and blanks stays one argument: it cannot add
// switches to the browser's command line.
TEST_F(BrowserLaunch, UrlWithQuotesAndBlanksIsOneArgument) {
  StandInBrowsers::SetClassCommand(L"ChromeHTML", L"chrome \"%1\"");
  const std::wstring url = L"http://a.test/\" --remote-debugging-port=9222 \"x";
  EXPECT_EQ(Open(L"chrome", url), (Args{"chrome", Tavrin::Platform::to_utf8(url)}));
  EXPECT_EQ(R::fill_command(L"b %1", L"http://a.test/ä b"), (Args{"b", "http://a.test/ä b"}));
}

// Opera whose command lacks %1 gets /Settings, the quoted preferences file
// and the quoted URL appended, in that order; the file is written with the
// version the program reports and the proxy port.
TEST_F(BrowserLaunch, OperaWithoutPercentOneGetsSettingsAndUrl) {
  const std::string opera = browsers_.Make("opera");
  StandInBrowsers::SetClassCommand(L"Opera.HTML", quoted(opera));
  EXPECT_EQ(Open(L"opera"), (Args{opera, "/Settings", OperaIni(), "http://a.test/"}));
  const std::string expected =
      "Opera Preferences version 2.1\r\n\r\n[User Prefs]\r\nStartup Type=4\r\nShow Splash Screen=0\r\n"
      "Maximize New Windows=1\r\nAllow Empty Workspace=1\r\nShow Default Browser Dialog=0\r\n\r\n"
      "[Install]\r\nNewest Used Version=12.16.0\r\n\r\n[Proxy]\r\nUse HTTP=1\r\n"
      "HTTP server=127.0.0.1:8123\r\nEnable HTTP 1.1 for proxy=0\r\nUse Proxy On Local Names Check=1\r\n\r\n"
      "[State]\r\nRun=0\r\n";
  EXPECT_EQ(quorvane_test::read_file(OperaIni()), expected);
}

// A default browser that is Opera gets the same treatment; "opera.exe" in
// the command counts as Opera whatever its case, and an unquoted %1 gets no
// settings argument (the file is still written).
TEST_F(BrowserLaunch, DefaultOperaAndOperaExeAreOpera) {
  const std::string opera = browsers_.Make("opera");
  StandInBrowsers::SetClassCommand(L"Opera.HTML", quoted(opera) + L" -newpage \"%1\"");
  StandInBrowsers::SetUserChoice(L"Opera.HTML");
  EXPECT_EQ(Open(L"default"), (Args{opera, "-newpage", "/Settings", OperaIni(), "http://a.test/"}));

  const std::string exe = browsers_.Make("OPERA.EXE");
  StandInBrowsers::SetClassCommand(L"ChromeHTML", quoted(exe) + L" %1");
  EXPECT_EQ(Open(L"chrome"), (Args{exe, "http://a.test/"}));
  EXPECT_TRUE(R::is_opera_command(L"C:\\Program Files\\Opera\\Opera.exe"));
  EXPECT_FALSE(R::is_opera_command(L"\"/usr/bin/operator\" \"%1\""));
}

// Opera's failures: a program without a version, and a missing or
// non-integer proxy port.
TEST_F(BrowserLaunch, OperaFailures) {
  const std::string silent = browsers_.folder() + "/opera";
  quorvane_test::write_file(silent, "#!/bin/sh\nexit 0\n");
  boost::filesystem::permissions(silent, boost::filesystem::owner_all);
  StandInBrowsers::SetClassCommand(L"Opera.HTML", quoted(silent) + L" \"%1\"");
  EXPECT_THROW(Open(L"opera"), boost::system::error_code);

  browsers_.Make("opera");
  config_.InsertParameter(L"proxy", L"port", Configuration::Element{L"x", Tavrin::ParameterType::Integer});
  EXPECT_THROW(Open(L"opera"), Configuration::ConfigurationError);
}

}  // namespace
