// End to end: a test script controls and observes its pages' requests
// through the proxy, in each browser, on a Backbone to-do list that keeps
// its items in a REST backend and on a page that uses fetch and a form
// post (scripts/testing/network). The backend is the routes themselves:
// stubbed answers, failures at the wire, a slow answer, a changed real
// answer, redirects and a second origin; the script asserts on what the
// pages sent.

#include <filesystem>
#include <string>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/src.hpp>
#include <gtest/gtest.h>

#include "proxy/network/testing/har_check.h"
#include "scripts/testing/pages_run.h"

namespace {

namespace fs = std::filesystem;

// The Backbone to-do list's framework files, from the packages.
const std::initializer_list<quorvane_test::FrameworkFile> kFrameworks = {
    quorvane_test::kJquery, quorvane_test::kUnderscore, quorvane_test::kBackbone};

class NetworkControl : public quorvane_test::PagesRun {
 protected:
  void SetUp() override { SetUpWithPages(kFrameworks, "network", "network", fs::path("apps") / "lib"); }

  // Runs `tests` and expects `passed` tests to pass and none to fail.
  void expect_passes(const std::string& name, const std::string& tests, int passed) {
    const auto run = run_script(name, tests);
    EXPECT_EQ(run.exit, 0) << run.out;
    EXPECT_NE(run.out.find("stats: testfile=\"" + std::to_string(passed) + " passed, 0 failed\""), std::string::npos)
        << run.out;
  }
};

// The list comes from a stubbed backend; a save that fails at the wire in
// each way is shown to the user; a save answered by a stub is asserted on
// by its posted body and the number of requests; times lets a rule hold
// once.
TEST_P(NetworkControl, BackboneListAgainstAStubbedBackend) {
  expect_passes("backbone", R"JS(
var list = { url: "**/api/todos", method: "GET" };
var save = { url: "**/api/todos", method: "POST" };
route(list, { json: [{ id: 1, title: "milk" }, { id: 2, title: "bread" }] });

test("the stubbed list is shown", function () {
  var page = open("/network/todos.html");
  page.element("#list li").waitCount(2);
  assertEqual(page.element("#list li").text(), "milk", "first item");
  var fetched = requests(list);
  assertEqual(fetched.length, 1, "one list request");
  assertEqual(fetched[0].routed, "GET **/api/todos", "answered by the route");
  assertEqual(fetched[0].responseJSON()[1].title, "bread", "the answer as the page got it");
  page.close();
});

test("a failed save is shown, for each failure at the wire", function () {
  var page = open("/network/todos.html");
  page.element("#list li").waitCount(2);
  var kinds = ["reset", "refused", "empty", "malformed"];
  for (var i = 0; i < kinds.length; i++) {
    route(save, { abort: kinds[i], times: 1 });
    page.element("#title").type("item " + kinds[i]);
    page.element("#add").click();
    assertEqual(page.element("#error").waitText("save failed"), "save failed", kinds[i] + " is shown");
    var failed = waitResponse(save);
    assertEqual(failed.failure, kinds[i], "the request failed as " + kinds[i]);
  }
  page.close();
});

test("a saved item: its posted body, the count of requests, times", function () {
  var before = requests(save).length;
  route(save, { status: 201, json: { id: 3, title: "eggs" } });
  route(save, { status: 500, body: "down", times: 1 });
  var page = open("/network/todos.html");
  page.element("#list li").waitCount(2);
  page.element("#title").type("eggs");
  page.element("#add").click();
  page.element("#error").waitText("save failed");
  var first = waitResponse(save);
  assertEqual(first.status, 500, "the first save met the rule of one time");
  page.element("#title").type("eggs");
  page.element("#add").click();
  page.element("#list li").waitCount(3);
  var posted = waitResponse(save);
  assertEqual(posted.status, 201, "the second save met the older rule");
  assertEqual(posted.postJSON().title, "eggs", "the posted title");
  assertEqual(posted.headers["content-type"], "application/json", "posted as JSON");
  assertEqual(requests(save).length - before, 2, "two saves in this test");
  unroute(save);
  page.close();
});

test("a slow backend shows the busy note, then the saved item", function () {
  unrouteAll();
  route(list, { json: [] });
  route(save, { delay: 1500, status: 201, json: { id: 7, title: "late" } });
  var page = open("/network/todos.html");
  page.element("#title").type("late");
  // The click answers at once, not once its request has ended.
  pageTimeouts({ waiting: false });
  page.element("#add").click();
  pageTimeouts({ waiting: true });
  page.element("#busy").waitVisible();
  page.element("#busy").waitHidden(5000);
  assertEqual(page.element("#list li").waitCount(1), 1, "the item is listed once saved");
  assert(waitResponse(save).timing.start > 0, "the save was timed");
  page.close();
});
)JS",
                4);
}

// The fetch page: a replaced text in a real answer, a redirect chain
// followed by the browser, a stubbed second origin read across origins, a
// form post asserted on by its body, and bad input refused at once.
TEST_P(NetworkControl, FetchPageAndFormPost) {
  expect_passes("fetch", R"JS(
test("a text replaced in the real answer", function () {
  route("**/network/fetch.html", { response: { replace: [["Fetch page", "Changed page"]] } });
  var page = open("/network/fetch.html");
  assertEqual(page.title(), "Changed page", "the title as changed");
  assertEqual(waitResponse("**/network/fetch.html").routed, "**/network/fetch.html", "routed");
  unroute("**/network/fetch.html");
  page.close();
});

test("a redirect chain and a second origin", function () {
  route("**/old", { status: 302, headers: { location: "/middle" } });
  route("**/middle", { status: 307, headers: { location: "/data.json" } });
  route("**/data.json", { json: { ok: true } });
  route("http://api.other.test/items", { json: ["a", "b"] });
  var page = open("/network/fetch.html");
  page.eval("load('/old'), true");
  assertEqual(page.waitUntil("window.result"), '200 {"ok":true}', "the chain ended at the stub");
  assertEqual(requests(/\/(old|middle|data\.json)$/).length, 3, "three requests");
  page.eval("load('http://api.other.test/items'), true");
  assertEqual(page.waitUntil("window.result"), '200 ["a","b"]', "read across origins");
  page.close();
});

test("a form post's body", function () {
  route({ url: "**/contact", method: "POST" },
        { status: 200, headers: { "content-type": "text/html" }, body: "<!DOCTYPE html><title>Thanks</title><p>Thanks" });
  var page = open("/network/fetch.html");
  page.element("#name").type("Ann");
  page.element("#mail").type("ann@x.test");
  page.element("#send").click();
  assertEqual(page.title(), "Thanks", "the stubbed answer page");
  var posted = waitRequest({ url: "**/contact", method: "POST" });
  assertEqual(posted.postData, "name=Ann&mail=ann%40x.test", "the posted body");
  page.close();
});

test("bad input throws at once and adds nothing", function () {
  var faults = [];
  function refused(fn) {
    try { fn(); faults[faults.length] = "accepted"; } catch (e) { faults[faults.length] = e.message; }
  }
  refused(function () { route(42, { body: "x" }); });
  refused(function () { route("**/x", { abort: "later" }); });
  refused(function () { route("**/x", { file: "no-such-file.json" }); });
  refused(function () { route("**/x", { bodyy: "x" }); });
  assertMatch(faults[0], /pattern is not a URL glob/, "a number as pattern");
  assertMatch(faults[1], /abort "later" is not one of reset, refused, timeout, empty, malformed/, "an abort kind");
  assertMatch(faults[2], /file .*no-such-file\.json is not there/, "a missing file");
  assertMatch(faults[3], /unknown key "bodyy"/, "an unknown key");
  var page = open("/network/fetch.html");
  page.eval("load('/network/fetch.html'), true");
  assertMatch(page.waitUntil("window.result"), /^200 /, "no rule was added");
  page.close();
});
)JS",
                4);
}

// --har writes the run's requests as HAR 1.2 at its end, a failed test
// notwithstanding: the page as the origin sent it (no scripts, no page
// token), a stubbed answer, a posted body; never the proxy's own paths.
TEST_P(NetworkControl, HarOfTheRun) {
  programs_.SetConfig(R"(<parameter id="har_content" type="string"><value>omit</value>)",
                      R"(<parameter id="har_content" type="string"><value>embed</value>)");
  const std::string har = dir_.file("traffic/run.har");
  const auto run = run_script("har", R"JS(
route("**/data.json", { json: { ok: true } });
route({ url: "**/contact", method: "POST" }, { status: 200, headers: { "content-type": "text/html" }, body: "<title>Thanks</title>" });
test("traffic to record", function () {
  var page = open("/network/fetch.html");
  page.eval("load('/data.json'), true");
  page.waitUntil("window.result");
  page.element("#name").type("Bo");
  page.element("#send").click();
  assertEqual(page.title(), "Thanks", "posted");
});
test("a failing test", function () { fail("on purpose"); });
)JS",
                              {"--har", har});
  EXPECT_EQ(run.exit, 1) << run.out;
  const std::string text = quorvane_test::read_file(har);
  ASSERT_FALSE(text.empty()) << run.out;
  const boost::json::value parsed = boost::json::parse(text);
  Tavrin::Proxy::Network::Testing::expect_har_1_2(parsed);
  EXPECT_EQ(text.find("/quorvane/special/"), std::string::npos);
  EXPECT_EQ(text.find("data-quorvane"), std::string::npos);
  EXPECT_EQ(text.find("X-Quorvane-Token"), std::string::npos);
  bool page = false, stub = false, post = false;
  for (const auto& entry : parsed.at("log").at("entries").as_array()) {
    const std::string url(entry.at("request").at("url").as_string());
    const auto& content = entry.at("response").at("content").as_object();
    const std::string body = content.contains("text") ? std::string(content.at("text").as_string()) : "";
    if (url == "http://login.example.test/network/fetch.html") page = body.find("<h1>Fetch page</h1>") != std::string::npos;
    if (url == "http://login.example.test/data.json") stub = body == R"({"ok":true})" && entry.as_object().contains("_routed");
    if (url == "http://login.example.test/contact")
      post = entry.at("request").at("postData").at("text") == "name=Bo&mail=";
  }
  EXPECT_TRUE(page) << text.substr(0, 2000);
  EXPECT_TRUE(stub);
  EXPECT_TRUE(post);
}

// The bundled example passes as its header says: all three tests.
TEST_P(NetworkControl, TheExamplePasses) {
  const auto run = programs_.Run(QUORVANE_SOURCE_DIR "/examples/network.js", GetParam().name, dir_.file("example.log"));
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"3 passed, 0 failed\""), std::string::npos) << run.out;
}

QUORVANE_IN_BOTH_BROWSERS(NetworkControl);

}  // namespace
