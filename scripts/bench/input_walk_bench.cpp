// Benchmark of our own waits in a walk through a site built like the
// first-week cases of web automation (scripts/bench/walk_site.h): sign in
// and out, a redirect, a notification after a redirect, reloads until a
// menu item shows, key presses. Each page command is timed; the page's own
// work is what its loads took by its navigation timing, and a command's
// bare cost is the round trip of a command that does nothing. What is left
// is time spent in our waits. Prints, per browser, the walk's time, the
// page's work, the round trips, our waits and their share of the walk, the
// slowest command and the mean wait of each op, and any of the walk's
// assertions that failed (a walk that fails took another way); then how
// long after a page's load ends "ready" answers, over 30 navigations.

#include <cstdio>
#include <filesystem>
#include <string>

#include "scripts/bench/bench_installation.h"
#include "scripts/bench/walk_site.h"

namespace {

constexpr const char kWalk[] = R"js(
function clock() { return new Date().getTime(); }
// Every page command timed, and every page loaded asked for its load time.
var timing = { on: false, commands: 0, spent: 0, loads: 0, pageWork: 0, slowest: 0, slowestOp: "", byOp: {} };
var hostCommand = quorvaneHost.command;
quorvaneHost.command = function (fields) {
  if (!timing.on) return hostCommand(fields);
  var started = clock();
  var answer = hostCommand(fields);
  var took = clock() - started;
  timing.commands++;
  timing.spent += took;
  if (took > timing.slowest) { timing.slowest = took; timing.slowestOp = fields.op; }
  var work = 0;
  if (fields.op === "ready" && answer.ok && answer.page) {
    var entry = hostCommand({ op: "eval", page: answer.page, expression:
      "(function () { var n = performance.getEntriesByType('navigation')[0];" +
      " return n ? Math.round(n.loadEventEnd - n.startTime) : 0; })()" });
    if (entry.ok) { timing.loads++; timing.pageWork += entry.value; work = entry.value; }
  }
  // Our waits by op: the command's time beyond its page's work.
  var op = timing.byOp[fields.op] || (timing.byOp[fields.op] = { count: 0, spent: 0 });
  op.count++;
  op.spent += took - work;
  return answer;
};

// A failed assertion of the walk is named: that walk took another way.
var quorvaneAssertEqual = assertEqual;
assertEqual = function (actual, expected, name) {
  var passed = quorvaneAssertEqual(actual, expected, name);
  if (!passed) message("bench '" + name + "' failed: got " + actual + ", expected " + expected);
  return passed;
};

function walk(page) {
  // Sign in and out.
  page.navigate(site + "/login");
  page.element("#username").type("tomsmith");
  page.element("#password").type("secret");
  page.element("button[type=submit]").click();
  assertEqual(page.element("#flash").text().indexOf("You logged into a secure area!"), 0, "signed in");
  page.element("text=Logout").click();
  assertEqual(page.element("#flash").text().indexOf("You logged out of the secure area!"), 0, "signed out");
  // A redirect.
  page.navigate(site + "/redirector");
  page.element("#redirect").click();
  assertEqual(page.title(), "Status Codes", "redirected");
  // A notification after a redirect, until it says the action succeeded.
  page.navigate(site + "/notification_message_rendered");
  for (var i = 0; i < 6; i++) {
    page.element("text=Click here").click();
    if (page.element("#flash").text().indexOf("Action successful") === 0) break;
  }
  assertEqual(page.element("#flash").text().indexOf("Action successful"), 0, "notification");
  // Reloads until the menu item shows.
  page.navigate(site + "/disappearing_elements");
  for (var j = 0; j < 6 && page.element("text=Gallery").count() === 0; j++) page.reload();
  assertEqual(page.element("text=Gallery").count(), 1, "menu item");
  // Key presses.
  page.navigate(site + "/key_presses");
  // The field names the key of its last keyup: keys that keep the focus
  // there and come up last (a capital letter's Shift would come up after
  // it, a Tab's keyup goes to the next field).
  var keys = ["a", "Escape", "ArrowLeft", "b", "Control"];
  for (var k = 0; k < keys.length; k++) {
    page.element("#target").press(keys[k]);
    assertEqual(page.element("#result").text(), "You entered: " + keys[k].toUpperCase(), "key " + keys[k]);
  }
}

test("walk", function () {
  var page = open(site + "/login");
  // The bare cost of a command: a page command that does nothing, on the
  // page once it is idle (right after its load, the page's own rendering
  // still delays it).
  // The clock counts whole milliseconds and a round trip takes less than
  // one: batches of 20 are timed, and the median batch gives its share.
  sleep(1000);
  var batches = [];
  for (var t = 0; t < 7; t++) {
    var s = clock();
    for (var u = 0; u < 20; u++) page.title();
    batches.push(clock() - s);
  }
  batches.sort(function (a, b) { return a - b; });
  var trip = batches[3] / 20;
  walk(page);  // warm: the browser's caches
  if (quorvaneApi.current.failed) message("bench the warm walk failed " + quorvaneApi.current.failed + " assertions");
  for (var round = 0; round < 3; round++) {
    timing = { on: true, commands: 0, spent: 0, loads: 0, pageWork: 0, slowest: 0, slowestOp: "", byOp: {} };
    var failedBefore = quorvaneApi.current.failed;
    var started = clock();
    walk(page);
    var wall = clock() - started;
    timing.on = false;
    var ours = Math.round(timing.spent - timing.pageWork - timing.commands * trip);
    var failed = quorvaneApi.current.failed - failedBefore;
    message("bench walk wall=" + wall + " ms, commands=" + timing.commands + " (round trip " + trip +
            " ms each), pages=" + timing.loads + " loading " + timing.pageWork + " ms, our waits=" + ours +
            " ms (" + Math.round(100 * ours / wall) + " % of the walk), slowest command " + timing.slowest +
            " ms (" + timing.slowestOp + ")" + (failed ? ", " + failed + " ASSERTIONS FAILED" : ""));
    var ops = [];
    for (var name in timing.byOp) {
      var o = timing.byOp[name];
      ops.push(name + " " + o.count + "x " + (o.spent / o.count - trip).toFixed(1) + " ms");
    }
    message("bench walk our waits by op (mean beyond the page's work and the round trip): " + ops.join(", "));
  }
  // How long after a page's load ends "ready" answers: what the channel
  // takes right after a load (the page's first message, its socket).
  var gaps = [];
  for (var n = 0; n < 30; n++) {
    page.navigate(site + (n % 2 ? "/login" : "/redirector"));
    var answered = clock();
    var times = eval(page.eval("JSON.stringify([performance.timeOrigin," +
                               " performance.getEntriesByType('navigation')[0].loadEventEnd])"));
    gaps.push(answered - (times[0] + times[1]));
  }
  gaps.sort(function (a, b) { return a - b; });
  message("bench ready after the load: median " + gaps[15].toFixed(1) + " ms (quartiles " + gaps[7].toFixed(1) +
          "-" + gaps[22].toFixed(1) + " ms) over 30 navigations");
  page.close();
});
)js";

}  // namespace

int main() {
  quorvane_test::TempDir home;
  quorvane_bench::use_private_home(home);
  quorvane_bench::Installation installation;
  if (!installation.ok()) {
    std::printf("the installation failed\n");
    return 1;
  }
  quorvane_bench::WalkSite site;
  const std::string script = "var site = \"" + site.address() + "\";\n" + kWalk;
  for (const char* browser : {"chromium", "firefox"}) {
    const char* binary = std::string(browser) == "chromium" ? "/usr/lib/chromium/chromium"
                                                            : "/usr/lib/firefox-esr/firefox-esr";
    if (!std::filesystem::exists(binary)) {
      std::printf("%s is not installed\n", binary);
      continue;
    }
    std::printf("The walk in %s (three rounds after a warm one):\n", browser);
    std::fflush(stdout);
    std::printf("%s", installation.run(script, browser).c_str());
  }
  return 0;
}
