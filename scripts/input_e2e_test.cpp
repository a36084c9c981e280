// End to end: the hard cases of input, in each browser, on pages built
// the way real sites build them (scripts/testing/input).

#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "proxy/http/testing/test_origin.h"
#include "scripts/testing/browser_runs.h"

namespace {

namespace fs = std::filesystem;

class InputCases : public quorvane_test::BrowserRun {
 protected:
  void SetUp() override {
    for (const char* lib : {"/usr/share/javascript/jquery/jquery.js", "/usr/share/javascript/jquery-ui/jquery-ui.js"}) {
      if (!fs::exists(lib)) GTEST_SKIP() << lib << " is not installed";
    }
    BrowserRun::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const fs::path input = programs_.bin() + "/examples/site/input";
    fs::copy(QUORVANE_SOURCE_DIR "/scripts/testing/input", input, fs::copy_options::recursive);
    fs::create_directories(input / "lib" / "jquery-ui");
    fs::copy_file("/usr/share/javascript/jquery/jquery.js", input / "lib" / "jquery.js");
    fs::copy_file("/usr/share/javascript/jquery-ui/jquery-ui.js", input / "lib" / "jquery-ui.js");
    fs::copy("/usr/share/javascript/jquery-ui/themes", input / "lib" / "jquery-ui" / "themes",
             fs::copy_options::recursive);
  }

  // Runs `script`; every test in it passes.
  void expect_passing(const std::string& script, int tests) {
    const auto run = run_script("input", script);
    EXPECT_EQ(run.exit, 0) << run.out;
    EXPECT_NE(run.out.find("stats: testfile=\"" + std::to_string(tests) + " passed, 0 failed\""), std::string::npos)
        << run.out;
  }
};

// A page that sends a request to another site as it loads (an analytics
// snippet's pending event) and a log server that answers it only after 4 s:
// the navigation's new page answers while that request is still open (it
// waited up to 5 s for it before), and an action's own-site requests are
// still waited for.
TEST_P(InputCases, NoWaitForRequestsToAnotherSite) {
  using namespace Tavrin::Proxy::Http::Testing;
  TestOrigin log([](const SeenRequest&) {
    Reply reply;
    reply.delay = std::chrono::seconds(4);
    reply.fields = {{"Content-Type", "text/plain"}, {"Access-Control-Allow-Origin", "*"}};
    reply.body = "logged";
    return reply;
  });
  site("input/tracked.html",
       "<!DOCTYPE html><html><head><title>Tracked</title><script>"
       "var x = new XMLHttpRequest(); x.open('POST', 'http://localhost:" + std::to_string(log.port()) + "/event');"
       "x.onloadend = function () { window.logEnded = true; }; x.send('pageview');"
       "</script></head><body><a id='next' href='tracked.html?next'>Next</a>"
       "<button id='load' onclick=\"var r = new XMLHttpRequest(); r.open('GET', 'part.txt');"
       " r.onload = function () { document.getElementById('got').textContent = r.responseText; }; r.send();\">"
       "Load</button><p id='got'></p></body></html>");
  expect_passing(R"(
test("another site", function () {
  var page = open("/input/tracked.html");
  assertEqual(page.eval("!!window.logEnded"), false, "open answered while the log request was open");
  page.element("#next").click();
  assertMatch(page.url(), /next$/, "navigated");
  assertEqual(page.eval("!!window.logEnded"), false, "the new page answered while its log request was open");
  page.element("#load").click();
  assertMatch(page.element("#got").text(), /^Entry/, "an own-site request is waited for");
});
)", 1);
}

QUORVANE_IN_BOTH_BROWSERS(InputCases);

}  // namespace
