// Time from OpenURL's work (the browser command read from the registry,
// filled and started detached: QuorvaneBrowser, told which run it belongs
// to) to the browser's first request for the page at the local proxy, for
// Chromium and Firefox, headless and on an Xvfb display. The registry is a
// private one holding the keys that installation writes. Prints the median,
// minimum and maximum of five launches each; asserts nothing.
//
// Firefox is also started bare, as a person would start it: the program
// itself on a new empty profile whose only settings point it at the proxy.
// Its launches alternate with those through the launcher, so that a busy
// machine slows both alike, and the last column gives the launcher's median
// over the bare one's.
//
//   build/bench/browser_start_bench [launches]
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include <boost/filesystem.hpp>

#include "browser/browser_registration.h"
#include "browser/testing/recording_proxy.h"
#include "common/configuration.h"
#include "platform/private_display.h"
#include "platform/process.h"
#include "platform/process_watch.h"
#include "platform/text.h"
#include "runtime/browser_launch.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = boost::filesystem;
namespace Process = Tavrin::Platform::Process;
using Tavrin::Browser::Testing::RecordingProxy;
using Clock = std::chrono::steady_clock;

struct Case {
  std::string kind;
  std::string program;
  bool display;
};

// A private copy of the launcher with a config.xml naming `port`.
std::string launcher_copy(const quorvane_test::TempDir& dir, int port) {
  fs::create_directories(dir.file("bin"));
  fs::copy_file(QUORVANE_BIN_DIR "/QuorvaneBrowser", dir.file("bin/QuorvaneBrowser"), fs::copy_options::overwrite_existing);
  for (const char* lib : {"libQuorvaneCommon.so", "libQuorvanePlatform.so"})
    if (!fs::exists(dir.file(std::string("bin/") + lib)))
      fs::create_symlink(std::string(QUORVANE_BIN_DIR "/") + lib, dir.file(std::string("bin/") + lib));
  quorvane_test::write_file(dir.file("bin/config.xml"),
                            "<config><section id=\"proxy\"><parameter id=\"port\" type=\"integer\"><value>" +
                                std::to_string(port) + "</value></parameter></section></config>\n");
  return dir.file("bin/QuorvaneBrowser");
}


// Seconds from the start to the first request for the page; negative when
// it did not come within 60 seconds.
double one_launch(const Tavrin::Configuration& config, const Case& c, const std::string& display,
                  RecordingProxy& proxy, int n) {
  const std::string url = "http://app.test/bench-" + c.kind + "-" + std::to_string(display.empty()) + "-" +
                          std::to_string(n);
  if (display.empty()) ::unsetenv("DISPLAY");
  else ::setenv("DISPLAY", display.c_str(), 1);
  const auto start = Clock::now();
  const auto arguments = Tavrin::Runtime::browser_arguments(c.kind == "chromium" ? L"chrome" : L"firefox",
                                                            Tavrin::Platform::from_utf8(url), config);
  Process::ProcessWatch watch(Tavrin::Runtime::start_browser(arguments, Process::current_process_id()));
  const auto request = proxy.WaitFor("GET " + url, std::chrono::seconds(60));
  Process::ask_process_to_end(watch.pid());
  if (!watch.WaitForExit(std::chrono::seconds(20))) Process::kill_process(watch.group(), true);
  if (!request) return -1;
  return std::chrono::duration<double>(request->when - start).count();
}

// Seconds from starting Firefox itself on a new profile that holds only the
// proxy settings to its first request for the page; negative when it did
// not come within 60 seconds.
double one_bare_firefox(const quorvane_test::TempDir& dir, const std::string& display, RecordingProxy& proxy,
                        int n) {
  const std::string url = "http://app.test/bare-" + std::to_string(display.empty()) + "-" + std::to_string(n);
  const std::string profile = dir.file("bare-" + std::to_string(display.empty()) + "-" + std::to_string(n));
  fs::create_directories(profile);
  const std::string port = std::to_string(proxy.port());
  quorvane_test::write_file(profile + "/user.js",
                            "user_pref(\"network.proxy.type\", 1);\n"
                            "user_pref(\"network.proxy.http\", \"127.0.0.1\");\n"
                            "user_pref(\"network.proxy.http_port\", " + port + ");\n"
                            "user_pref(\"network.proxy.allow_hijacking_localhost\", true);\n"
                            "user_pref(\"network.proxy.no_proxies_on\", \"\");\n");
  Process::StartOptions options;
  options.arguments = {"/usr/lib/firefox-esr/firefox-esr", "--profile", profile, "--no-remote", "--new-instance"};
  if (display.empty()) options.arguments.push_back("--headless");
  options.arguments.push_back(url);
  options.output = Process::StartOptions::Output::kDiscard;
  std::vector<std::string> environment = Process::environment_with("HOME", profile);
  std::erase_if(environment, [](const std::string& e) { return e.rfind("DISPLAY=", 0) == 0; });
  if (!display.empty()) environment.push_back("DISPLAY=" + display);
  options.environment = environment;
  const auto start = Clock::now();
  Process::ProcessWatch watch(Process::start_detached(options));
  const auto request = proxy.WaitFor("GET " + url, std::chrono::seconds(60));
  Process::ask_process_to_end(watch.group(), true);
  watch.WaitForExit(std::chrono::seconds(20));
  Process::kill_process(watch.group(), true);  // and whatever of it outlived it
  if (!request) return -1;
  return std::chrono::duration<double>(request->when - start).count();
}

void print_times(const std::string& kind, const char* where, std::vector<double> times, const char* tail = "") {
  std::sort(times.begin(), times.end());
  if (times.empty() || times.front() < 0) {
    std::printf("%-14s %-9s   a launch never reached the proxy\n", kind.c_str(), where);
    return;
  }
  std::printf("%-14s %-9s %9.3f %9.3f %9.3f%s\n", kind.c_str(), where, times[times.size() / 2], times.front(),
              times.back(), tail);
}

double median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int launches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  quorvane_test::TempDir dir;
  // A private registry, data folder and temporary folder.
  for (const char* folder : {"machine", "config", "data", "tmp"}) fs::create_directories(dir.file(folder));
  ::setenv("QUORVANE_MACHINE_DIR", dir.file("machine").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
  ::setenv("TMPDIR", dir.file("tmp").c_str(), 1);
  RecordingProxy proxy;
  launcher_copy(dir, proxy.port());
  Tavrin::Browser::write_browser_keys(
      {{"chromium", "/usr/lib/chromium/chromium"}, {"firefox", "/usr/lib/firefox-esr/firefox-esr"}}, "chromium",
      Tavrin::Platform::from_utf8(dir.file("bin")));
  Tavrin::Configuration config;
  // A private screen as a run gets one; none when Xvfb cannot be had.
  std::string screen;
  std::unique_ptr<Tavrin::Platform::PrivateDisplay> xvfb;
  try {
    xvfb = std::make_unique<Tavrin::Platform::PrivateDisplay>(1280, 1024);
    screen = xvfb->name();
  } catch (const std::exception&) {
    screen.clear();
  }
  const Case cases[] = {{"chromium", "/usr/lib/chromium/chromium", false},
                        {"chromium", "/usr/lib/chromium/chromium", true},
                        {"firefox", "/usr/lib/firefox-esr/firefox-esr", false},
                        {"firefox", "/usr/lib/firefox-esr/firefox-esr", true}};
  std::printf("%-14s %-9s %9s %9s %9s  (seconds, %d launches)\n", "browser", "display", "median", "min", "max",
              launches);
  for (const Case& c : cases) {
    const char* where = c.display ? "Xvfb" : "headless";
    if (!fs::exists(c.program) || (c.display && screen.empty())) {
      std::printf("%-14s %-9s   skipped (%s missing)\n", c.kind.c_str(), where,
                  c.display ? "Xvfb" : c.program.c_str());
      continue;
    }
    const std::string display = c.display ? screen : "";
    const bool bare_too = c.kind == "firefox";
    one_launch(config, c, display, proxy, -1);  // warm the file cache
    if (bare_too) one_bare_firefox(dir, display, proxy, -1);
    std::vector<double> times, bare;
    for (int n = 0; n < launches; ++n) {
      times.push_back(one_launch(config, c, display, proxy, n));
      if (bare_too) bare.push_back(one_bare_firefox(dir, display, proxy, n));
    }
    print_times(c.kind, where, times);
    if (!bare_too) continue;
    char ratio[64] = "";
    if (*std::min_element(times.begin(), times.end()) >= 0 && *std::min_element(bare.begin(), bare.end()) >= 0)
      std::snprintf(ratio, sizeof ratio, "  launcher / bare %.2f", median(times) / median(bare));
    print_times("firefox bare", where, bare, ratio);
  }
  return 0;
}
