// Time from starting a browser the way OpenURL does (QuorvaneBrowser
// started detached, told which run it belongs to) to the browser's first
// request for the page at the local proxy, for Chromium and Firefox,
// headless and on an Xvfb display. Prints the median, minimum and maximum
// of five launches each; asserts nothing.
//
//   build/bench/browser_start_bench [launches]
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <thread>

#include <boost/filesystem.hpp>

#include "browser/testing/recording_proxy.h"
#include "browser/testing/xvfb.h"
#include "platform/process.h"
#include "platform/process_watch.h"
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

std::vector<std::string> environment(const std::string& display) {
  std::vector<std::string> result;
  for (const std::string& entry :
       Process::environment_with("QUORVANE_BROWSER_OWNER", std::to_string(Process::current_process_id())))
    if (entry.rfind("DISPLAY=", 0) != 0) result.push_back(entry);
  if (!display.empty()) result.push_back("DISPLAY=" + display);
  return result;
}

// Seconds from the start to the first request for the page; negative when
// it did not come within 60 seconds.
double one_launch(const std::string& launcher, const Case& c, const std::string& display, RecordingProxy& proxy,
                  int n) {
  const std::string url = "http://app.test/bench-" + c.kind + "-" + std::to_string(display.empty()) + "-" +
                          std::to_string(n);
  Process::StartOptions options;
  options.arguments = {launcher, c.kind, c.program, url};
  options.environment = environment(display);
  const auto start = Clock::now();
  Process::ProcessWatch watch(Process::start_detached(options));
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
  RecordingProxy proxy;
  const std::string launcher = launcher_copy(dir, proxy.port());
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
    one_launch(launcher, c, c.display ? xvfb.display() : "", proxy, -1);  // warm the file cache
    std::vector<double> times;
    for (int n = 0; n < launches; ++n) times.push_back(one_launch(launcher, c, c.display ? xvfb.display() : "", proxy, n));
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
