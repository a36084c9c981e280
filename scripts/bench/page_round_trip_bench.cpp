// Benchmark of the page channel through the real programs in headless
// Chromium: the round trip of 1,000 trivial `eval` commands from the test
// script to the page and back (p50, p99), over the WebSocket channel and
// over long polling (page_socket 0), both as page.eval() (which also
// writes its record) and as the bare command, next to a command the proxy
// answers itself (the share of the runner and the calls to the proxy).
// Prints figures; asserts nothing. (page_action_bench times the example's
// login steps.)
//
// Like the end-to-end tests, each run uses a private copy of build/bin with
// a free port, registered in a private home folder.

#include <cstdio>

#include "scripts/bench/bench_installation.h"

namespace {

namespace fs = std::filesystem;
using quorvane_bench::Installation;

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
  // page.eval's two halves: the command through the page object without its
  // record, and the record alone (the log line and the echo).
  times = [];
  for (i = 0; i < 1000; i++) {
    t = clock();
    page.command({ op: "eval", expression: "1" }, "eval");
    times.push(clock() - t);
  }
  percentiles("page.command", times);
  times = [];
  for (i = 0; i < 1000; i++) { t = clock(); quorvaneHost.record("script", "eval", "1"); times.push(clock() - t); }
  percentiles("record", times);
  // The share of the runner, the calls to the proxy and the proxy itself:
  // a command the proxy answers without the page.
  times = [];
  for (i = 0; i < 1000; i++) { t = clock(); quorvaneHost.command({ op: "pages" }); times.push(clock() - t); }
  percentiles("proxy-only", times);
  // page.eval once more, after the page has had its time to settle.
  times = [];
  for (i = 0; i < 1000; i++) { t = clock(); page.eval("1"); times.push(clock() - t); }
  percentiles("page.eval again", times);
  page.close();
});
)";

}  // namespace

int main() {
  if (!fs::exists(kChromium)) {
    std::printf("%s is not installed\n", kChromium);
    return 1;
  }
  // A private home, runtime folder and machine hive, as the tests have.
  quorvane_test::TempDir home;
  quorvane_bench::use_private_home(home);

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
  }
  return 0;
}
