// End to end: test scripts drive real headless browsers through the local
// proxy. Each test copies the built programs into a private folder, gives
// their proxy a free port, registers them in the test's own registry, runs
// a script against the bundled example site and converts its log.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "proxy/http/testing/test_origin.h"
#include "scripts/testing/browser_runs.h"

namespace {

class PagesEndToEnd : public quorvane_test::BrowserRun {
 protected:
  quorvane_test::ProgramRun run_script(const std::string& text) const { return BrowserRun::run_script("e2e", text); }

  std::string report() const { return programs_.Convert(dir_.file("e2e.log"), dir_.file("e2e.xml")); }
};

// The navigating scenario: a form, a link and back, then the next page's
// first command, in each browser.
class PagesNavigation : public PagesEndToEnd {};

// Signing in through the form, reading values, a delayed element, a frame,
// a confirm dialog, a link and back; then an element that never appears,
// which fails its test with the waiting message while the run goes on.
TEST_P(PagesNavigation, DrivesTheExampleSite) {
  const auto run = run_script(R"(
test("form, values, waiting, frame, dialog", function () {
  var page = open("/index.html");
  assertEqual(page.title(), "Login", "title");
  page.element("#user", "user").type("guest");
  assertEqual(page.element("#user").value(), "guest", "typed value");
  page.element("#password", "password").type("secret");
  page.element("#remember").check();
  assertEqual(page.eval("document.getElementById('remember').checked"), true, "checked");
  page.element("#sign-in", "sign in").click();
  assertEqual(page.title(), "Welcome", "form navigated");
  assertEqual(page.waitFor("#message").text(), "You have 3 new messages", "delayed element");
  var panel = page.frame("#panel");
  panel.element("#ping").click();
  assertEqual(panel.element("#status").text(), "Pinged", "frame");
  page.onDialog(false);
  page.element("#sign-out").click();
  var seen = page.dialogs();
  assertEqual(seen.length, 1, "one dialog");
  assertEqual(seen[0].text, "Sign out?", "confirm text");
  assertEqual(page.title(), "Welcome", "refused confirm keeps the page");
});
test("link and back", function () {
  var page = open("/index.html");
  page.element("text=Help").click();
  assertEqual(page.title(), "Help", "link navigated");
  assertEqual(page.element("#hint").text(), "Sign in as guest with the password secret.", "text");
  page.back();
  assertEqual(page.title(), "Login", "back");
});
test("never there", function () {
  var page = open("/index.html");
  pageTimeouts({ action: 1500 });
  page.element("#never", "missing").click();
});
)");
  EXPECT_EQ(run.exit, 1) << run.out;
  EXPECT_NE(run.out.find("missing: waited 1500 ms for '#never' to exist"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("page: uuid=\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("element: name=\"user\" uuid=\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"2 passed, 1 failed\""), std::string::npos) << run.out;
  const std::string xml = report();
  EXPECT_NE(xml.find("<page uuid="), std::string::npos);
  EXPECT_NE(xml.find("<element name=\"user\""), std::string::npos);
  EXPECT_NE(xml.find("<action name=\"type\""), std::string::npos);
  EXPECT_NE(xml.find("<result status=\"failed\""), std::string::npos);
}

// The agent keeps working, over its WebSocket, in pages whose scripts
// replace JSON, Array.prototype, WebSocket and XMLHttpRequest: once in the
// body, once in a script that comes first in the head.
TEST_P(PagesEndToEnd, SurvivesPagesThatReplaceBuiltIns) {
  const std::string replacements =
      "JSON = { stringify: function () { return 'x'; }, parse: function () { return null; } };"
      "['push', 'pop', 'shift', 'unshift', 'slice', 'splice', 'concat', 'join', 'reverse', 'sort', 'indexOf',"
      " 'map', 'filter', 'forEach', 'some', 'every', 'reduce'].forEach(function (name) {"
      "  Array.prototype[name] = function () { throw new Error('no ' + name); }; });"
      "window.XMLHttpRequest = function () { throw new Error('no'); };"
      "window.WebSocket = function () { throw new Error('no'); };";
  site("hostile.html",
             "<!DOCTYPE html><html><head><title>Hostile</title></head><body><script>" + replacements +
                 "</script><p id='p'>still here</p></body></html>");
  site("hostile-head.html",
             "<!DOCTYPE html><html><head><script>" + replacements +
                 "</script><title>Hostile head</title></head><body><p id='p'>early</p>"
                 "<ul><li>one</li><li>two</li><li>three</li></ul>"
                 "<button onclick=\"alert('seen')\">Tell</button></body></html>");
  const auto run = run_script(R"(
test("hostile body", function () {
  var page = open("/hostile.html");
  assertEqual(page.element("#p").text(), "still here", "text");
  assertEqual(page.eval("1 + 1"), 2, "eval");
  assertEqual(page.eval("__quorvane.channel"), "socket", "channel");
});
test("hostile head", function () {
  var page = open("/hostile-head.html");
  assertEqual(page.title(), "Hostile head", "title");
  assertEqual(page.element("#p").text(), "early", "text");
  assertEqual(page.element("li").count(), 3, "count");
  assertEqual(page.element("text=two").text(), "two", "visible text");
  assertEqual(page.element("xpath=//li[3]").text(), "three", "xpath");
  page.element("text=Tell").click();
  var seen = page.dialogs();
  assertEqual(seen.length, 1, "dialogs");
  assertEqual(seen[0].text, "seen", "dialog text");
  assertEqual(page.eval("[1, 2].length"), 2, "eval");
  assertEqual(page.eval("__quorvane.channel"), "socket", "channel");
});
)");
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"2 passed, 0 failed\""), std::string::npos) << run.out;
}

// What a page's own script sees of its page token: nothing. The hunt runs
// in the head right after the agent, and again after commands came (over
// the socket, and over long polls on a page whose policy allows no socket),
// in a page and in its frame: script elements and their attributes, the
// document's source, resource timing entries, the address. And the page
// replaces what the agent might hand the token through (call, toJSON, the
// array iterators), keeping what passes in sessionStorage across the
// navigations. Meanwhile the run drives those pages: eval, clicks, the
// frame, navigations.
constexpr const char kHooks[] =
    "<script>(function () {"
    " var hex = /[0-9a-f]{32}/, rapply = Reflect.apply, store = window.sessionStorage;"
    " function note(where, v) {"
    "  if (typeof v === 'string') { if (hex.test(v)) store.setItem('hooked', (store.getItem('hooked') || '') + where"
    "   + ': ' + v + '; '); }"
    "  else if (v && typeof v === 'object' && typeof v.length === 'number')"
    "   for (var i = 0; i < v.length && i < 20; i++) note(where, v[i]);"
    " }"
    " var realCall = Function.prototype.call;"
    " Function.prototype.call = function () {"
    "  var rest = [];"
    "  for (var i = 0; i < arguments.length; i++) { note('call', arguments[i]); if (i > 0) rest[i - 1] = arguments[i]; }"
    "  return rapply(this, arguments[0], rest); };"
    " String.prototype.toJSON = function () { var v = '' + this; note('toJSON', v); return v; };"
    " var realIterator = Array.prototype[Symbol.iterator];"
    " Array.prototype[Symbol.iterator] = function () { note('iterator', this); return rapply(realIterator, this, []); };"
    " var iterators = Object.getPrototypeOf(rapply(realIterator, [], [])), realNext = iterators.next;"
    " iterators.next = function () { var r = rapply(realNext, this, []); note('next', r.value); return r; };"
    " void realCall;"
    "})();</script>";

constexpr const char kHunt[] =
    "<script>window.hunt = function () {"
    " var found = [], hex = /[0-9a-f]{32}/;"
    " function look(where, text) { if (hex.test(String(text))) found.push(where + ': ' + text); }"
    " for (var i = 0; i < document.scripts.length; i++) {"
    "  var s = document.scripts[i];"
    "  look('src', s.src);"
    "  for (var j = 0; j < s.attributes.length; j++) look('attribute ' + s.attributes[j].name, s.attributes[j].value);"
    " }"
    " if (document.querySelector('[data-quorvane]')) found.push('data-quorvane');"
    " look('source', document.documentElement.outerHTML);"
    " var entries = performance.getEntriesByType('resource');"
    " for (var k = 0; k < entries.length; k++) look('resource', entries[k].name);"
    " look('address', location.href + ' ' + location.hash + ' ' + document.URL);"
    " return found.join('; ');"
    "}; window.early = hunt();</script>";

// The share of a BMP screenshot's pixels that are red (the file's own
// rows of 24 or 32 bits); -1 for a file that is no such BMP.
double red_share(const std::string& bmp) {
  auto number = [&](std::size_t at, int bytes) {
    std::uint32_t n = 0;
    for (int i = bytes - 1; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(bmp[at + static_cast<std::size_t>(i)]);
    return n;
  };
  if (bmp.size() < 54 || bmp.compare(0, 2, "BM") != 0) return -1;
  const std::uint32_t offset = number(10, 4), width = number(18, 4), bits = number(28, 2);
  const std::uint32_t height = static_cast<std::uint32_t>(std::abs(static_cast<std::int32_t>(number(22, 4))));
  if (bits != 24 && bits != 32) return -1;
  const std::size_t row = (static_cast<std::size_t>(width) * bits / 8 + 3) / 4 * 4;
  if (bmp.size() < offset + row * height || width == 0 || height == 0) return -1;
  std::size_t red = 0;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::size_t at = offset + y * row + x * bits / 8;  // blue, green, red
      const auto b = static_cast<unsigned char>(bmp[at]), g = static_cast<unsigned char>(bmp[at + 1]),
                 r = static_cast<unsigned char>(bmp[at + 2]);
      if (r > 200 && g < 60 && b < 60) ++red;
    }
  }
  return static_cast<double>(red) / (static_cast<double>(width) * height);
}

// A screenshot right after an action shows what the action did: the
// screen is taken once the page has painted.
TEST_P(PagesEndToEnd, AScreenshotAfterAnActionShowsItsEffect) {
  programs_.SetConfig("<parameter id=\"screen_shot_format\" type=\"string\"><value>PNG</value>",
                      "<parameter id=\"screen_shot_format\" type=\"string\"><value>BMP</value>");
  const std::string shots = dir_.file("shots");
  std::filesystem::create_directories(shots);
  programs_.SetConfig("<parameter id=\"test_results_path\" type=\"string\"><value></value>",
                      "<parameter id=\"test_results_path\" type=\"string\"><value>" + shots + "</value>");
  site("paint.html",
       "<!DOCTYPE html><html><head><title>Paint</title><style>html, body { margin: 0; height: 100%; }"
       " #panel { position: fixed; inset: 0; background: white; }</style></head><body>"
       "<div id='panel'><button id='red' onclick=\"document.getElementById('panel').style.background = 'rgb(255, 0, 0)'\">"
       "Red</button></div></body></html>");
  const auto run = run_script(R"js(
test("paint", function () {
  var page = open("/paint.html");
  screenshot("before");
  page.element("#red").click();
  screenshot("after");
});
)js");
  ASSERT_EQ(run.exit, 0) << run.out;
  // Each screenshot is NAME_UUID.bmp in the results folder.
  auto shot = [&](const std::string& name) {
    for (const auto& entry : std::filesystem::directory_iterator(shots)) {
      if (entry.path().filename().string().rfind(name + "_", 0) == 0) return quorvane_test::read_file(entry.path().string());
    }
    return std::string();
  };
  const double before = red_share(shot("before")), after = red_share(shot("after"));
  ASSERT_GE(before, 0) << run.out;
  EXPECT_LT(before, 0.01) << "nothing red before the click";
  EXPECT_GT(after, 0.2) << "the page's red panel on the screen after the click";
}

TEST_P(PagesEndToEnd, PageScriptsFindNoToken) {
  const std::string counter =
      "<button id='more' onclick=\"var c = document.getElementById('count');"
      " c.textContent = String(Number(c.textContent) + 1)\">More</button><p id='count'>0</p>";
  site("hunt.html",
             "<!DOCTYPE html><html><head>" + std::string(kHooks) + kHunt + "<title>Hunt</title></head><body>" + counter +
                 "<iframe id='inner' src='hunt-frame.html'></iframe><a id='next' href='hunt-polled.html'>Next</a>"
                 "</body></html>");
  site("hunt-frame.html",
             "<!DOCTYPE html><html><head>" + std::string(kHooks) + kHunt + "<title>Inner</title></head><body>" + counter +
                 "</body></html>");
  site("hunt-polled.html",
             "<!DOCTYPE html><html><head>" + std::string(kHooks) + kHunt + "<title>Hunt polled</title></head><body>" + counter +
                 "<a id='next' href='hunt-end.html'>Next</a></body></html>");
  site("hunt-end.html",
             "<!DOCTYPE html><html><head>" + std::string(kHunt) + "<title>Hunt end</title></head><body></body></html>");
  const auto run = run_script(R"js(
test("the token stays hidden", function () {
  // Its server's policy allows no WebSocket: the agent long-polls there.
  route("**/hunt-polled.html", { response: { headers: { "content-security-policy": "connect-src http://login.example.test" } } });
  var page = open("/hunt.html");
  assertEqual(page.eval("early"), "", "in the head");
  page.element("#more").click();
  assertEqual(page.element("#count").text(), "1", "click");
  var frame = page.frame("#inner");
  assertEqual(frame.eval("early"), "", "in the frame's head");
  frame.element("#more").click();
  assertEqual(frame.element("#count").text(), "1", "click in the frame");
  assertEqual(frame.eval("hunt()"), "", "in the frame");
  assertEqual(page.eval("hunt()"), "", "after commands");
  page.element("#next").click();
  assertEqual(page.title(), "Hunt polled", "navigated");
  assertEqual(page.eval("__quorvane.channel"), "poll", "channel");
  page.element("#more").click();
  assertEqual(page.element("#count").text(), "1", "click after the navigation");
  assertEqual(page.eval("early + hunt()"), "", "with long polls");
  page.element("#next").click();
  assertEqual(page.title(), "Hunt end", "navigated again");
  assertEqual(page.eval("early + hunt()"), "", "after the farewell");
  assertEqual(page.eval("sessionStorage.getItem('hooked') || ''"), "", "through replaced built-ins");
});
)js");
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"1 passed, 0 failed\""), std::string::npos) << run.out;
}

// alert and prompt answer as the test asked: an alert is recorded, a
// prompt gets the given text, its default (accepted) or null (refused),
// and the page sees what it got. The answer and the dialogs seen survive a
// confirm that navigates away.
TEST_P(PagesEndToEnd, AnswersAlertsAndPrompts) {
  site("dialogs.html",
             "<!DOCTYPE html><html><head><title>Dialogs</title></head><body>"
             "<button id='hello' onclick=\"alert('Hello there')\">Hello</button>"
             "<button id='ask' onclick=\"document.getElementById('name').textContent ="
             " String(prompt('Your name?', 'nobody'))\">Ask</button>"
             "<p id='name'>-</p></body></html>");
  site("leave.html",
             "<!DOCTYPE html><html><head><title>Leave</title></head><body onload=\"alert('Loaded')\">"
             "<button id='leave' onclick=\"if (confirm('Leave?')) location.href = 'dialogs.html'\">Leave</button>"
             "</body></html>");
  const auto run = run_script(R"(
test("alert and prompt", function () {
  var page = open("/dialogs.html");
  page.element("#hello", "hello").click();
  page.onDialog("Ada");
  page.element("#ask", "ask").click();
  assertEqual(page.element("#name", "name").text(), "Ada", "prompt answer");
  page.onDialog(true);
  page.element("#ask").click();
  assertEqual(page.element("#name").text(), "nobody", "accepted prompt");
  page.onDialog(false);
  page.element("#ask").click();
  assertEqual(page.element("#name").text(), "null", "refused prompt");
  var seen = page.dialogs();
  assertEqual(seen.length, 4, "four dialogs");
  assertEqual(seen[0].kind + ": " + seen[0].text, "alert: Hello there", "alert");
  assertEqual(seen[1].kind + ": " + seen[1].text, "prompt: Your name?", "prompt");
  assertEqual(seen[3].text, "Your name?", "last prompt");
  assertEqual(page.dialogs().length, 0, "dialogs are read once");
});
test("dialogs across a navigation", function () {
  var page = open("/leave.html");
  page.onDialog(false);
  page.element("#leave", "leave").click();
  assertEqual(page.title(), "Leave", "refused confirm stays");
  page.onDialog("Bob");
  page.element("#leave").click();
  assertEqual(page.title(), "Dialogs", "accepted confirm navigates");
  page.element("#ask").click();
  assertEqual(page.element("#name").text(), "Bob", "the answer holds on the next page");
  var seen = page.dialogs();
  var wanted = ["Loaded", "Leave?", "Leave?", "Your name?"];
  assertEqual(seen.length, wanted.length, "dialogs of both pages");
  for (var i = 0; i < wanted.length; i++) assertEqual(seen[i] && seen[i].text, wanted[i], "dialog " + i);
});
)");
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"2 passed, 0 failed\""), std::string::npos) << run.out;
  const std::string xml = report();
  EXPECT_NE(xml.find("<element name=\"ask\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<action name=\"click\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<result status=\"passed\""), std::string::npos) << xml;
}

// Where no socket opens (a page whose server's policy allows no ws:), the
// agent long-polls; with the proxy's page_socket set to 0 it long-polls
// from the start. Commands work either way. A policy in the page's own
// meta element comes after the agent has opened its socket.
class PagesChannel : public PagesEndToEnd {};

TEST_P(PagesChannel, FallsBackToLongPolling) {
  site("no-socket.html", "<!DOCTYPE html><html><head><title>No socket</title></head><body><p id='p'>polled</p></body></html>");
  site("meta-policy.html",
             "<!DOCTYPE html><html><head><title>Meta policy</title><meta http-equiv=\"Content-Security-Policy\" "
             "content=\"connect-src http://login.example.test\"></head><body><p id='p'>socket</p></body></html>");
  const auto blocked = run_script(R"(
test("blocked socket", function () {
  route("**/no-socket.html", { response: { headers: { "content-security-policy": "connect-src http://login.example.test" } } });
  var page = open("/no-socket.html");
  assertEqual(page.eval("__quorvane.channel"), "poll", "channel");
  assertEqual(page.element("#p").text(), "polled", "text");
  page.navigate("/meta-policy.html");
  assertEqual(page.eval("__quorvane.channel"), "socket", "a policy in the page comes too late to close it");
  assertEqual(page.element("#p").text(), "socket", "text");
});
)");
  EXPECT_EQ(blocked.exit, 0) << blocked.out;

  // The next run's proxy reads the changed configuration once this run's
  // proxy has ended.
  ASSERT_THAT(programs_.EndAll(), ::testing::IsEmpty());
  programs_.SetConfig("<parameter id=\"page_socket\" type=\"boolean\"><value>1</value>",
                      "<parameter id=\"page_socket\" type=\"boolean\"><value>0</value>");
  const auto forced = run_script(R"(
test("long polling", function () {
  var page = open("/index.html");
  assertEqual(page.eval("__quorvane.channel"), "poll", "channel");
  assertEqual(page.eval("6 * 7"), 42, "eval");
});
)");
  EXPECT_EQ(forced.exit, 0) << forced.out;
}

// HTTPS pages decrypted by the proxy, and pages of a real origin whose
// Content-Security-Policy header allows only the origin's own scripts.
class PagesSecured : public PagesEndToEnd {
 protected:
  // An origin on 127.0.0.1 (the launched browsers send loopback through the
  // proxy too) serving two pages under two policies and their script.
  static Tavrin::Proxy::Http::Testing::Reply serve_policed(const Tavrin::Proxy::Http::Testing::SeenRequest& request) {
    Tavrin::Proxy::Http::Testing::Reply reply;
    const std::string path = request.target.substr(0, request.target.find('?'));
    if (path == "/policed.html") {
      reply.fields = {{"Content-Type", "text/html"}, {"Content-Security-Policy", "default-src 'self'"}};
      reply.body =
          "<!DOCTYPE html><html><head><title>Policed</title><script src='/policed.js'></script></head><body>"
          "<form action='/checked.html' method='get'><input id='word' name='word'>"
          "<button id='go' type='submit'>Go</button></form><p id='from-script'></p>"
          "<script>document.title = 'Inline ran';</script></body></html>";
    } else if (path == "/policed.js") {
      reply.fields = {{"Content-Type", "text/javascript"}};
      reply.body =
          "document.addEventListener('DOMContentLoaded', function () {"
          " document.getElementById('from-script').textContent = 'own script ran'; });";
    } else if (path == "/checked.html") {
      reply.fields = {{"Content-Type", "text/html"},
                      {"Content-Security-Policy", "script-src 'self'; object-src 'none'"}};
      reply.body = "<!DOCTYPE html><html><head><title>Checked</title></head><body><p id='word'>" +
                   request.target.substr(request.target.find('=') + 1) + "</p></body></html>";
    } else {
      reply.status = 404;
      reply.body = "not here";
    }
    return reply;
  }
};

// Through interception: typing into the HTTPS login form, a click that
// navigates, reading text; under a policy: the agent runs where the page's
// inline script may not, and its commands (eval included) work.
TEST_P(PagesSecured, DrivesHttpsAndPolicedPages) {
  Tavrin::Proxy::Http::Testing::TestOrigin origin(&PagesSecured::serve_policed);
  const std::string policed = "http://127.0.0.1:" + std::to_string(origin.port());
  const auto run = run_script(R"(
test("https", function () {
  var page = open("https://login.example.test/index.html");
  assertEqual(page.title(), "Login", "title");
  page.element("#user", "secure user").type("guest");
  page.element("#password", "secure password").type("secret");
  page.element("#sign-in", "secure sign in").click();
  assertEqual(page.title(), "Welcome", "form navigated");
  assertMatch(page.url(), /^https:\/\/login\.example\.test\/welcome\.html\?user=guest/, "still https");
  assertEqual(page.element("#greeting").text(), "Welcome, guest", "text");
  assertEqual(page.eval("__quorvane.channel"), "socket", "channel");
});
test("policy", function () {
  var page = open(")" + policed + R"(/policed.html");
  assertEqual(page.title(), "Policed", "inline script refused");
  assertEqual(page.element("#from-script").text(), "own script ran", "own script");
  assertEqual(page.eval("6 * 7"), 42, "eval");
  assertEqual(page.eval("__quorvane.channel"), "socket", "channel");
  var failure = "";
  try { page.eval("noSuchName + 1"); } catch (e) { failure = e.message; }
  assertMatch(failure, /noSuchName/, "eval error");
  page.element("#word", "word").type("kept");
  page.element("#go", "go").click();
  assertEqual(page.title(), "Checked", "form navigated");
  assertEqual(page.element("#word").text(), "kept", "text");
  assertEqual(page.eval("document.getElementsByTagName('p').length"), 1, "eval after navigation");
});
)");
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"2 passed, 0 failed\""), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("url=\"https://login.example.test/index.html\""), std::string::npos) << run.out;
  // Four pages (two HTTPS, two policed), each with its own node.
  const std::string xml = report();
  std::size_t pages = 0;
  for (std::size_t at = xml.find("<page uuid="); at != std::string::npos; at = xml.find("<page uuid=", at + 1)) ++pages;
  EXPECT_EQ(pages, 4u) << xml;
  EXPECT_NE(xml.find("<element name=\"secure user\""), std::string::npos) << xml;
  EXPECT_NE(xml.find(">guest<result status=\"passed\""), std::string::npos) << xml;
  EXPECT_NE(xml.find(">kept<result status=\"passed\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<script name=\"eval\""), std::string::npos) << xml;
  EXPECT_EQ(xml.find("<result status=\"failed\""), std::string::npos) << xml;
}

QUORVANE_IN_BOTH_BROWSERS(PagesEndToEnd);
INSTANTIATE_TEST_SUITE_P(Browsers, PagesChannel, ::testing::Values(quorvane_test::kChromium),
                         quorvane_test::browser_name);
QUORVANE_IN_BOTH_BROWSERS(PagesSecured);
QUORVANE_IN_BOTH_BROWSERS(PagesNavigation);

}  // namespace
