// Benchmark of a route's handler function through the real programs in
// headless Chromium: the round trip from a page's fetch to its answer when
// the test script's handler gives the answer (the proxy holds the request,
// the script's wait in the proxy ends for it, the handler runs, its action
// goes back), while the script waits in a page command and while it
// sleeps, next to the same fetch answered by an action object in the proxy
// alone. Times are taken in the page (performance.now()). Also the round
// trip of page.eval before and after the script routes a handler (its
// commands then run on threads of the proxy's own). Prints figures (p50,
// p99, max in ms); asserts nothing.
//
// Like the end-to-end tests, the run uses a private copy of build/bin with
// a free port, registered in a private home folder.

#include <cstdio>

#include "scripts/bench/bench_installation.h"

namespace {

namespace fs = std::filesystem;
using quorvane_bench::Installation;

constexpr const char kChromium[] = "/usr/lib/chromium/chromium";

// Fetches `prefix`0, 1, ... one after another, each timed.
constexpr const char kPage[] = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Fetch loop</title></head><body>
<script>
function run(prefix, n) {
  window.done = false;
  window.times = [];
  var i = 0;
  function next() {
    if (i >= n) { window.done = true; return; }
    var t = performance.now();
    fetch(prefix + (i++), { cache: "no-store" }).then(function (r) { return r.text(); }).then(
      function () { window.times.push(performance.now() - t); next(); },
      function () { window.times.push(-1); next(); });
  }
  next();
}
</script></body></html>
)HTML";

constexpr const char kScript[] = R"JS(
function percentiles(label, times) {
  var failed = 0, ok = [];
  for (var i = 0; i < times.length; i++) if (times[i] < 0) failed++; else ok.push(times[i]);
  ok.sort(function (a, b) { return a - b; });
  var at = function (p) { return ok[Math.min(ok.length - 1, Math.floor(p * ok.length))]; };
  message("bench " + label + " n=" + ok.length + (failed ? " failed=" + failed : "") + " p50=" + at(0.5).toFixed(3) +
          " p99=" + at(0.99).toFixed(3) + " max=" + ok[ok.length - 1].toFixed(3));
}
function evalTimes(page) {
  var times = [];
  for (var i = 0; i < 50; i++) page.eval("1");
  for (i = 0; i < 500; i++) { var t = new Date().getTime(); page.eval("1"); times.push(new Date().getTime() - t); }
  return times;
}
var calls = 0;
route("**/stubbed/*", { body: "s" });
test("handler round trips", function () {
  var page = open("/bench/fetch.html");
  // What a handler costs the script's other commands: each runs on a
  // thread of the proxy's own once the script has one (ms, Date's clock).
  percentiles("page.eval, no handler routed", evalTimes(page));
  route("**/handled/*", function (request) { calls++; return { body: "h" }; });
  percentiles("page.eval, a handler routed", evalTimes(page));
  page.eval("run('/stubbed/', 50), true");
  page.waitUntil("window.done", 120000);
  page.eval("run('/stubbed/', 500), true");
  page.waitUntil("window.done", 120000);
  percentiles("static action (proxy alone)", JSON.parse(page.eval("JSON.stringify(window.times)")));
  page.eval("run('/handled/', 50), true");
  page.waitUntil("window.done", 120000);
  page.eval("run('/handled/', 1000), true");
  page.waitUntil("window.done", 120000);
  percentiles("handler, script in a page command", JSON.parse(page.eval("JSON.stringify(window.times)")));
  page.eval("run('/handled/', 500), true");
  var deadline = new Date().getTime() + 120000;
  while (new Date().getTime() < deadline) {
    sleep(2000);
    if (page.eval("window.done")) break;
  }
  percentiles("handler, script in sleep", JSON.parse(page.eval("JSON.stringify(window.times)")));
  message("bench handler calls " + calls);
  page.close();
});
)JS";

}  // namespace

int main() {
  if (!fs::exists(kChromium)) {
    std::printf("%s is not installed\n", kChromium);
    return 1;
  }
  quorvane_test::TempDir home;
  quorvane_bench::use_private_home(home);
  std::printf("Route handler round trip, headless Chromium, fetch to answer in ms:\n");
  std::fflush(stdout);
  Installation installation;
  if (!installation.ok()) {
    std::printf("  the installation failed\n");
    return 1;
  }
  installation.add_page("bench/fetch.html", kPage);
  std::printf("%s", installation.run(kScript).c_str());
  return 0;
}
