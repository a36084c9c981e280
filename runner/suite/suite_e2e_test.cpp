// The suite and merge modes through the real programs: page scripts in
// headless Chromium run in parallel exactly as they run alone; shards cover
// every script once and merge into the unsharded result; retries mark a
// flaky script; a time-out ends a script and its browser.
#include <filesystem>
#include <regex>

#include <boost/gil.hpp>
#include <boost/gil/extension/io/png.hpp>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scripts/testing/installed_programs.h"
#include "test_support/local_processes.h"
#include "test_support/wait_until.h"

namespace {

using quorvane_test::read_file;
using quorvane_test::write_file;

const char kPassingPage[] = R"(
test("sign-in page", function () {
  var page = open("/index.html");
  assertEqual(page.title(), "Login", "title");
});
)";

const char kFailingPage[] = R"(
test("wrong title", function () {
  var page = open("/index.html");
  assertEqual(page.title(), "Welcome", "title");
});
test("fine", function () { assert(true, "ok"); });
)";

// Writes to its page's console, has the page throw, paints it a known
// colour and then fails.
const char kPaintedFailure[] = R"(
test("painted page fails", function () {
  var page = open("/index.html");
  page.eval("console.error('boom', 7), console.warn('careful'), " +
            "setTimeout(function () { throw new Error('late'); }, 0), 1");
  sleep(300);
  page.eval("document.body.innerHTML = '', document.documentElement.style.background = 'rgb(255, 0, 255)', 1");
  assert(false, "fails on purpose");
});
)";

// The pixels of a PNG file that are magenta (rgb 255, 0, 255, give or take).
int magenta_pixels(const std::string& path) {
  boost::gil::rgb8_image_t image;
  boost::gil::read_and_convert_image(path, image, boost::gil::png_tag());
  int count = 0;
  for (const auto& p : boost::gil::const_view(image))
    if (p[0] > 240 && p[1] < 15 && p[2] > 240) ++count;
  return count;
}

const char kHangingPage[] = R"(
test("hangs", function () {
  var page = open("/index.html");
  for (;;) sleep(500);
});
)";

// Passes only when a marker file beside its log exists (and makes it).
const char kFlaky[] = R"(
test("second try", function () {
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var marker = quorvaneHost.parameter("log").replace(/[\\\/][^\\\/]*$/, "") + "/flaky.marker";
  var again = fso.FileExists(marker);
  if (!again) fso.CreateTextFile(marker, true).Close();
  assert(again, "second try");
});
)";

std::string plain(int i, bool pass) {
  return "test(\"plain " + std::to_string(i) + "\", function () { message(\"m" + std::to_string(i) +
         "\"); assert(" + (pass ? "true" : "false") + ", \"check\"); });\n";
}

// results.json without its times, which differ from run to run.
std::string timeless(const std::string& json) {
  static const std::regex seconds("\"seconds\":[-0-9.eE+]+");
  return std::regex_replace(json, seconds, "\"seconds\":0");
}

class SuiteMode : public ::testing::Test {
 protected:
  void SetUp() override { programs_.Install(dir_); }
  void TearDown() override {
    if (programs_.installed()) {
      EXPECT_THAT(programs_.EndAll(), ::testing::IsEmpty()) << "a browser, proxy or helper was left";
    }
  }

  quorvane_test::ProgramRun Suite(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {programs_.bin() + "/Quorvane", "--mode=suite"});
    quorvane_test::RunOptions options;
    options.working_directory = dir_.path();
    options.merge_error = true;
    return quorvane_test::run_program(arguments, options);
  }

  // Writes a script, making its folders.
  void Put(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(dir_.file(name)).parent_path());
    write_file(dir_.file(name), text);
  }

  void NeedsChromium() {
    if (!std::filesystem::exists("/usr/lib/chromium/chromium")) GTEST_SKIP() << "chromium is not installed";
  }

  quorvane_test::TempDir dir_;
  quorvane_test::InstalledPrograms programs_;
};

// Page scripts run two at a time as they run alone: each its own log and
// report, a console line each, the summary, and the exit status counting
// the failed script.
TEST_F(SuiteMode, PageScriptsRunInParallelWorkers) {
  NeedsChromium();
  Put("t/a_pass.js", kPassingPage);
  Put("t/sub/b_pass.js", kPassingPage);
  Put("t/c_fail.js", kFailingPage);
  Put("t/notes.txt", "not a script");
  const auto run = Suite({"--workers", "2", "--out", "out", "-s", "login.example.test", "-b", "chromium", "t"});
  EXPECT_EQ(run.exit, 1) << run.out;
  EXPECT_NE(run.out.find("] passed    t/a_pass.js"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("] passed    t/sub/b_pass.js"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("] failed    t/c_fail.js"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("[3/3]"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("3 scripts: 2 passed, 1 failed, 0 flaky, 0 timed out; 4 tests, 1 failed"),
            std::string::npos) << run.out;

  const std::string log = read_file(dir_.file("out/scripts/t/sub/b_pass.log"));
  EXPECT_NE(log.find("page: name=[[[Login]]]"), std::string::npos) << log << read_file(dir_.file("out/scripts/t/sub/b_pass.out"));
  EXPECT_NE(read_file(dir_.file("out/scripts/t/sub/b_pass.xml")).find("<page uuid="), std::string::npos);
  const std::string junit = read_file(dir_.file("out/junit.xml"));
  EXPECT_NE(junit.find("<failure message=\"title: expected &apos;Welcome&apos;\""), std::string::npos) << junit;
  const std::string results = read_file(dir_.file("out/results.json"));
  EXPECT_NE(results.find("\"path\":\"t/c_fail.js\",\"status\":\"failed\""), std::string::npos) << results;
  EXPECT_NE(read_file(dir_.file("out/index.html")).find("data-path=\"t/c_fail.js\""), std::string::npos);
}

// Shards of N = 1, 2 and 3 together run every script exactly once, and
// their merge equals the unsharded run; --grep keeps only matching paths.
TEST_F(SuiteMode, ShardsMergeIntoTheUnshardedResult) {
  for (int i = 0; i < 7; ++i) Put("s/p" + std::to_string(i) + ".js", plain(i, i != 4));
  const auto whole = Suite({"--out", "whole", "s"});
  EXPECT_EQ(whole.exit, 1) << whole.out;
  const std::string expected = timeless(read_file(dir_.file("whole/results.json")));
  ASSERT_FALSE(expected.empty());
  for (int n : {1, 2, 3}) {
    std::vector<std::string> merge = {programs_.bin() + "/Quorvane", "--mode=merge", "--out",
                                      "merged" + std::to_string(n)};
    int scripts = 0;
    for (int k = 1; k <= n; ++k) {
      const std::string part = "part" + std::to_string(n) + "_" + std::to_string(k);
      const auto run = Suite({"--shard", std::to_string(k) + "/" + std::to_string(n), "--out", part, "s"});
      const std::string json = read_file(dir_.file(part + "/results.json"));
      for (std::size_t at = json.find("\"path\":"); at != std::string::npos; at = json.find("\"path\":", at + 1))
        ++scripts;
      merge.push_back(part);
    }
    EXPECT_EQ(scripts, 7) << n;
    quorvane_test::RunOptions options;
    options.working_directory = dir_.path();
    const auto merged = quorvane_test::run_program(merge, options);
    EXPECT_EQ(merged.exit, 1) << merged.out;
    EXPECT_EQ(timeless(read_file(dir_.file("merged" + std::to_string(n) + "/results.json"))), expected) << n;
    EXPECT_TRUE(std::filesystem::exists(dir_.file("merged" + std::to_string(n) + "/scripts/s/p6.log")));
  }
  const auto grep = Suite({"--out", "grep", "--grep", "p3", "s"});
  EXPECT_EQ(grep.exit, 0) << grep.out;
  EXPECT_NE(grep.out.find("1 script: 1 passed"), std::string::npos) << grep.out;
}

// A script that fails once and then passes is flaky with both attempts
// kept; one that keeps failing is retried up to the limit.
TEST_F(SuiteMode, RetriesMarkFlakyScripts) {
  Put("r/flaky.js", kFlaky);
  Put("r/fails.js", plain(1, false));
  const auto run = Suite({"--retries", "2", "--out", "out", "r"});
  EXPECT_EQ(run.exit, 1) << run.out;
  EXPECT_NE(run.out.find("flaky     r/flaky.js"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2 attempts"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("failed    r/fails.js"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("3 attempts"), std::string::npos) << run.out;
  EXPECT_TRUE(std::filesystem::exists(dir_.file("out/scripts/r/flaky.log")));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("out/scripts/r/flaky.2.log")));
  EXPECT_TRUE(std::filesystem::exists(dir_.file("out/scripts/r/fails.3.log")));
  EXPECT_NE(read_file(dir_.file("out/results.json")).find("\"status\":\"flaky\""), std::string::npos);
}

// A script that runs past its time is ended with its browser and reported
// as timed out; the suite goes on with the others.
TEST_F(SuiteMode, TimeOutEndsTheScriptAndItsBrowser) {
  NeedsChromium();
  Put("h/hang.js", kHangingPage);
  Put("h/quick.js", plain(1, true));
  const auto run = Suite({"--timeout", "8", "--out", "out", "-s", "login.example.test", "-b", "chromium", "h"});
  EXPECT_EQ(run.exit, 1) << run.out;
  EXPECT_NE(run.out.find("timed out h/hang.js"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("passed    h/quick.js"), std::string::npos) << run.out;
  // The test that the time-out cut carries an error of its own, so that
  // the script's counts equal its cases.
  const std::string junit = read_file(dir_.file("out/junit.xml"));
  EXPECT_TRUE(std::regex_search(junit, std::regex("<testcase name=\"hangs\" classname=\"h/hang.js\"[^>]*>\\s*"
                                                  "<error message=\"timed out after")))
      << junit;
  EXPECT_NE(junit.find("<testsuite name=\"h/hang.js\" tests=\"2\" failures=\"0\" errors=\"2\""), std::string::npos)
      << junit;
  // The browser's launcher went with its run (the proxy and its guard stay
  // until tear-down ends them).
  const std::string launcher = programs_.bin() + "/QuorvaneBrowser";
  EXPECT_TRUE(quorvane_test::wait_until([&] { return quorvane_test::processes_from(launcher) == 0; },
                                        std::chrono::seconds(15)));
}

// A run without a screen starts one of its own: the evidence of a failed
// step in a page test includes a screenshot that shows the page.
TEST_F(SuiteMode, FailureWithoutADisplayLeavesAScreenshotOfThePageAndItsConsole) {
  NeedsChromium();
  Put("p/painted.js", kPaintedFailure);
  quorvane_test::RunOptions options;
  options.working_directory = dir_.path();
  options.merge_error = true;
  options.environment = {"DISPLAY="};
  const auto run = quorvane_test::run_program({programs_.bin() + "/Quorvane", "--mode=suite", "--out", "out", "-s",
                                               "login.example.test", "-b", "chromium", "p"},
                                              options);
  EXPECT_EQ(run.exit, 1) << run.out;
  const std::string shot = dir_.file("out/scripts/p/painted.failure1.png");
  ASSERT_TRUE(std::filesystem::exists(shot)) << read_file(dir_.file("out/scripts/p/painted.log"))
                                             << read_file(dir_.file("out/scripts/p/painted.out"));
  EXPECT_GT(magenta_pixels(shot), 100 * 100);
  const std::string results = read_file(dir_.file("out/results.json"));
  EXPECT_NE(results.find("\"screenshot\":\"scripts/p/painted.failure1.png\""), std::string::npos) << results;
  EXPECT_NE(results.find("\"title\":\"Login\""), std::string::npos) << results;
  // The page's console: errors, warnings and uncaught errors, as records of
  // the test.
  EXPECT_NE(results.find("\"console\":[\"error: boom 7\",\"warning: careful\",\"uncaught: late\"]"),
            std::string::npos) << results;
  EXPECT_NE(read_file(dir_.file("out/index.html")).find("src=\"scripts/p/painted.failure1.png\""), std::string::npos);
}

// --har: each script's run writes its own requests as HAR into the result
// folder beside its log (a failed script's too), linked from its row of
// the report; a script's HAR holds its own page only.
TEST_F(SuiteMode, EachScriptWritesItsHarLinkedFromTheReport) {
  NeedsChromium();
  Put("h/a_pass.js", kPassingPage);
  Put("h/b_fail.js", R"(
test("another page", function () {
  var page = open("/welcome.html");
  assert(false, "fails on purpose");
});
)");
  const auto run = Suite({"--har", "--workers", "2", "--out", "out", "-s", "login.example.test", "-b", "chromium", "h"});
  EXPECT_EQ(run.exit, 1) << run.out;
  const std::string a = read_file(dir_.file("out/scripts/h/a_pass.har"));
  const std::string b = read_file(dir_.file("out/scripts/h/b_fail.har"));
  EXPECT_NE(a.find("\"version\":\"1.2\""), std::string::npos) << run.out;
  EXPECT_NE(a.find("\"url\":\"http://login.example.test/index.html\""), std::string::npos) << a;
  EXPECT_EQ(a.find("/welcome.html"), std::string::npos) << "another script's request";
  EXPECT_NE(b.find("\"url\":\"http://login.example.test/welcome.html\""), std::string::npos) << b;
  EXPECT_EQ(b.find("/index.html\""), std::string::npos) << "another script's request";
  const std::string html = read_file(dir_.file("out/index.html"));
  for (const char* name : {"a_pass", "b_fail"}) {
    const auto row = html.find(std::string("data-path=\"h/") + name + ".js\"");
    ASSERT_NE(row, std::string::npos) << html;
    EXPECT_LT(html.find(std::string("href=\"scripts/h/") + name + ".har\">HAR</a></summary>", row),
              html.find("</details>", row))
        << name;
  }
  EXPECT_NE(read_file(dir_.file("out/results.json")).find("\"har\":\"scripts/h/a_pass.har\""), std::string::npos);
}

}  // namespace
