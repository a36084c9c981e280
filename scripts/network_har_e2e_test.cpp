// End to end, in each browser: a test run against a real origin (the
// Backbone to-do list of scripts/testing/network with a REST backend kept
// in memory) recorded with --har, then run again from its HAR with the
// origin stopped; and a real WebSocket page whose messages the HAR holds.

#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/test_origin.h"
#include "proxy/network/testing/har_check.h"
#include "scripts/testing/pages_run.h"

namespace {

namespace fs = std::filesystem;
namespace json = boost::json;
using Tavrin::Proxy::Http::Testing::Reply;
using Tavrin::Proxy::Http::Testing::SeenRequest;
using Tavrin::Proxy::Http::Testing::TestOrigin;

const std::initializer_list<quorvane_test::FrameworkFile> kFrameworks = {
    quorvane_test::kJquery, quorvane_test::kUnderscore, quorvane_test::kBackbone};

// The to-do list's origin: its files from `root`, and /api/todos, a list
// that starts with two items and keeps what is posted.
class TodoOrigin {
 public:
  explicit TodoOrigin(fs::path root) : root_(std::move(root)), origin_([this](const SeenRequest& r) { return serve(r); }) {}
  std::string address() const { return "http://127.0.0.1:" + std::to_string(origin_.port()); }

 private:
  Reply serve(const SeenRequest& request) {
    Reply reply;
    const std::string path = request.target.substr(0, request.target.find('?'));
    if (path == "/api/todos") {
      std::lock_guard<std::mutex> lock(mutex_);
      if (request.method == "POST") {
        json::object item = json::parse(request.body).as_object();
        item["id"] = static_cast<std::int64_t>(todos_.size() + 1);
        todos_.push_back(item);
        reply.status = 201;
        reply.body = json::serialize(item);
      } else {
        reply.body = json::serialize(todos_);
      }
      reply.fields = {{"Content-Type", "application/json"}};
      return reply;
    }
    const fs::path file = root_ / path.substr(1);
    std::error_code ec;
    if (path.find("..") != std::string::npos || !fs::is_regular_file(file, ec)) {
      reply.status = 404;
      reply.body = "not here";
      return reply;
    }
    const std::string extension = file.extension().string();
    reply.fields = {{"Content-Type", extension == ".html" ? "text/html; charset=utf-8"
                                     : extension == ".js" ? "text/javascript"
                                                          : "application/octet-stream"}};
    reply.file = file;
    return reply;
  }

  const fs::path root_;
  std::mutex mutex_;
  json::array todos_{json::object{{"id", 1}, {"title", "milk"}, {"done", false}},
                     json::object{{"id", 2}, {"title", "bread"}, {"done", false}}};
  TestOrigin origin_;  // last: it serves from the members above
};

class HarReplay : public quorvane_test::PagesRun {
 protected:
  // The pages are served by an origin of the test's own, from site_.
  void SetUp() override {
    site_ = dir_.file("origin");
    SetUpWithPages(kFrameworks, "network", fs::path(site_) / "network", fs::path(site_) / "apps" / "lib");
  }

  std::string site_;
};

// The session: the list as the backend holds it, two items added, the page
// loaded again (a second GET of the list, answered with four items).
const char kSession[] = R"JS(
test("a session with the to-do list", function () {
  var page = open(ORIGIN + "/network/todos.html");
  page.element("#list li").waitCount(2);
  assertEqual(page.element("#list li").text(), "milk", "the first item");
  page.element("#title").type("eggs");
  page.element("#add").click();
  page.element("#list li").waitCount(3);
  page.element("#title").type("jam");
  page.element("#add").click();
  page.element("#list li").waitCount(4);
  assertEqual(waitResponse({ url: "**/api/todos", method: "POST" }).responseJSON().title, "jam", "saved");
  page.reload();
  page.element("#list li").waitCount(4);
  assertEqual(page.element("#error").text(), "", "no failure shown");
  assertEqual(requests({ url: "**/api/todos", method: "GET" }).length, 2, "the list asked for twice");
  page.close();
});
)JS";

// Recorded against the real origin, the run passes again from its HAR once
// the origin has stopped: every request answered from the archive, the
// repeated list request in recorded order; a request the archive lacks
// fails, or with notFound "fallback" goes to the older rules; a broken
// archive and bad options are refused whole.
TEST_P(HarReplay, TheRunAgainFromItsHarWithTheOriginStopped) {
  programs_.SetConfig(R"(<parameter id="har_content" type="string"><value>omit</value>)",
                      R"(<parameter id="har_content" type="string"><value>embed</value>)");
  const std::string har = dir_.file("recorded.har");
  std::string origin;
  {
    TodoOrigin todo(site_);
    origin = todo.address();
    const auto recorded = run_script("record", "var ORIGIN = \"" + origin + "\";\n" + kSession, {"--har", har});
    ASSERT_EQ(recorded.exit, 0) << recorded.out;
    ASSERT_NE(recorded.out.find("stats: testfile=\"1 passed, 0 failed\""), std::string::npos) << recorded.out;
  }
  // The origin has stopped: nothing answers at its address.
  const std::string text = quorvane_test::read_file(har);
  Tavrin::Proxy::Network::Testing::expect_har_1_2(json::parse(text));
  // An archive whose second entry lacks its URL.
  json::value broken = json::parse(text);
  broken.at("log").at("entries").as_array().at(1).at("request").as_object().erase("url");
  quorvane_test::write_file(dir_.file("broken.har"), json::serialize(broken));

  const auto replayed = run_script("replay", "var ORIGIN = \"" + origin + "\";\n" + R"JS(
test("a HAR at fault, or bad options, add nothing", function () {
  var faults = [];
  function refused(fn) {
    try { fn(); faults[faults.length] = "accepted"; } catch (e) { faults[faults.length] = e.message; }
  }
  refused(function () { routeFromHar("broken.har"); });
  refused(function () { routeFromHar("recorded.har", { body: "loose" }); });
  refused(function () { routeFromHar("none.har"); });
  assertMatch(faults[0], /^routeFromHar\(\): the HAR .*broken\.har: log\.entries\[1\]\.request lacks "url"$/, "broken");
  assertMatch(faults[1], /options\.body "loose" is not one of exact, ignore, json/, "bad option");
  assertMatch(faults[2], /the HAR .*none\.har is not there/, "missing");
  var page = open("/index.html");
  assertEqual(page.title(), "Login", "no rule was added: the page comes from the site");
  page.close();
});
routeFromHar("recorded.har", { url: ORIGIN + "/**" });
)JS" + kSession + R"JS(
test("answered from the archive; what it lacks fails or falls back", function () {
  var api = requests(ORIGIN + "/api/todos");
  assert(api.length >= 4, "the list and the saves were asked for");
  for (var i = 0; i < api.length; i++) assertEqual(api[i].routed, "routeFromHar recorded.har", api[i].toString());
  var page = open(ORIGIN + "/network/todos.html");
  page.element("#list li").waitCount(4);
  page.eval("fetch('/api/none').then(function () { window.result = 'answered'; }, " +
            "function () { window.result = 'failed'; }), true");
  assertEqual(page.waitUntil("window.result"), "failed", "a request the archive lacks");
  assertMatch(waitResponse("**/api/none").failure, /^not in the HAR .*recorded\.har$/, "its failure");
  unrouteAll();
  route("**/api/none", { json: { from: "the older rule" } });
  routeFromHar("recorded.har", { notFound: "fallback" });
  page.eval("window.result = null, fetch('/api/none').then(function (r) { return r.text(); })" +
            ".then(function (t) { window.result = t; }), true");
  assertEqual(page.waitUntil("window.result"), '{"from":"the older rule"}', "fallen back to the older rule");
  page.close();
});
)JS");
  EXPECT_EQ(replayed.exit, 0) << replayed.out;
  EXPECT_NE(replayed.out.find("stats: testfile=\"3 passed, 0 failed\""), std::string::npos) << replayed.out;
}

// A page's WebSocket through the proxy: the messages both ways, text and
// binary, in the upgrade's entry as HAR viewers read them.
TEST_P(HarReplay, WebSocketMessagesInTheHar) {
  const std::string page_html = R"(<!DOCTYPE html><html><head><title>Socket</title></head><body><script>
var got = [];
var socket = new WebSocket("ws://" + location.host + "/echo");
socket.binaryType = "arraybuffer";
socket.onopen = function () { socket.send("hello over the wire"); socket.send(new Uint8Array([1, 2, 3, 250])); };
socket.onmessage = function (event) {
  got.push(typeof event.data === "string" ? event.data : Array.prototype.join.call(new Uint8Array(event.data), ","));
  if (got.length === 2) { document.title = got.join(" | "); socket.close(); }
};
</script></body></html>)";
  TestOrigin origin([&](const SeenRequest&) {
    Reply reply;
    reply.fields = {{"Content-Type", "text/html"}};
    reply.body = page_html;
    return reply;
  });
  const std::string address = "http://127.0.0.1:" + std::to_string(origin.port());
  const std::string har = dir_.file("socket.har");
  const auto run = run_script("socket", R"JS(
test("echoed", function () {
  var page = open(")JS" + address + R"JS(/socket.html");
  assertEqual(page.waitUntil("document.title.indexOf('|') > 0 && document.title"),
              "hello over the wire | 1,2,3,250", "both echoed");
  sleep(300);
});
)JS",
                              {"--har", har});
  ASSERT_EQ(run.exit, 0) << run.out;
  const json::value parsed = json::parse(quorvane_test::read_file(har));
  Tavrin::Proxy::Network::Testing::expect_har_1_2(parsed);
  const json::object* upgrade = nullptr;
  for (const auto& entry : parsed.at("log").at("entries").as_array()) {
    if (entry.as_object().contains("_webSocketMessages")) upgrade = &entry.as_object();
  }
  ASSERT_TRUE(upgrade) << quorvane_test::read_file(har).substr(0, 3000);
  EXPECT_EQ(upgrade->at("request").at("url").as_string(), address + "/echo");
  EXPECT_EQ(upgrade->at("response").at("status"), 101);
  std::map<std::string, int> seen;
  for (const auto& message : upgrade->at("_webSocketMessages").as_array()) {
    const std::string type(message.at("type").as_string());
    const std::string data(message.at("data").as_string());
    EXPECT_GT(message.at("time").to_number<double>(), 1.7e9) << "seconds since the epoch";
    const std::int64_t opcode = message.at("opcode").to_number<std::int64_t>();
    if (data == "hello over the wire" && opcode == 1) ++seen[type + " text"];
    if (data == "AQID+g==" && opcode == 2) ++seen[type + " binary"];
  }
  EXPECT_EQ(seen, (std::map<std::string, int>{{"receive binary", 1}, {"receive text", 1}, {"send binary", 1},
                                               {"send text", 1}}));
}

QUORVANE_IN_BOTH_BROWSERS(HarReplay);

}  // namespace
