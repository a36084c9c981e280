// The suite's outcome and its writers: status decisions, junit.xml against
// the JUnit schema (xmllint), results.json read back, the merge of shard
// results, and the structure of index.html.
#include <array>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "runner/suite/html_report.h"
#include "runner/suite/junit_xml.h"
#include "runner/suite/log_reader.h"
#include "runner/suite/merge.h"
#include "runner/suite/results_json.h"
#include "runner/suite/suite_run.h"
#include "runner/suite/testing/sample_results.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Suite {
namespace {

using testing::attempt;
using testing::sample_results;
using testing::script;
using testing::test;

SuiteResult sample() { return sample_results(); }

TEST(SuiteResult, StatusesCountsAndExitStatus) {
  const SuiteResult suite = sample();
  EXPECT_EQ(suite.scripts[0].status, ScriptStatus::kPassed);
  EXPECT_EQ(suite.scripts[1].status, ScriptStatus::kFailed);
  EXPECT_EQ(suite.scripts[2].status, ScriptStatus::kFlaky);
  EXPECT_EQ(suite.scripts[3].status, ScriptStatus::kTimedOut);
  EXPECT_EQ(suite.scripts[4].status, ScriptStatus::kFailed);
  EXPECT_EQ(suite.scripts[5].status, ScriptStatus::kPassed);
  // A script that exits 0 with a failed test did not pass.
  EXPECT_FALSE(attempt_passed(attempt(0, {test(L"x", TestStatus::kFailed)})));
  EXPECT_EQ(suite_exit_status(suite), 3);
  const SuiteCounts c = count(suite);
  EXPECT_EQ(c.passed, 2);
  EXPECT_EQ(c.failed, 2);
  EXPECT_EQ(c.flaky, 1);
  EXPECT_EQ(c.timed_out, 1);
  EXPECT_EQ(c.tests, 4);
  EXPECT_EQ(c.tests_failed, 2);
  SuiteResult many;
  for (int i = 0; i < 300; ++i) many.scripts.push_back(script(L"s", {attempt(1, {})}));
  EXPECT_EQ(suite_exit_status(many), 255);
}

// The document validates against the schema CI servers read, and carries
// each case as the CI shows it.
TEST(JunitXml, ValidAgainstTheSchemaWithEveryKindOfCase) {
  quorvane_test::TempDir dir;
  const std::string xml = junit_xml(sample());
  quorvane_test::write_file(dir.file("junit.xml"), xml);
  quorvane_test::RunOptions merged;
  merged.merge_error = true;
  const auto check = quorvane_test::run_program(
      {"xmllint", "--noout", "--schema", QUORVANE_SOURCE_DIR "/runner/suite/testing/junit.xsd", dir.file("junit.xml")},
      merged);
  EXPECT_EQ(check.exit, 0) << check.out << xml;
  EXPECT_NE(xml.find("<testsuite name=\"b/fail.js\" tests=\"2\" failures=\"1\" errors=\"1\" skipped=\"0\""),
            std::string::npos) << xml;
  EXPECT_NE(xml.find("<testcase name=\"bad\" classname=\"b/fail.js\" time=\"0.250\">"), std::string::npos);
  EXPECT_NE(xml.find("<failure message=\"title &lt;check&gt;: expected &apos;A&apos;\" type=\"failure\">"),
            std::string::npos) << xml;
  EXPECT_NE(xml.find("<testcase name=\"(timed out)\" classname=\"d/hang.js\""), std::string::npos);
  EXPECT_NE(xml.find("<error message=\"timed out after 3 s\""), std::string::npos);
  EXPECT_NE(xml.find("<error message=\"script error (line 1, char 1) Syntax error\""), std::string::npos);
  EXPECT_NE(xml.find("<testcase name=\"(no tests)\" classname=\"f/empty.js\" time=\"0.000\">\n      <skipped/>"),
            std::string::npos);
  EXPECT_NE(xml.find("<system-out>message &lt;b&gt;\n</system-out>"), std::string::npos);
  EXPECT_NE(xml.find("</system-out>\n      <system-err>error: boom &amp; bust\n</system-err>"), std::string::npos) << xml;
  EXPECT_EQ(xml.find('\x01'), std::string::npos);
  EXPECT_NE(xml.find("<testsuites name=\"Quorvane\" tests=\"7\" failures=\"1\" errors=\"3\" skipped=\"1\""),
            std::string::npos) << xml;
}

// The counts of one element's attributes: tests, failures, errors, skipped.
std::array<int, 4> declared_counts(const std::string& tag) {
  std::array<int, 4> counts{};
  const char* names[] = {" tests=\"", " failures=\"", " errors=\"", " skipped=\""};
  for (int i = 0; i < 4; ++i) {
    const std::size_t at = tag.find(names[i]);
    if (at != std::string::npos) counts[i] = std::stoi(tag.substr(at + std::strlen(names[i])));
  }
  return counts;
}

// What a testsuite element holds: test cases, and the cases with a
// failure, with an error and skipped, as CI servers count them.
std::array<int, 4> element_counts(const std::string& body) {
  std::array<int, 4> counts{};
  const char* cases[] = {"<testcase ", "<failure ", "<error ", "<skipped/>"};
  for (std::size_t at = body.find("<testcase "); at != std::string::npos; at = body.find("<testcase ", at + 1)) {
    const std::string one = body.substr(at, body.find("</testcase>", at) - at);
    ++counts[0];
    for (int i = 1; i < 4; ++i)
      if (one.find(cases[i]) != std::string::npos) ++counts[i];
  }
  return counts;
}

// Scripts of every kind read from their logs as the suite reads them: each
// testsuite's counts equal its cases, and the totals equal the sums. A test
// that its script's end cut (a time-out, a crash, an interrupt) carries an
// error saying why.
TEST(JunitXml, CountsEqualTheCasesForEveryKind) {
  const std::string header =
      "suite: source=[[[s.js]]] browser=[[[x]]] host=[[[x]]] date=[[[2026-12-08 10:00:00]]]\n"
      "testfile: source=[[[s.js]]] date=[[[2026-12-08 10:00:00]]]\n";
  auto rec = [](const std::string& kind, const std::string& name, const std::string& value) {
    return kind + ": name=[[[" + name + "]]] value=[[[" + value + "]]] uuid=[[[]]] date=[[[2026-12-08 10:00:01]]]\n";
  };
  const std::string started = rec("test", "test", "t");
  const std::string passed = started + rec("result", "status", "passed") + rec("stats", "test", "1 passed");
  const std::string failed =
      started + rec("assert", "step", "wrong") + rec("result", "status", "failed") + rec("stats", "test", "0 passed");
  const std::string thrown = started + rec("error", "script", "TypeError: x") + rec("stats", "test", "1 error");
  auto from_log = [&](const std::string& body, int exit_code) {
    std::istringstream in(header + body);
    return attempt(exit_code, read_log_tests(in, L"s.js").tests);
  };
  SuiteResult suite;
  suite.scripts.push_back(script(L"pass.js", {from_log(passed, 0)}));
  suite.scripts.push_back(script(L"fail.js", {from_log(passed + failed, 1)}));
  suite.scripts.push_back(script(L"error.js", {from_log(thrown, 1)}));
  suite.scripts.push_back(script(L"skip.js", {from_log("", 0)}));
  std::wstring reasons[3] = {L"timed out after 3.0 s", L"", L"interrupted after 2.0 s"};
  const wchar_t* kinds[3] = {L"timeout.js", L"crash.js", L"interrupted.js"};
  for (int i = 0; i < 3; ++i) {
    Attempt cut = from_log(passed + started, i == 1 ? 139 : 137);
    cut.timed_out = i == 0;
    cut.interrupted = i == 2;
    cut.script_error = reasons[i];
    explain_cut_tests(cut);
    suite.scripts.push_back(script(kinds[i], {cut}));
  }
  const std::string xml = junit_xml(suite);

  std::array<int, 4> sums{};
  int suites = 0;
  for (std::size_t at = xml.find("<testsuite "); at != std::string::npos; at = xml.find("<testsuite ", at + 1)) {
    ++suites;
    const std::size_t end = xml.find("</testsuite>", at);
    const std::string tag = xml.substr(at, xml.find('>', at) - at);
    EXPECT_EQ(declared_counts(tag), element_counts(xml.substr(at, end - at))) << tag;
    for (int i = 0; i < 4; ++i) sums[i] += declared_counts(tag)[i];
  }
  EXPECT_EQ(suites, 7);
  EXPECT_EQ(declared_counts(xml.substr(xml.find("<testsuites "), 200)), sums) << xml;
  EXPECT_NE(xml.find("<testcase name=\"t\" classname=\"timeout.js\" time=\"0.000\">\n      <error message=\"timed out "
                     "after 3.0 s\""),
            std::string::npos) << xml;
  EXPECT_NE(xml.find("classname=\"crash.js\" time=\"0.000\">\n      <error message=\"the script ended during the test "
                     "(exit status 139)\""),
            std::string::npos) << xml;
  EXPECT_NE(xml.find("<testcase name=\"(interrupted)\" classname=\"interrupted.js\""), std::string::npos) << xml;
  EXPECT_EQ(suite.scripts[6].status, ScriptStatus::kInterrupted);
}

TEST(ResultsJson, ReadsBackWhatItWrote) {
  SuiteResult suite = sample();
  suite.scripts[0].attempts.back().har = L"scripts/a/pass.har";
  const SuiteResult back = parse_results_json(results_json(suite));
  EXPECT_EQ(back.scripts[0].final_attempt().har, L"scripts/a/pass.har");
  EXPECT_EQ(back.scripts[1].final_attempt().har, L"");
  EXPECT_EQ(results_json(back), results_json(suite));
  ASSERT_EQ(back.scripts.size(), 6u);
  EXPECT_EQ(back.scripts[2].attempts.size(), 2u);
  EXPECT_EQ(back.scripts[1].final_attempt().tests[0].failures[0].message, L"expected 'A'\ngot \"B\" & more");
  EXPECT_THROW(parse_results_json("{not json"), ResultsError);
}

// Parts of a sharded run merge into the unsharded result.
TEST(Merge, PartsJoinIntoTheWhole) {
  const SuiteResult whole = sample();
  SuiteResult one, two;
  for (std::size_t i = 0; i < whole.scripts.size(); ++i) (i % 2 ? one : two).scripts.push_back(whole.scripts[i]);
  one.seconds = 12.5;
  two.seconds = 3;
  const SuiteResult merged = merge_results({one, two});
  EXPECT_EQ(results_json(merged), results_json(whole));
  EXPECT_EQ(junit_xml(merged), junit_xml(whole));
}

// One self-contained page: no outside address, the summary's counts,
// failed scripts first and open, each failed step with its message.
TEST(HtmlReport, SelfContainedWithFailuresFirst) {
  SuiteResult suite = sample();
  Evidence e;
  e.url = L"http://login.example.test/index.html";
  e.title = L"Login";
  e.screenshot = L"scripts/b/fail.failure.png";
  suite.scripts[1].attempts.back().tests[0].evidence.push_back(e);
  suite.scripts[1].attempts.back().tests[0].console.push_back(L"error: boom");
  const std::string html = html_report(suite);
  EXPECT_EQ(html.find("src=\"http"), std::string::npos);
  EXPECT_EQ(html.find("<link"), std::string::npos);
  EXPECT_LT(html.find("data-path=\"b/fail.js\""), html.find("data-path=\"a/pass.js\""));
  EXPECT_NE(html.find("data-status=\"failed\" data-path=\"b/fail.js\" open>"), std::string::npos);
  EXPECT_NE(html.find("<b>2</b>passed"), std::string::npos);
  EXPECT_NE(html.find("<b>1</b>flaky"), std::string::npos);
  EXPECT_NE(html.find("Failed step: <b>title &lt;check&gt;</b>"), std::string::npos);
  EXPECT_NE(html.find("<img alt=\"screenshot\" src=\"scripts/b/fail.failure.png\">"), std::string::npos);
  EXPECT_NE(html.find("console: error: boom"), std::string::npos);
  EXPECT_EQ(html.find(">HAR</a>"), std::string::npos) << "no HAR: no link";
}

// A script's HAR is linked from its row, the summary line of its details.
TEST(HtmlReport, LinksEachScriptsHarFromItsRow) {
  SuiteResult suite = sample();
  suite.scripts[0].attempts.back().har = L"scripts/a/pass & more.har";
  const std::string html = html_report(suite);
  const auto row = html.find("data-path=\"a/pass.js\"");
  ASSERT_NE(row, std::string::npos);
  const auto link = html.find("<a class=\"har\" href=\"scripts/a/pass &amp; more.har\">HAR</a></summary>", row);
  EXPECT_NE(link, std::string::npos) << html;
  EXPECT_LT(link, html.find("</details>", row));
  EXPECT_EQ(html.find(">HAR</a>", html.find("</summary>", link)), std::string::npos)
      << "only the script with a HAR has a link";
}

// An interrupted script: its own status in each writer, read back from
// results.json, counted in the summary line and the page, and never a
// reason to retry; one test is "1 test".
TEST(Interrupted, NamedByEveryWriter) {
  SuiteResult suite;
  suite.seconds = 4;
  suite.scripts.push_back(script(L"a/pass.js", {attempt(0, {test(L"ok", TestStatus::kPassed)})}));
  Attempt cut = attempt(137, {test(L"long", TestStatus::kPassed)});
  cut.tests[0].status = TestStatus::kError;
  cut.interrupted = true;
  cut.script_error = L"interrupted after 2.0 s";
  explain_cut_tests(cut);
  suite.scripts.push_back(script(L"b/long.js", {cut}));
  ASSERT_EQ(suite.scripts[1].status, ScriptStatus::kInterrupted);
  EXPECT_FALSE(counts_as_passed(ScriptStatus::kInterrupted));

  EXPECT_EQ(summary_line(suite),
            L"2 scripts: 1 passed, 0 failed, 0 flaky, 0 timed out, 1 interrupted; 2 tests, 1 failed; 4.0 s");
  EXPECT_EQ(summary_line(SuiteResult{{suite.scripts[0]}, 1}),
            L"1 script: 1 passed, 0 failed, 0 flaky, 0 timed out; 1 test, 0 failed; 1.0 s");
  const SuiteResult back = parse_results_json(results_json(suite));
  EXPECT_EQ(back.scripts[1].status, ScriptStatus::kInterrupted);
  EXPECT_TRUE(back.scripts[1].final_attempt().interrupted);
  EXPECT_EQ(back.scripts[1].final_attempt().tests[0].errors, std::vector<std::wstring>{L"interrupted after 2.0 s"});
  const std::string html = html_report(suite);
  EXPECT_NE(html.find("<b>1</b>interrupted</span>"), std::string::npos);
  EXPECT_NE(html.find("data-status=\"interrupted\" data-path=\"b/long.js\" open>"), std::string::npos);
  EXPECT_NE(html.find("<button data-filter=\"interrupted\">"), std::string::npos);
  EXPECT_NE(html.find("<span>1 test</span>"), std::string::npos) << html;
  const std::string quiet = html_report(SuiteResult{{suite.scripts[0]}, 1});
  EXPECT_EQ(quiet.find("</b>interrupted"), std::string::npos);
  EXPECT_EQ(quiet.find("data-filter=\"interrupted\""), std::string::npos);
  const std::string xml = junit_xml(suite);
  EXPECT_NE(xml.find("<testcase name=\"(interrupted)\" classname=\"b/long.js\""), std::string::npos) << xml;
}

}  // namespace
}  // namespace Tavrin::Suite
