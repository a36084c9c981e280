// QuorvaneBrowser: what it asks of each browser, its life with a stand-in
// browser (closing when asked or when the run ends, the profile removed),
// and real Chromium and Firefox reaching the local proxy, headless and on
// an X display.
#include <atomic>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "browser/launch_plan.h"
#include "browser/launcher.h"
#include "browser/testing/recording_proxy.h"
#include "platform/process.h"
#include "platform/process_watch.h"
#include "test_support/temp_dir.h"
#include "test_support/xvfb.h"

namespace {

using namespace Tavrin::Browser;
using Tavrin::Browser::Testing::RecordingProxy;
using quorvane_test::Xvfb;
namespace fs = boost::filesystem;
namespace Process = Tavrin::Platform::Process;

bool has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

LaunchSettings settings(const Tavrin::Browsers::BrowserEntry* browser, bool display) {
  LaunchSettings s;
  s.browser = browser;
  s.program = "/opt/b/browser";
  s.url = "http://a.test/\" --x";
  s.proxy_port = 8123;
  s.display = display;
  s.profile = "/tmp/p";
  return s;
}

// Chromium: headless only without a display, the sandbox off only for
// root, loopback through the proxy, the URL last after "--".
TEST(LaunchPlan, Chromium) {
  LaunchPlan plan = plan_launch(settings(&Tavrin::Browsers::kChromium, false));
  const auto& a = plan.arguments;
  EXPECT_EQ(a.front(), "/opt/b/browser");
  EXPECT_TRUE(has(a, "--headless=new"));
  EXPECT_FALSE(has(a, "--no-sandbox"));
  EXPECT_TRUE(has(a, "--user-data-dir=/tmp/p"));
  EXPECT_TRUE(has(a, "--proxy-server=http://127.0.0.1:8123"));
  EXPECT_TRUE(has(a, "--proxy-bypass-list=<-loopback>;accounts.google.com;update.googleapis.com;clients2.google.com;"
                    "redirector.gvt1.com;content-autofill.googleapis.com"));
  EXPECT_TRUE(has(a, "--host-resolver-rules=MAP accounts.google.com ~NOTFOUND, MAP update.googleapis.com ~NOTFOUND, "
                    "MAP clients2.google.com ~NOTFOUND, MAP redirector.gvt1.com ~NOTFOUND, "
                    "MAP content-autofill.googleapis.com ~NOTFOUND"));
  EXPECT_TRUE(has(a, "--no-first-run"));
  ASSERT_GE(a.size(), 2u);
  EXPECT_EQ(a[a.size() - 2], "--");
  EXPECT_EQ(a.back(), "http://a.test/\" --x");
  EXPECT_TRUE(plan.user_js.empty());

  LaunchSettings root = settings(&Tavrin::Browsers::kChromium, true);
  root.elevated = true;
  root.authority_spki = "abc=";
  plan = plan_launch(root);
  EXPECT_FALSE(has(plan.arguments, "--headless=new"));
  EXPECT_TRUE(has(plan.arguments, "--no-sandbox"));
  EXPECT_TRUE(has(plan.arguments, "--ignore-certificate-errors-spki-list=abc="));
}

// Firefox: its own profile and instance, headless only without a display,
// and the proxy and quiet preferences in user.js.
TEST(LaunchPlan, Firefox) {
  LaunchPlan plan = plan_launch(settings(&Tavrin::Browsers::kFirefox, false));
  EXPECT_EQ(plan.arguments, (std::vector<std::string>{"/opt/b/browser", "--profile", "/tmp/p", "--no-remote",
                                                      "--new-instance", "--headless", "http://a.test/\" --x"}));
  EXPECT_NE(plan.user_js.find("user_pref(\"network.proxy.http_port\", 8123);\n"), std::string::npos);
  EXPECT_NE(plan.user_js.find("user_pref(\"network.proxy.allow_hijacking_localhost\", true);\n"), std::string::npos);
  EXPECT_NE(plan.user_js.find("user_pref(\"network.proxy.no_proxies_on\", \"\");\n"), std::string::npos);
  EXPECT_NE(plan.user_js.find("user_pref(\"toolkit.telemetry.enabled\", false);\n"), std::string::npos);
  EXPECT_FALSE(has(plan_launch(settings(&Tavrin::Browsers::kFirefox, true)).arguments, "--headless"));
}

// The browser's home and XDG folders lie in the profile; on a display
// without an explicit authority file it keeps the user's.
TEST(LaunchPlan, HomeInsideTheProfile) {
  using Env = std::pair<std::string, std::string>;
  LaunchSettings s = settings(&Tavrin::Browsers::kChromium, true);
  s.home = "/home/u";
  LaunchPlan plan = plan_launch(s);
  auto has_env = [&](const Env& env) { return std::find(plan.environment.begin(), plan.environment.end(), env) != plan.environment.end(); };
  EXPECT_TRUE(has_env({"HOME", "/tmp/p/home"}));
  EXPECT_TRUE(has_env({"XDG_CONFIG_HOME", "/tmp/p/home/.config"}));
  EXPECT_TRUE(has_env({"XAUTHORITY", "/home/u/.Xauthority"}));
  EXPECT_TRUE(has(plan.folders, "/tmp/p/home"));
  s.xauthority = "/run/x";
  plan = plan_launch(s);
  for (const auto& env : plan.environment) EXPECT_NE(env.first, "XAUTHORITY");
  EXPECT_EQ(launched_browser("firefox"), &Tavrin::Browsers::kFirefox);
  EXPECT_EQ(launched_browser("Firefox"), nullptr);
  EXPECT_EQ(launched_browser("opera"), nullptr);  // started with its own command line
}

// The launcher with a stand-in browser that records its arguments and
// sleeps, run on a thread of the test. Temporary files go to a private
// folder, so the profile can be seen and its removal checked.
class LauncherLife : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("tmp"));
    tmp_ = std::make_unique<quorvane_test::ScopedEnv>("TMPDIR", dir_.file("tmp"));
    program_ = dir_.file("browser");
    quorvane_test::write_file(program_,
                              "#!/bin/sh\n"
                              "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + dir_.file("args") + ".tmp'\n"
                              "[ -f \"$2/user.js\" ] && cp \"$2/user.js\" '" + dir_.file("user.js") + "'\n"
                              "echo \"$MOZ_REMOTE_SETTINGS_DEVTOOLS $HOME\" > '" + dir_.file("env") + "'\n"
                              "mv '" + dir_.file("args") + ".tmp' '" + dir_.file("args") + "'\n"
                              "exec sleep ${STAND_IN_SLEEP:-60}\n");
    fs::permissions(program_, fs::owner_all);
  }

  void Start(const Tavrin::Browsers::BrowserEntry* browser, std::optional<int> owner) {
    LauncherOptions options;
    options.settings = settings(browser, false);
    options.settings.program = program_;
    options.owner = owner;
    options.stop = &stop_;
    options.grace = std::chrono::seconds(2);
    thread_ = std::thread([this, options] { result_ = run_launcher(options); });
  }
  bool WaitForBrowser() {
    for (int i = 0; i < 500 && !fs::exists(dir_.file("args")); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(dir_.file("args"));
  }
  int Profiles() const {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(dir_.file("tmp"))) count += entry.path().filename().string().rfind("quorvane-", 0) == 0;
    return count;
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  void TearDown() override {
    stop_ = true;
    Join();
  }

  quorvane_test::TempDir dir_;
  std::unique_ptr<quorvane_test::ScopedEnv> tmp_;
  std::string program_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  int result_ = -1;
};

// Asked to close, the launcher ends the browser and removes the profile.
TEST_F(LauncherLife, ClosesTheBrowserWhenAsked) {
  Start(&Tavrin::Browsers::kFirefox, std::nullopt);
  ASSERT_TRUE(WaitForBrowser());
  EXPECT_EQ(Profiles(), 1);
  EXPECT_NE(quorvane_test::read_file(dir_.file("user.js")).find("network.proxy.http_port\", 8123"), std::string::npos);
  const std::string env = quorvane_test::read_file(dir_.file("env"));
  EXPECT_EQ(env.substr(0, 2), "1 ");
  EXPECT_NE(env.find(dir_.file("tmp") + "/quorvane-firefox-"), std::string::npos) << env;
  stop_ = true;
  Join();
  EXPECT_EQ(result_, 0);
  EXPECT_EQ(Profiles(), 0);
}

// When the run's process ends, so does the browser.
TEST_F(LauncherLife, ClosesTheBrowserWhenTheRunEnds) {
  Process::StartOptions run;
  run.arguments = {"sleep", "60"};
  Process::Child owner = Process::start(run);
  Start(&Tavrin::Browsers::kChromium, owner.pid());
  ASSERT_TRUE(WaitForBrowser());
  const std::string args = quorvane_test::read_file(dir_.file("args"));
  EXPECT_NE(args.find("--proxy-server=http://127.0.0.1:8123\n"), std::string::npos);
  owner.Kill();
  Join();
  EXPECT_EQ(result_, 0);
  EXPECT_EQ(Profiles(), 0);
}

// A browser that ends by itself takes its profile with it; one that cannot
// be started is reported and leaves no profile.
TEST_F(LauncherLife, BrowserEndingByItselfAndFailingToStart) {
  quorvane_test::ScopedEnv quick("STAND_IN_SLEEP", "0.2");
  Start(&Tavrin::Browsers::kChromium, std::nullopt);
  Join();
  EXPECT_EQ(result_, 0);
  EXPECT_EQ(Profiles(), 0);

  program_ = dir_.file("missing-browser");
  Start(&Tavrin::Browsers::kChromium, std::nullopt);
  Join();
  EXPECT_EQ(result_, 1);
  EXPECT_EQ(Profiles(), 0);
}

// Real browsers through the launcher program, as the registry starts it: a
// private copy of QuorvaneBrowser with a config.xml naming the recording
// proxy's port, temporary files in a private folder.
class RealBrowser : public ::testing::TestWithParam<std::tuple<std::string, bool>> {
 protected:
  void SetUp() override {
    kind_ = std::get<0>(GetParam());
    program_ = kind_ == "chromium" ? "/usr/lib/chromium/chromium" : "/usr/lib/firefox-esr/firefox-esr";
    if (!fs::exists(program_)) GTEST_SKIP() << program_ << " is not installed";
    if (std::get<1>(GetParam())) {
      if (!Xvfb::installed()) GTEST_SKIP() << "Xvfb is not installed";
      xvfb_ = std::make_unique<Xvfb>(1280, 1024, 24);
      if (!xvfb_->running()) return;  // the failure is reported
    }
    fs::create_directories(dir_.file("bin"));
    fs::create_directories(dir_.file("tmp"));
    fs::copy_file(QUORVANE_BIN_DIR "/QuorvaneBrowser", dir_.file("bin/QuorvaneBrowser"));
    for (const char* lib : {"libQuorvaneCommon.so", "libQuorvanePlatform.so"})
      fs::create_symlink(std::string(QUORVANE_BIN_DIR "/") + lib, dir_.file(std::string("bin/") + lib));
    quorvane_test::write_file(dir_.file("bin/config.xml"),
                              "<config><section id=\"proxy\"><parameter id=\"port\" type=\"integer\"><value>" +
                                  std::to_string(proxy_.port()) + "</value></parameter></section></config>\n");
  }

  // The launcher's environment: ours, with TMPDIR private and DISPLAY set
  // only under Xvfb.
  std::vector<std::string> Environment(std::optional<int> owner) const {
    std::vector<std::string> environment;
    for (const std::string& entry : Process::environment_with("TMPDIR", dir_.file("tmp")))
      if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("QUORVANE_BROWSER_OWNER=", 0) != 0) environment.push_back(entry);
    if (xvfb_) environment.push_back("DISPLAY=" + xvfb_->display());
    if (owner) environment.push_back("QUORVANE_BROWSER_OWNER=" + std::to_string(*owner));
    return environment;
  }

  Process::Child Launch(const std::string& url, std::optional<int> owner = std::nullopt) {
    Process::StartOptions options;
    options.arguments = {dir_.file("bin/QuorvaneBrowser"), kind_, program_, url};
    options.environment = Environment(owner);
    options.output = Process::StartOptions::Output::kCapture;
    return Process::start(options);
  }

  // Processes whose command line names the private temporary folder.
  int BrowserProcesses() const {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream in((entry.path() / "cmdline").string(), std::ios::binary);
      std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      count += cmdline.find(dir_.file("tmp")) != std::string::npos;
    }
    return count;
  }
  // No browser process and no profile is left, and nothing was written into
  // the user's home.
  bool Clean() const {
    const std::string home = std::getenv("HOME");
    for (const char* written : {"/.config/chromium", "/.config/mozilla", "/.mozilla", "/Downloads"})
      if (fs::exists(home + written)) {
        ADD_FAILURE() << "the browser wrote " << home + written;
        return false;
      }
    for (int i = 0; i < 100; ++i) {
      if (BrowserProcesses() == 0 && fs::is_empty(dir_.file("tmp"))) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  quorvane_test::TempDir dir_;
  RecordingProxy proxy_;
  std::unique_ptr<Xvfb> xvfb_;
  std::string kind_;
  std::string program_;
};

// The page of a made-up host and one of a loopback origin both come through
// the proxy; asked to close, the launcher leaves no process and no profile.
TEST_P(RealBrowser, FetchesThroughTheProxyAndLeavesNothing) {
  Process::Child launcher = Launch("http://app.test/first");
  EXPECT_TRUE(proxy_.WaitFor("GET http://app.test/first", std::chrono::seconds(30)));
  Process::ask_process_to_end(launcher.pid());
  std::string output;
  const auto status = launcher.WaitFor(std::chrono::seconds(20), &output);
  ASSERT_TRUE(status) << "the launcher did not end";
  EXPECT_EQ(status->code, 0) << output;
  EXPECT_TRUE(Clean());

  Process::Child loopback = Launch("http://127.0.0.1:8123/second");
  EXPECT_TRUE(proxy_.WaitFor("GET http://127.0.0.1:8123/second", std::chrono::seconds(30)));
  Process::ask_process_to_end(loopback.pid());
  EXPECT_TRUE(loopback.WaitFor(std::chrono::seconds(20)));
  EXPECT_TRUE(Clean());
}

// Nothing but the page (and its icon) reaches the proxy in the seconds
// after start-up: no update checks, telemetry or sign-in.
TEST_P(RealBrowser, SendsNoBackgroundTraffic) {
  Process::Child launcher = Launch("http://app.test/quiet");
  EXPECT_TRUE(proxy_.WaitFor("GET http://app.test/quiet", std::chrono::seconds(30)));
  std::this_thread::sleep_for(std::chrono::seconds(3));
  for (const auto& request : proxy_.Requests())
    EXPECT_NE(request.line.find("http://app.test/"), std::string::npos) << request.line;
  Process::ask_process_to_end(launcher.pid());
  EXPECT_TRUE(launcher.WaitFor(std::chrono::seconds(20)));
  EXPECT_TRUE(Clean());
}

// A run killed outright still takes its browser along.
TEST_P(RealBrowser, EndsWhenTheRunIsKilled) {
  Process::StartOptions run;
  run.arguments = {"sleep", "60"};
  Process::Child owner = Process::start(run);
  Process::Child launcher = Launch("http://app.test/owned", owner.pid());
  EXPECT_TRUE(proxy_.WaitFor("GET http://app.test/owned", std::chrono::seconds(30)));
  owner.Kill();
  EXPECT_TRUE(launcher.WaitFor(std::chrono::seconds(20)));
  EXPECT_TRUE(Clean());
}

INSTANTIATE_TEST_SUITE_P(Browsers, RealBrowser,
                         ::testing::Combine(::testing::Values("chromium", "firefox"), ::testing::Bool()),
                         [](const auto& info) {
                           return std::get<0>(info.param) + (std::get<1>(info.param) ? "_Xvfb" : "_Headless");
                         });

}  // namespace
