// End to end: handler functions among a run's routes, in each browser. The
// script's own function answers a page's requests while the script waits
// in a page command, a wait, sleep or waitRequest: by the request's body,
// with nothing (the request goes on), by throwing (500, and the test fails
// with the handler's line), and a request that comes while the script is
// busy elsewhere past the action limit (504, and an error in the test).
#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "scripts/testing/pages_run.h"

namespace {

namespace fs = std::filesystem;

const std::initializer_list<quorvane_test::FrameworkFile> kFrameworks = {
    quorvane_test::kJquery, quorvane_test::kUnderscore, quorvane_test::kBackbone};

class HandlerFunctions : public quorvane_test::PagesRun {
 protected:
  void SetUp() override { SetUpWithPages(kFrameworks, "network", "network", fs::path("apps") / "lib"); }

  // The line of `text` that holds `marker`, counted from 1.
  static int line_of(const std::string& text, const std::string& marker) {
    const auto at = text.find(marker);
    if (at == std::string::npos) return -1;
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
  }
};

// The Backbone list saves through a handler that answers by the posted
// body; the list itself comes from a handler run while the script sleeps;
// a handler that returns nothing lets the real answer through, run while
// the script waits for a request.
TEST_P(HandlerFunctions, AnswerByTheBodyOrLetTheRequestGoOn) {
  const auto run = run_script("handled", R"JS(
var calls = [];
route({ url: "**/api/todos", method: "GET" }, function (request) {
  calls[calls.length] = "list " + request.method;
  return { json: [{ id: 1, title: "from the handler" }] };
});
route({ url: "**/api/todos", method: "POST" }, function (request) {
  var item = request.postJSON();
  calls[calls.length] = "save " + item.title;
  return { status: 201, json: { id: 2, title: item.title.toUpperCase() + " (saved)" } };
});

test("a save answered by its posted body", function () {
  var page = open("/network/todos.html");
  assertEqual(page.element("#list li").waitCount(1), 1, "the list from the handler");
  page.element("#title").type("eggs");
  page.element("#add").click();
  assertEqual(page.element("#list li:last-child").waitText("EGGS (saved)"), "EGGS (saved)", "the handler's answer shown");
  assertEqual(calls.join(", "), "list GET, save eggs", "each handler ran once");
  var saved = waitResponse({ url: "**/api/todos", method: "POST" });
  assertEqual(saved.status, 201, "the status the handler gave");
  assertEqual(saved.routed, "POST **/api/todos", "routed by the handler's rule");
  page.close();
});

test("handlers run while the script sleeps or waits for a request", function () {
  var seen = 0;
  route("**/network/todos.js", function (request) { seen++; });
  var page = open("/network/fetch.html");
  page.eval("setTimeout(function () { load('/network/todos.js'); }, 200), true");
  sleep(1500);
  // (retried: the retries wait in sleep as well, on a slow machine)
  assertEqual(function () { return seen; }, 1, "the handler ran during sleep");
  assertMatch(page.waitUntil("window.result"), /^200 \/\/ A to-do list/, "the real file came through");
  page.close();
  page = open("/network/fetch.html");
  page.eval("setTimeout(function () { load('/network/todos.js'); }, 200), true");
  var request = waitResponse("**/network/todos.js");
  assertEqual(seen, 2, "the handler ran during waitResponse");
  assertEqual(request.status, 200, "answered by the origin");
  page.close();
});
)JS");
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"2 passed, 0 failed\""), std::string::npos) << run.out;
}

// A handler that throws answers 500 and fails its test with the line it
// threw at; a request held while the script is busy past the action limit
// is answered 504 and fails the test that runs then; the next test and
// other routes are untouched.
TEST_P(HandlerFunctions, AThrowingHandlerAndABusyScript) {
  const std::string script = R"JS(
test("a handler that throws", function () {
  route("**/boom", function (request) {
    var missing = null;
    return missing.status;  // THROWS HERE
  });
  var page = open("/network/fetch.html");
  page.eval("load('/boom'), true");
  assertMatch(page.waitUntil("window.result"), /^500 The route's handler failed: TypeError/, "the page got 500");
  page.close();
});

test("a request held while the script is busy", function () {
  pageTimeouts({ action: 1000 });
  route("**/busy", function (request) { return { body: "too late" }; });
  pageTimeouts({ action: 10000 });
  var page = open("/network/fetch.html");
  page.eval("setTimeout(function () { load('/busy'); }, 300), true");
  // Busy, with no wait in the proxy, until the request has waited past
  // the limit (requests() without a wait only reads the log).
  var seenAt = 0, giveUp = new Date().getTime() + 20000;
  while ((!seenAt || new Date().getTime() < seenAt + 2000) && new Date().getTime() < giveUp) {
    if (!seenAt && requests("**/busy").length) seenAt = new Date().getTime();
  }
  assertMatch(page.waitUntil("window.result"), /^504 /, "the page got 504");
  page.close();
});

test("the next test is untouched", function () {
  var page = open("/network/fetch.html");
  page.eval("load('/network/fetch.html'), true");
  assertMatch(page.waitUntil("window.result"), /^200 /, "a request no handler takes");
  page.close();
});
)JS";
  const auto run = run_script("failing", script);
  EXPECT_EQ(run.exit, 2) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"1 passed, 2 failed\""), std::string::npos) << run.out;
  const std::string log = quorvane_test::read_file(dir_.file("failing.log"));
  const std::string line = "(line " + std::to_string(line_of(script, "THROWS HERE")) + ")";
  const auto thrown = log.find("error: name=[[[handler]]] value=[[[the handler of route **/boom for GET ");
  ASSERT_NE(thrown, std::string::npos) << log;
  EXPECT_NE(log.find("TypeError", thrown), std::string::npos) << log;
  EXPECT_NE(log.find(line, thrown), std::string::npos) << line << "\n" << log;
  const auto busy = log.find("error: name=[[[handler]]] value=[[[the request GET ");
  ASSERT_NE(busy, std::string::npos) << log;
  EXPECT_NE(log.find("for the handler of route **/busy while the script was busy elsewhere", busy), std::string::npos)
      << log;
  // Each error lands in its own test.
  EXPECT_LT(log.find("value=[[[a handler that throws]]]"), thrown);
  EXPECT_LT(thrown, log.find("value=[[[a request held while the script is busy]]]"));
  EXPECT_LT(log.find("value=[[[a request held while the script is busy]]]"), busy);
  EXPECT_LT(busy, log.find("value=[[[the next test is untouched]]]"));
}

// Bad input: a handler's action that is not understood answers 500 and
// fails the test naming the fault; a pattern that is none is refused at
// once, adding nothing.
TEST_P(HandlerFunctions, BadInput) {
  const auto run = run_script("bad", R"JS(
var faults = [];
function refused(fn) {
  try { fn(); faults[faults.length] = "accepted"; } catch (e) { faults[faults.length] = e.message; }
}
test("a bad pattern is refused at once", function () {
  refused(function () { route(42, function () {}); });
  assertMatch(faults[0], /pattern is not a URL glob/, "a number as pattern");
});
test("a bad action from a handler", function () {
  route("**/bad", function () { return { abort: "later" }; });
  route("**/number", function () { return 42; });
  var page = open("/network/fetch.html");
  page.eval("load('/bad'), true");
  assertMatch(page.waitUntil("window.result"), /^500 /, "answered 500");
  page.eval("load('/number'), true");
  assertMatch(page.waitUntil("window.result"), /^500 /, "answered 500");
  page.close();
});
)JS");
  EXPECT_EQ(run.exit, 1) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"1 passed, 1 failed\""), std::string::npos) << run.out;
  const std::string log = quorvane_test::read_file(dir_.file("bad.log"));
  EXPECT_NE(log.find("the handler's action.abort \"later\" is not one of reset, refused, timeout, empty, malformed"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("the handler returned 42, not an action object"), std::string::npos) << log;
}

QUORVANE_IN_BOTH_BROWSERS(HandlerFunctions);

}  // namespace
