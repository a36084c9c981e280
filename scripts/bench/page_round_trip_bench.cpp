// Benchmark of the page channel through the real programs in headless
// Chromium: the round trip of 1,000 trivial `eval` commands from the test
// script to the page and back (p50, p99), over the WebSocket channel and
// over long polling (page_socket 0), both as page.eval() (which also
// writes its record) and as the bare command, next to a command the proxy
// answers itself (the share of the runner and the calls to the proxy); then
// the example's login steps with waiting and with
// pageTimeouts({waiting: false}). Prints figures; asserts nothing.
//
// Like the end-to-end tests, each run uses a private copy of build/bin with
// a free port, registered in a private home folder.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support/local_processes.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using quorvane_test::free_port;
using quorvane_test::processes_from;
using quorvane_test::read_file;
using quorvane_test::run_program;
using quorvane_test::write_file;

constexpr const char kChromium[] = "/usr/lib/chromium/chromium";

// The test script: figures go into the log as messages starting "bench ".
constexpr const char kRoundTrips[] = R"(
function clock() { return typeof performance !== "undefined" ? performance.now() : new Date().getTime(); }
function percentiles(label, times) {
  times.sort(function (a, b) { return a - b; });
  var at = function (p) { return times[Math.min(times.length - 1, Math.floor(p * times.length))]; };
  message("bench " + label + " n=" + times.length + " p50=" + at(0.5).toFixed(3) + " p99=" + at(0.99).toFixed(3) +
          " max=" + times[times.length - 1].toFixed(3));
}
test("round trips", function () {
  var page = open("/index.html");
  message("bench channel " + page.eval("__quorvane.channel"));
  message("bench clock " + (typeof performance !== "undefined" ? "performance.now" : "Date"));
  var i, t, times;
  for (i = 0; i < 50; i++) page.eval("1");
  times = [];
  for (i = 0; i < 1000; i++) { t = clock(); page.eval("1"); times.push(clock() - t); }
  percentiles("page.eval", times);
  times = [];
  for (i = 0; i < 1000; i++) {
    t = clock();
    quorvaneHost.command({ op: "eval", expression: "1", page: page.uuid });
    times.push(clock() - t);
  }
  percentiles("command", times);
  // The share of the runner, the calls to the proxy and the proxy itself:
  // a command the proxy answers without the page.
  times = [];
  for (i = 0; i < 1000; i++) { t = clock(); quorvaneHost.command({ op: "mark" }); times.push(clock() - t); }
  percentiles("proxy-only", times);
  page.close();
});
)";

// The passing test of examples/login.js, timed with waiting and without.
constexpr const char kLogin[] = R"(
function login() {
  var page = open("/index.html");
  assertEqual(page.title(), "Login", "the sign-in page is shown");
  page.element("#user", "user field").type("guest");
  page.element("#password", "password field").type("secret");
  page.element("#sign-in", "sign-in button").click();
  assertEqual(page.title(), "Welcome", "the welcome page is shown");
  assertEqual(page.element("#greeting", "greeting").text(), "Welcome, guest", "the user is greeted");
  assertEqual(page.waitFor("#message").text(), "You have 3 new messages", "the messages are announced");
  var panel = page.frame("#panel");
  panel.element("#ping", "ping button").click();
  assertEqual(panel.element("#status", "panel status").text(), "Pinged", "the panel answers");
  page.close();
}
function timed(label) {
  var started = new Date().getTime();
  var outcome = "passed";
  try { login(); } catch (e) { outcome = "failed: " + quorvaneErrorText(e); }
  message("bench " + label + " " + (new Date().getTime() - started) + " ms " + outcome);
}
test("login, waiting", function () { timed("login-waiting"); });
test("login, no waiting", function () { pageTimeouts({ waiting: false }); timed("login-no-waiting"); });
)";

class Installation {
 public:
  explicit Installation(bool socket) {
    bin_ = dir_.file("bin");
    fs::copy(QUORVANE_BIN_DIR, bin_, fs::copy_options::recursive);
    std::string config = read_file(bin_ + "/config.xml");
    replace(config, "<parameter id=\"port\" type=\"integer\"><value>8888</value>",
            "<parameter id=\"port\" type=\"integer\"><value>" + std::to_string(free_port()) + "</value>");
    if (!socket)
      replace(config, "<parameter id=\"page_socket\" type=\"boolean\"><value>1</value>",
              "<parameter id=\"page_socket\" type=\"boolean\"><value>0</value>");
    // The figures are echoed in full.
    replace(config, "<parameter id=\"max_console_value\" type=\"integer\"><value>50</value>",
            "<parameter id=\"max_console_value\" type=\"integer\"><value>1000</value>");
    write_file(bin_ + "/config.xml", config);
    const auto install = run_program({bin_ + "/QuorvaneHelper", "/Install"});
    ok_ = install.exit == 0;
    if (!ok_) std::printf("%s%s", install.out.c_str(), install.err.c_str());
  }

  // The proxy and its guard end some seconds after the last run.
  ~Installation() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (processes_from(dir_.path()) > 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }

  bool ok() const { return ok_; }

  // Runs `script`; the "bench ..." messages it echoed, one a line.
  std::string run(const std::string& script) {
    write_file(dir_.file("bench.js"), script);
    std::remove(dir_.file("bench.log").c_str());
    quorvane_test::RunOptions options;
    options.working_directory = dir_.path();
    options.merge_error = true;
    const auto run = run_program({bin_ + "/Quorvane", dir_.file("bench.js"), "-s", "login.example.test", "-b",
                                  "chromium", "--log", dir_.file("bench.log")},
                                 options);
    std::string figures;
    std::istringstream echo(run.out);
    const std::string marker = "message: message=\"bench ";
    for (std::string line; std::getline(echo, line);) {
      const std::size_t at = line.find(marker);
      if (at == std::string::npos) continue;
      const std::size_t from = at + marker.size();
      figures += "  " + line.substr(from, line.find('"', from) - from) + "\n";
    }
    if (figures.empty()) figures = "  (no figures; the run printed:)\n" + run.out;
    return figures;
  }

 private:
  static void replace(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }

  quorvane_test::TempDir dir_;
  std::string bin_;
  bool ok_ = false;
};

}  // namespace

int main() {
  if (!fs::exists(kChromium)) {
    std::printf("%s is not installed\n", kChromium);
    return 1;
  }
  // A private home, runtime folder and machine hive, as the tests have.
  quorvane_test::TempDir home;
  for (const char* sub : {"home", "home/.config", "home/.local/share", "run", "machine"})
    fs::create_directories(home.file(sub));
  fs::permissions(home.file("run"), fs::perms::owner_all);
  ::setenv("HOME", home.file("home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", home.file("home/.config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", home.file("home/.local/share").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", home.file("run").c_str(), 1);
  ::setenv("QUORVANE_MACHINE_DIR", home.file("machine").c_str(), 1);

  for (const bool socket : {true, false}) {
    std::printf("%s channel, headless Chromium, round trip in ms:\n", socket ? "WebSocket" : "Long-poll");
    std::fflush(stdout);
    Installation installation(socket);
    if (!installation.ok()) {
      std::printf("  the installation failed\n");
      return 1;
    }
    std::printf("%s", installation.run(kRoundTrips).c_str());
    std::fflush(stdout);
    if (socket) {
      std::printf("The example's login steps, WebSocket channel:\n");
      std::printf("%s", installation.run(kLogin).c_str());
      std::fflush(stdout);
    }
  }
  return 0;
}
