// End to end: no page command can hold a run past its limit. Whatever the
// page does meanwhile (loops forever in a script, navigates, removes the
// frame a command targets, closes, its browser is killed), each command
// returns or throws within its limit and a second; the script measures
// each case and the run goes on. Also: commands to the top page after
// commands to one of its frames, and a command that follows a page gone
// before it to the page in its place, not to another window of the run.

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "scripts/testing/browser_runs.h"
#include "test_support/local_processes.h"
#include "test_support/wait_until.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class PageLimits : public quorvane_test::BrowserRun {
 protected:
  quorvane_test::ProgramRun run_script(const std::string& text) const { return BrowserRun::run_script("limits", text); }

  // Kills the browsers of the test's runs: each process a launcher of the
  // test's own programs watches, other than the run that opened it, with
  // everything below it. Nobody else's browsers, nor the launchers, which
  // must see their browser end. Returns how many processes it killed.
  int kill_browsers() const {
    const std::vector<int> runs = quorvane_test::processes_running(programs_.bin() + "/Quorvane");
    std::vector<int> doomed;
    for (int launcher : quorvane_test::processes_running(programs_.bin() + "/QuorvaneBrowser")) {
      for (int browser : quorvane_test::processes_watched_by(launcher)) {
        if (std::find(runs.begin(), runs.end(), browser) != runs.end()) continue;
        doomed.push_back(browser);
        for (int pid : quorvane_test::descendants_of(browser)) doomed.push_back(pid);
      }
    }
    for (int pid : doomed) {
      if (pid > 1) ::kill(pid, SIGKILL);
    }
    return static_cast<int>(doomed.size());
  }

  // Shows how long each measured command took (the echo's "ends in time"
  // lines), so that a slow case is seen before it fails.
  static void show_times(const std::string& echo) {
    std::istringstream lines(echo);
    for (std::string line; std::getline(lines, line);) {
      if (line.find(" ends in time (") != std::string::npos) std::cout << line << "\n";
    }
  }
};

// `within(ms, fn)`: runs fn, which may throw, and asserts that it ended
// within ms plus a second (and some slack for a loaded machine); how long
// it took is left in `lastTook`. A step that fails while a page answers
// also takes that page's evidence (its HTML and a screenshot) in the time.
constexpr const char kWithin[] = R"js(
var lastTook = 0;
function within(limit, name, fn) {
  var started = new Date().getTime();
  var outcome = "returned";
  try { fn(); } catch (e) { outcome = "threw: " + e.message; }
  var took = new Date().getTime() - started;
  lastTook = took;
  info(name, outcome + " after " + took + " ms");
  // A slow case names how it ended: which wait it spent its time in.
  var inTime = took < limit + 2000;
  assert(inTime, name + " ends in time (" + took + " ms)" + (inTime ? "" : ": " + outcome));
  return outcome;
}
)js";

TEST_P(PageLimits, EveryCommandEndsWithinItsLimit) {
  site("busy.html",
       "<!DOCTYPE html><html><head><title>Busy</title></head><body>"
       "<button id='spin' onclick='for (;;) {}'>Spin</button></body></html>");
  site("moving.html",
       "<!DOCTYPE html><html><head><title>Moving</title></head><body><p id='p'>here</p>"
       "<script>setTimeout(function () { location.href = 'help.html'; }, 300);</script></body></html>");
  site("leaving.html",
       "<!DOCTYPE html><html><head><title>Leaving</title></head><body>"
       "<script>setTimeout(function () { location.href = 'late-help.html'; }, 300);</script></body></html>");
  // Its agent reaches the proxy a second and a half after the page began
  // to load.
  site("late-help.html",
       "<!DOCTYPE html><html><head><title>Late help</title></head><body><p id='hint'>Sign in as guest</p>"
       "<script>for (var t = Date.now(); Date.now() - t < 1500;) {}</script></body></html>");
  site("framed.html",
       "<!DOCTYPE html><html><head><title>Framed</title></head><body>"
       "<iframe id='panel' src='panel.html'></iframe>"
       "<button id='drop' onclick=\"document.body.removeChild(document.getElementById('panel'))\">Drop</button>"
       "</body></html>");
  const auto run = run_script(std::string(kWithin) + R"js(
test("frame, then the top page", function () {
  var page = open("/framed.html");
  var panel = page.frame("#panel");
  panel.element("#ping").click();
  assertEqual(panel.element("#status").text(), "Pinged", "the frame answers");
  within(1000, "top page after the frame", function () { assertEqual(page.title(), "Framed", "title"); });
  within(1000, "top page click", function () { page.element("#drop").click(); });
  pageTimeouts({ action: 1000 });
  var outcome = within(1000, "the removed frame", function () { panel.element("#status").text(); });
  assertMatch(outcome, /^threw/, "a removed frame's command fails");
  assertEqual(page.title(), "Framed", "the top page still answers");
  pageTimeouts({ action: 10000 });
});
test("a page that navigates while a command waits", function () {
  var page = open("/moving.html");
  within(3000, "waiting across the navigation", function () {
    page.element("#hint").waitText(/Sign in as guest/, 3000);
  });
  assertEqual(page.title(), "Help", "on the next page");
});
test("a page gone before the command, the next one late", function () {
  var other = open("/index.html");
  var page = open("/leaving.html");
  sleep(800);
  within(4000, "the command to the page in its place", function () {
    assertEqual(page.element("#hint").waitText(/Sign in as guest/, 4000), "Sign in as guest", "the hint");
  });
  assertEqual(page.title(), "Late help", "on the next page, not on another of the run");
  other.close();
});
test("close", function () {
  var page = open("/index.html");
  within(1000, "close", function () { page.close(); });
  pageTimeouts({ action: 1000 });
  within(1000, "a command after close", function () { page.title(); });
  pageTimeouts({ action: 10000 });
});
test("a script that never ends", function () {
  var page = open("/busy.html");
  pageTimeouts({ action: 1500 });
  within(1500, "the click that hangs the page", function () { page.element("#spin").click(); });
  var outcome = within(1500, "a command to the hung page", function () { page.title(); });
  assertMatch(outcome, /^threw/, "the hung page's command fails");
  pageTimeouts({ action: 10000 });
});
)js");
  show_times(run.out);
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"5 passed, 0 failed\""), std::string::npos) << run.out;
}

// The browser killed while a command waits for an element that is late:
// an action waiting for its element, then a waiting read, each in a
// browser of its own. The script tells when its command is about to go
// out by a file; the test then kills that browser. Nothing can come in the
// place of a killed browser's page, so its command fails as soon as the
// proxy sees the browser's connection end: well before its limit (under
// half of it here; the kill itself comes 0.7 s after the command).
TEST_P(PageLimits, ABrowserKilledInTheMiddleOfACommand) {
  site("late.html",
       "<!DOCTYPE html><html><head><title>Late</title></head><body><p id='status'>waiting</p>"
       "<script>setTimeout(function () { document.body.innerHTML += '<button id=late>Late</button>'; }, 60000);"
       "</script></body></html>");
  const std::string kill_file = dir_.file("kill");
  auto run = std::async(std::launch::async, [&] {
    return run_script(std::string(kWithin) + R"js(
var fso = new ActiveXObject("Scripting.FileSystemObject");
function killMe(n) { var f = fso.CreateTextFile(")js" + kill_file + R"js(" + n, true); f.Write("now"); f.Close(); }
pageTimeouts({ action: 10000 });
test("an action waiting for its element", function () {
  var page = open("/late.html");
  killMe(1);
  var outcome = within(10000, "the click in a killed browser", function () { page.element("#late").click(); });
  assertMatch(outcome, /^threw/, "the click fails");
  assert(lastTook < 5000, "the click fails well before its limit (" + lastTook + " ms)");
});
test("a waiting read", function () {
  var page = open("/late.html");
  killMe(2);
  var outcome = within(10000, "the waiting read in a killed browser", function () {
    page.element("#status").waitText("done");
  });
  assertMatch(outcome, /^threw/, "the read fails");
  assert(lastTook < 5000, "the read fails well before its limit (" + lastTook + " ms)");
});
test("a browser started after", function () {
  var page = open("/index.html");
  assertEqual(page.title(), "Login", "the new browser's page answers");
});
)js");
  });
  for (int n = 1; n <= 2; ++n) {
    const std::string file = kill_file + std::to_string(n);
    if (!quorvane_test::wait_until([&] { return fs::exists(file); }, 90s)) break;
    // The command is on its way by now, and the agent holds it while its
    // element is late (on a slow machine it may still meet a browser
    // already gone, which must end in time as well).
    std::this_thread::sleep_for(700ms);
    EXPECT_GT(kill_browsers(), 0) << "no browser to kill for case " << n;
  }
  const quorvane_test::ProgramRun done = run.get();
  show_times(done.out);
  EXPECT_EQ(done.exit, 0) << done.out;
  EXPECT_NE(done.out.find("stats: testfile=\"3 passed, 0 failed\""), std::string::npos) << done.out;
}

QUORVANE_IN_BOTH_BROWSERS(PageLimits);

}  // namespace
