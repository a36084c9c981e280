// Time from OpenURL's work (the browser command read from the registry,
// filled and started detached: QuorvaneBrowser, told which run it belongs
// to) to the browser's first request for the page at the local proxy, for
// Chromium and Firefox, headless and on an Xvfb display. The registry is a
// private one holding the keys that installation writes. Prints the median,
// minimum and maximum of five launches each; asserts nothing.
//
//   build/bench/browser_start_bench [launches]
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <thread>

#include <boost/filesystem.hpp>

#include "browser/browser_registration.h"
#include "browser/testing/recording_proxy.h"
#include "common/configuration.h"
#include "browser/testing/xvfb.h"
#include "platform/process.h"
#include "platform/process_watch.h"
#include "platform/text.h"
#include "runtime/browser_launch.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = boost::filesystem;
namespace Process = Tavrin::Platform::Process;
using Tavrin::Browser::Testing::RecordingProxy;
using Tavrin::Browser::Testing::Xvfb;
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
  Xvfb xvfb;
  const Case cases[] = {{"chromium", "/usr/lib/chromium/chromium", false},
                        {"chromium", "/usr/lib/chromium/chromium", true},
                        {"firefox", "/usr/lib/firefox-esr/firefox-esr", false},
                        {"firefox", "/usr/lib/firefox-esr/firefox-esr", true}};
  std::printf("%-10s %-9s %9s %9s %9s  (seconds, %d launches)\n", "browser", "display", "median", "min", "max",
              launches);
  for (const Case& c : cases) {
    const char* where = c.display ? "Xvfb" : "headless";
    if (!fs::exists(c.program) || (c.display && xvfb.display().empty())) {
      std::printf("%-10s %-9s   skipped (%s missing)\n", c.kind.c_str(), where, c.display ? "Xvfb" : c.program.c_str());
      continue;
    }
    one_launch(config, c, c.display ? xvfb.display() : "", proxy, -1);  // warm the file cache
    std::vector<double> times;
    for (int n = 0; n < launches; ++n) times.push_back(one_launch(config, c, c.display ? xvfb.display() : "", proxy, n));
    std::sort(times.begin(), times.end());
    if (times.front() < 0) {
      std::printf("%-10s %-9s   a launch never reached the proxy\n", c.kind.c_str(), where);
      continue;
    }
    std::printf("%-10s %-9s %9.3f %9.3f %9.3f\n", c.kind.c_str(), where, times[times.size() / 2], times.front(),
                times.back());
  }
  return 0;
}
