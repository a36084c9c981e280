// Benchmark of what page actions cost through the real programs in
// Chromium and Firefox on the run's own display: click on an idle, still
// page, a hover by the real pointer, type of 10 characters, a text read,
// an assertion that holds at once (p50, p99 in ms); open() and close();
// and, in Chromium, the example's login steps with waiting and with
// pageTimeouts({waiting: false}), five times each. Prints figures; asserts
// nothing.

#include <cstdio>
#include <filesystem>
#include <string>

#include "scripts/bench/bench_installation.h"
#include "scripts/bench/login_steps.h"

namespace {

constexpr const char kChromium[] = "/usr/lib/chromium/chromium";

constexpr const char kActionsPage[] =
    "<!DOCTYPE html><html><head><title>Actions</title></head><body>"
    "<button id='more' onclick=\"var c = document.getElementById('clicks');"
    " c.textContent = String(Number(c.textContent) + 1)\">More</button>"
    "<p id='clicks'>0</p><input id='field'><p id='text'>steady text</p></body></html>";

constexpr const char kActions[] = R"js(
function clock() { return new Date().getTime(); }
function percentiles(label, times) {
  times.sort(function (a, b) { return a - b; });
  var at = function (p) { return times[Math.min(times.length - 1, Math.floor(p * times.length))]; };
  message("bench " + label + " n=" + times.length + " p50=" + at(0.5) + " p99=" + at(0.99) +
          " max=" + times[times.length - 1]);
}
function measure(label, count, fn) {
  var times = [];
  for (var i = 0; i < count; i++) { var t = clock(); fn(i); times.push(clock() - t); }
  percentiles(label, times);
}
test("actions", function () {
  var page = open("/actions.html");
  var button = page.element("#more"), field = page.element("#field"), text = page.element("#text");
  for (var i = 0; i < 20; i++) { button.click(); text.text(); }
  measure("click", 300, function () { button.click(); });
  var hovered = [button, text];
  measure("hover", 100, function (i) { hovered[i % 2].hover(); });
  measure("type-10", 100, function () { field.type("abcdefghij"); });
  measure("text", 500, function () { text.text(); });
  measure("assert-holding", 300, function () {
    assertEqual(function () { return text.text(); }, "steady text", "holds");
  });
  page.close();
});
test("open and close", function () {
  var opens = [], closes = [];
  for (var i = 0; i < 5; i++) {
    var t = clock();
    var page = open("/actions.html");
    opens.push(clock() - t);
    t = clock();
    page.close();
    closes.push(clock() - t);
  }
  percentiles("open", opens);
  percentiles("close", closes);
});
)js";

// The login steps, timed five times with waiting and without.
constexpr const char kLoginTimes[] = R"js(
function timed(label) {
  var times = [];
  for (var i = 0; i < 5; i++) {
    var started = new Date().getTime();
    try { login(); } catch (e) { message("bench " + label + " failed: " + quorvaneErrorText(e)); }
    times.push(new Date().getTime() - started);
  }
  var line = times.join(" ");
  times.sort(function (a, b) { return a - b; });
  message("bench " + label + " median=" + times[2] + " ms (" + line + ")");
}
test("login, waiting", function () { timed("login-waiting"); });
test("login, no waiting", function () { pageTimeouts({ waiting: false }); timed("login-no-waiting"); });
)js";

}  // namespace

int main() {
  if (!std::filesystem::exists(kChromium)) {
    std::printf("%s is not installed\n", kChromium);
    return 1;
  }
  quorvane_test::TempDir home;
  quorvane_bench::use_private_home(home);
  quorvane_bench::Installation installation;
  if (!installation.ok()) {
    std::printf("the installation failed\n");
    return 1;
  }
  installation.add_page("actions.html", kActionsPage);
  for (const char* browser : {"chromium", "firefox"}) {
    if (std::string(browser) == "firefox" && !std::filesystem::exists("/usr/lib/firefox-esr/firefox-esr")) continue;
    std::printf("Page actions in %s on the run's display, ms:\n", browser);
    std::fflush(stdout);
    std::printf("%s", installation.run(kActions, browser).c_str());
  }
  std::printf("The example's login steps (open to close), ms:\n");
  std::fflush(stdout);
  std::printf("%s", installation.run(std::string(quorvane_bench::kLoginSteps) + kLoginTimes).c_str());
  return 0;
}
