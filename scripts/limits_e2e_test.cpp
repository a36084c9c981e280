// End to end: no page command can hold a run past its limit. Whatever the
// page does meanwhile (loops forever in a script, navigates, removes the
// frame a command targets, closes), each command returns or throws within
// its limit and a second; the script measures each case and the run goes
// on. Also: commands to the top page after commands to one of its frames.

#include <filesystem>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "scripts/testing/installed_programs.h"

namespace {

namespace fs = std::filesystem;
using quorvane_test::write_file;

struct Browser {
  const char* name;
  const char* binary;
};

void PrintTo(const Browser& browser, std::ostream* out) { *out << browser.name; }

class PageLimits : public ::testing::TestWithParam<Browser> {
 protected:
  void SetUp() override {
    if (!fs::exists(GetParam().binary)) GTEST_SKIP() << GetParam().binary << " is not installed";
    programs_.Install(dir_);
  }

  void TearDown() override {
    if (programs_.installed()) {
      EXPECT_TRUE(programs_.WaitUntilAllEnded()) << "a browser, proxy or helper was left running";
    }
  }

  quorvane_test::ProgramRun run_script(const std::string& text) {
    write_file(dir_.file("limits.js"), text);
    return programs_.Run(dir_.file("limits.js"), GetParam().name, dir_.file("limits.log"));
  }

  void site(const std::string& name, const std::string& html) {
    write_file(programs_.bin() + "/examples/site/" + name, html);
  }

  quorvane_test::TempDir dir_;
  quorvane_test::InstalledPrograms programs_;
};

// `within(ms, fn)`: runs fn, which may throw, and asserts that it ended
// within ms plus a second (and some slack for a loaded machine).
constexpr const char kWithin[] = R"js(
function within(limit, name, fn) {
  var started = new Date().getTime();
  var outcome = "returned";
  try { fn(); } catch (e) { outcome = "threw: " + e.message; }
  var took = new Date().getTime() - started;
  info(name, outcome + " after " + took + " ms");
  assert(took < limit + 2000, name + " ends in time (" + took + " ms)");
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
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"4 passed, 0 failed\""), std::string::npos) << run.out;
}

INSTANTIATE_TEST_SUITE_P(Browsers, PageLimits,
                         ::testing::Values(Browser{"chromium", "/usr/lib/chromium/chromium"},
                                           Browser{"firefox", "/usr/lib/firefox-esr/firefox-esr"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
