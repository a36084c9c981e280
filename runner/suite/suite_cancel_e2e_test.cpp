// A suite cancelled the ways CI systems and people cancel it, through the
// real programs: two scripts that finish and two that hang (one in a
// Chromium on the run's own screen, one without a browser); and a single
// run with a nested suite, cancelled by SIGTERM. Each case
// checks the runner's exit status and time, that no process of the run is
// left (the runners, browser launchers, browsers and screens that were
// running just before the signal, each by its process id), and the
// reports: junit.xml valid against the JUnit schema, results.json and
// index.html naming the same scripts with the same statuses.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/process_watch.h"
#include "scripts/testing/installed_programs.h"
#include "test_support/local_processes.h"
#include "test_support/run_leftovers.h"
#include "test_support/wait_until.h"

namespace {

namespace Process = Tavrin::Platform::Process;
using quorvane_test::read_file;
using quorvane_test::write_file;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Clock = std::chrono::steady_clock;

const char kPasses[] = "test(\"adds\", function () { assert(1 + 1 === 2, \"sum\"); });\n";
const char kFails[] = "test(\"compares\", function () { assertEqual(1, 2, \"one is two\"); });\n";
const char kHangsInAPage[] = R"(
test("hangs in a page", function () {
  var page = open("/index.html");
  for (;;) sleep(500);
});
)";
const char kHangsAlone[] = R"(
test("hangs alone", function () {
  message("looping");
  for (;;) sleep(500);
});
)";

std::string command_line_of(int pid) {
  std::string text = quorvane_test::read_proc(pid, "cmdline");
  for (char& c : text)
    if (c == '\0') c = ' ';
  return text;
}

// Each script path in `text` with its status: group `path` of `pattern`
// to group `status` (an empty status where the pattern has none).
std::map<std::string, std::string> statuses(const std::string& text, const std::regex& pattern, int path, int status) {
  std::map<std::string, std::string> found;
  for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it)
    found[(*it)[path]] = status > 0 ? (*it)[status].str() : "";
  return found;
}

const std::regex kResultsScript("\"path\":\"([^\"]+)\",\"status\":\"([^\"]+)\"");
const std::regex kHtmlScript("data-status=\"([^\"]+)\" data-path=\"([^\"]+)\"");
const std::regex kJunitSuite("<testsuite name=\"([^\"]+)\"");

class SuiteCancel : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/lib/chromium/chromium")) GTEST_SKIP() << "chromium is not installed";
    if (!std::filesystem::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
    programs_.Install(dir_);
    Put("c/a_passes.js", kPasses);
    Put("c/b_fails.js", kFails);
    Put("c/h1_page.js", kHangsInAPage);
    Put("c/h2_alone.js", kHangsAlone);
  }

  void TearDown() override {
    if (suite_) suite_->Kill();
    if (programs_.installed()) {
      EXPECT_THAT(programs_.EndAll(), ::testing::IsEmpty()) << "a browser, proxy or helper was left";
    }
  }

  void Put(const std::string& name, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(dir_.file(name)).parent_path());
    write_file(dir_.file(name), text);
  }

  // Starts `arguments` in the test's folder without a screen (so that each
  // top-level run brings its own), the output in the file "console".
  void Start(std::vector<std::string> arguments) {
    Process::StartOptions options;
    options.arguments = std::move(arguments);
    options.working_directory = dir_.path();
    options.environment = Process::environment_with("DISPLAY", "");
    options.output_file = dir_.file("console");
    options.error_file = options.output_file;
    suite_ = Process::start(options);
  }

  // Starts the suite in a process group of its own (as a shell starts a
  // job) and waits until both finishing scripts are done and both hanging
  // ones are in their loop. Then notes every process of the run.
  void StartAndWaitForTheHangs() {
    Start({"setsid", programs_.bin() + "/Quorvane", "--mode=suite", "--workers", "2", "--timeout", "300", "--out",
           "out", "-s", "login.example.test", "-b", "chromium", "c"});
    const bool hanging = quorvane_test::wait_until(
        [&] {
          return read_file(dir_.file("out/scripts/c/h1_page.log")).find("page: ") != std::string::npos &&
                 read_file(dir_.file("out/scripts/c/h2_alone.log")).find("looping") != std::string::npos;
        },
        seconds(120));
    ASSERT_TRUE(hanging) << Console();
    ASSERT_NE(Console().find("[2/4]"), std::string::npos) << Console();
    NoteTheRun();
  }

  // The runners (the suite's and the scripts'), their screens, the browser
  // launchers and the browsers under them; not the proxy and its guard,
  // which outlive runs by design.
  void NoteTheRun(int screens_expected = 1) {
    run_ = {suite_->pid()};
    for (int pid : quorvane_test::descendants_of(suite_->pid())) run_.insert(pid);
    for (const auto& [pid, line] : quorvane_test::command_lines_from(dir_.path())) {
      if (quorvane_test::is_server_or_guard(line)) continue;
      run_.insert(pid);
      for (int below : quorvane_test::descendants_of(pid)) run_.insert(below);
    }
    int screens = 0, browsers = 0;
    for (int pid : run_) {
      const std::string line = command_line_of(pid);
      if (line.find("Xvfb") != std::string::npos) ++screens;
      if (line.find("chromium") != std::string::npos) ++browsers;
    }
    // A run starts its screen when its browser needs one, so the page
    // script has a screen and a browser; the script without a page none.
    ASSERT_GE(screens, screens_expected) << "no private screens in the run";
    ASSERT_GE(browsers, 1) << "no browser in the run";
  }

  // Waits for the suite runner's end (a minute at most) and returns how it
  // ended; `took` is the time since `since`.
  Process::ExitStatus Ended(Clock::time_point since, double& took) {
    std::optional<Process::ExitStatus> status = suite_->WaitFor(seconds(60));
    took = std::chrono::duration<double>(Clock::now() - since).count();
    if (!status) {
      ADD_FAILURE() << "the suite runner did not end: " << Console();
      suite_->Kill();
      status = Process::ExitStatus{false, 0, SIGKILL};
    }
    suite_.reset();
    return *status;
  }

  // The processes of the run that still exist after 10 s (the browsers'
  // launchers take a moment to close them), with their command lines.
  std::vector<std::string> LeftOfTheRun() const {
    const Clock::time_point from = Clock::now();
    quorvane_test::wait_until(
        [&] {
          for (int pid : run_)
            if (Process::process_exists(pid)) return false;
          return true;
        },
        seconds(10));
    std::cout << "the run's " << run_.size() << " processes were gone "
              << std::chrono::duration<double>(Clock::now() - from).count() << " s after the runner's end\n";
    std::vector<std::string> left;
    for (int pid : run_)
      if (Process::process_exists(pid)) left.push_back(std::to_string(pid) + " " + command_line_of(pid));
    return left;
  }

  // The three reports name the same scripts with the same statuses; the
  // finished scripts have theirs, and `interrupted` are marked so.
  void ExpectReports(const std::vector<std::string>& interrupted) {
    const std::string json = read_file(dir_.file("out/results.json"));
    const std::string xml = read_file(dir_.file("out/junit.xml"));
    const std::string html = read_file(dir_.file("out/index.html"));
    std::map<std::string, std::string> expected = {{"c/a_passes.js", "passed"}, {"c/b_fails.js", "failed"}};
    for (const std::string& path : interrupted) expected[path] = "interrupted";
    EXPECT_EQ(statuses(json, kResultsScript, 1, 2), expected) << json;
    EXPECT_EQ(statuses(html, kHtmlScript, 2, 1), expected) << html;
    std::map<std::string, std::string> paths;
    for (const auto& [path, status] : expected) paths[path] = "";
    EXPECT_EQ(statuses(xml, kJunitSuite, 1, 0), paths) << xml;
    for (const std::string& path : interrupted) {
      EXPECT_NE(xml.find("<testcase name=\"(interrupted)\" classname=\"" + path + "\""), std::string::npos) << xml;
    }
    if (!interrupted.empty()) {
      EXPECT_NE(xml.find("<error message=\"interrupted after"), std::string::npos) << xml;
    }
    quorvane_test::RunOptions merged;
    merged.merge_error = true;
    const auto check = quorvane_test::run_program(
        {"xmllint", "--noout", "--schema", QUORVANE_SOURCE_DIR "/runner/suite/testing/junit.xsd",
         dir_.file("out/junit.xml")},
        merged);
    EXPECT_EQ(check.exit, 0) << check.out << xml;
  }

  std::string Console() const { return read_file(dir_.file("console")); }

  quorvane_test::TempDir dir_;
  quorvane_test::InstalledPrograms programs_;
  std::optional<Process::Child> suite_;
  std::set<int> run_;
};

// What a CI system sends to cancel a job: the runner alone gets SIGTERM.
TEST_F(SuiteCancel, TermToTheRunnerEndsTheRunningScriptsAndWritesTheReports) {
  StartAndWaitForTheHangs();
  const Clock::time_point sent = Clock::now();
  ASSERT_EQ(::kill(suite_->pid(), SIGTERM), 0);
  double took = 0;
  const Process::ExitStatus status = Ended(sent, took);
  EXPECT_TRUE(status.exited && status.code == 128 + SIGTERM) << status.windows_code() << Console();
  EXPECT_LT(took, 15.0) << Console();
  std::cout << "SIGTERM: the runner ended " << took << " s after the signal\n";
  EXPECT_THAT(LeftOfTheRun(), ::testing::IsEmpty());
  EXPECT_NE(Console().find("interrupted: ending 2 running scripts..."), std::string::npos) << Console();
  EXPECT_NE(Console().find("4 scripts: 1 passed, 1 failed, 0 flaky, 0 timed out, 2 interrupted"), std::string::npos)
      << Console();
  ExpectReports({"c/h1_page.js", "c/h2_alone.js"});
}

// Ctrl-C in a terminal: SIGINT to the whole process group, the scripts'
// runners included.
TEST_F(SuiteCancel, IntToTheGroupKeepsTheFinishedResults) {
  StartAndWaitForTheHangs();
  const Clock::time_point sent = Clock::now();
  ASSERT_EQ(::kill(-suite_->pid(), SIGINT), 0);
  double took = 0;
  const Process::ExitStatus status = Ended(sent, took);
  EXPECT_TRUE(status.exited && status.code == 128 + SIGINT) << status.windows_code() << Console();
  EXPECT_LT(took, 15.0) << Console();
  std::cout << "SIGINT to the group: the runner ended " << took << " s after the signal\n";
  EXPECT_THAT(LeftOfTheRun(), ::testing::IsEmpty());
  ExpectReports({"c/h1_page.js", "c/h2_alone.js"});
}

// A runner killed outright: its scripts end with it, results.json keeps
// every script finished before, and the merge mode makes the other two
// reports from it.
TEST_F(SuiteCancel, KillToTheRunnerLeavesNothingRunningAndTheFinishedResults) {
  StartAndWaitForTheHangs();
  const Clock::time_point sent = Clock::now();
  ASSERT_EQ(::kill(suite_->pid(), SIGKILL), 0);
  double took = 0;
  const Process::ExitStatus status = Ended(sent, took);
  EXPECT_EQ(status.signal, SIGKILL);
  EXPECT_THAT(LeftOfTheRun(), ::testing::IsEmpty());
  ASSERT_FALSE(std::filesystem::exists(dir_.file("out/junit.xml")));
  quorvane_test::RunOptions options;
  options.working_directory = dir_.path();
  options.merge_error = true;
  const auto merge = quorvane_test::run_program({programs_.bin() + "/Quorvane", "--mode=merge", "--out", "out", "out"},
                                                options);
  EXPECT_EQ(merge.exit, 1) << merge.out;
  ExpectReports({});
}

// Whether signal `number` waits to be taken by process `pid` (pending for
// the process or one of its threads).
bool signal_pending(int pid, int number) {
  std::istringstream status(quorvane_test::read_proc(pid, "status"));
  bool pending = false;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("ShdPnd:", 0) == 0 || line.rfind("SigPnd:", 0) == 0)
      pending = pending || ((std::stoull(line.substr(7), nullptr, 16) >> (number - 1)) & 1);
  }
  return pending;
}

// A second Ctrl-C does not wait for the suite to end its scripts: the
// runner ends at once, and still nothing of the run is left. The second
// signal is sent as soon as the runner has taken the first (two pending at
// once would be one).
TEST_F(SuiteCancel, SecondIntEndsAtOnceAndLeavesNothingRunning) {
  StartAndWaitForTheHangs();
  const Clock::time_point sent = Clock::now();
  ASSERT_EQ(::kill(suite_->pid(), SIGINT), 0);
  for (int i = 0; i < 5000 && signal_pending(suite_->pid(), SIGINT); ++i) std::this_thread::sleep_for(milliseconds(1));
  ::kill(suite_->pid(), SIGINT);
  double took = 0;
  const Process::ExitStatus status = Ended(sent, took);
  // By the second signal; by the first only when the suite had ended before
  // the second came, which the output tells.
  const bool second = !status.exited && status.signal == SIGINT;
  const bool first = status.exited && status.code == 128 + SIGINT;
  EXPECT_TRUE(second || first) << status.windows_code();
  std::cout << "a second SIGINT: the runner ended " << took << " s after the first, "
            << (second ? "by the second" : "by the first") << "\n";
  EXPECT_LT(took, 15.0) << Console();
  EXPECT_THAT(LeftOfTheRun(), ::testing::IsEmpty());
}

const char kOuter[] = R"(
test("outer", function () {
  var page = open("/index.html");
  message("outer page open");
  suite("inner.js");
});
)";
const char kInner[] = R"(
test("inner", function () {
  message("inner looping");
  for (;;) sleep(500);
});
)";

// A single run ended by SIGTERM (a container stopped) ends as on Ctrl-C:
// its log keeps every record written, and its nested suite, its browser
// and its screen all end with it.
TEST_F(SuiteCancel, TermToASingleRunEndsItsNestedSuiteBrowserAndScreen) {
  Put("n/outer.js", kOuter);
  Put("n/inner.js", kInner);
  Start({programs_.bin() + "/Quorvane", "n/outer.js", "-s", "login.example.test", "-b", "chromium", "--log", "run.log"});
  ASSERT_TRUE(quorvane_test::wait_until(
      [&] { return read_file(dir_.file("run.log")).find("inner looping") != std::string::npos; }, seconds(120)))
      << Console() << read_file(dir_.file("run.log"));
  NoteTheRun();
  const Clock::time_point sent = Clock::now();
  ASSERT_EQ(::kill(suite_->pid(), SIGTERM), 0);
  double took = 0;
  const Process::ExitStatus status = Ended(sent, took);
  EXPECT_EQ(status.windows_code(), 128 + SIGTERM);
  EXPECT_THAT(LeftOfTheRun(), ::testing::IsEmpty());
  const std::string log = read_file(dir_.file("run.log"));
  EXPECT_NE(log.find("page: name=[[[Login]]]"), std::string::npos) << log;
  EXPECT_NE(log.find("outer page open"), std::string::npos) << log;
  EXPECT_NE(log.find("testfile: source=[[[inner.js]]]"), std::string::npos) << log;
  EXPECT_NE(log.find("inner looping"), std::string::npos) << log;
}

}  // namespace
