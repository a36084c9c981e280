// BenchExec as a run sees it: the object created by class id in a private
// copy of the test program whose folder (the runner's directory, with a
// blank in its name) holds a recording child as "Quorvane".
#include "runtime/nested_suite.h"

#include <climits>
#include <filesystem>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "common/directories.h"
#include "platform/process.h"
#include "runtime/testing/echo_fixture.h"
#include "runtime/testing/private_copy.h"
#include "test_support/temp_dir.h"

namespace {

using namespace Tavrin::Platform::Com;
using Tavrin::Runtime::nested_command_line;
using Tavrin::Runtime::NestedRun;
using Tavrin::Runtime::Testing::CopyLayout;
using Tavrin::Runtime::Testing::echo_config;
using Tavrin::Runtime::Testing::EchoTest;
using Tavrin::Runtime::Testing::InPrivateCopy;
using Tavrin::Runtime::Testing::StdoutCapture;
using Tavrin::Platform::Process::split_command_line;

CopyLayout runner_folder(bool with_child = true) {
  CopyLayout layout;
  layout.config_xml = echo_config(std::nullopt, 500);
  layout.folder = "runner dir";
  if (with_child) layout.programs.push_back({RECORDING_CHILD, "Quorvane"});
  return layout;
}

// What the recording child saw.
struct Record {
  std::string directory;
  std::vector<std::string> arguments;
};

class NestedSuite : public EchoTest {
 protected:
  void SetUp() override { std::filesystem::create_directories(scripts_); }

  // The object of a top-level run of "my tests/main.js" with the run
  // parameters of the example (log with a blank in its path).
  void CreateRun(const std::wstring& suite = L"0", StdoutCapture::Target target = StdoutCapture::Target::kPipe) {
    ASSERT_NO_FATAL_FAILURE(Create(suite, Wide(scripts_ + "/main.js"), target));
    Put(L"server", L"localhost");
    Put(L"port", L"80");
    Put(L"browser", L"firefox");
    Put(L"log", Wide(log_));
  }
  void Put(const std::wstring& key, const std::wstring& value) {
    Call(L"PutParameter", {Variant(key), Variant(value)});
  }
  LONG Run(const std::wstring& script) {
    const Variant result = Call(L"BenchExec", {Variant(script)});
    EXPECT_EQ(result.vt, VT_I4);
    return result.lVal;
  }
  Record Recorded() const {
    std::istringstream lines(quorvane_test::read_file(record_file_));
    Record record;
    std::getline(lines, record.directory);
    for (std::string line; std::getline(lines, line);) record.arguments.push_back(line);
    return record;
  }
  static std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }
  static std::string Runner() { return Tavrin::Windows::Filesystem::get_starting_dir_a() + "/Quorvane"; }

  quorvane_test::TempDir tests_;
  std::string scripts_ = tests_.file("my tests");
  std::string record_file_ = tests_.file("record.txt");
  std::string log_ = tests_.file("my logs/run 1.log");
  quorvane_test::ScopedEnv record_env_{"QUORVANE_RECORD_FILE", record_file_};
};

// The example: blanks in the runner's folder, the script and the log path
// reach the child whole; the child runs one level deeper, in the parent
// script's folder, and its exit status comes back.
TEST_F(NestedSuite, ChildGetsTheArgumentsOfTheExample) {
  if (!InPrivateCopy(runner_folder())) return;
  ASSERT_NO_FATAL_FAILURE(CreateRun());
  EXPECT_EQ(Run(L"sub dir/login page.js"), 0);
  const Record record = Recorded();
  EXPECT_EQ(record.arguments, (std::vector<std::string>{Runner(), "sub dir/login page.js", "--suite", "1", "-s",
                                                         "localhost", "-p", "80", "-b", "firefox", "--log", log_}));
  EXPECT_EQ(record.directory, scripts_);
  EXPECT_EQ(std::filesystem::current_path().string(), scripts_);  // changed, not put back
}

// From suite 2 the child runs at suite 3; its exit status 3 is the result
// of a successful call.
TEST_F(NestedSuite, SuiteTwoRunsThreeAndExitStatusIsReturned) {
  if (!InPrivateCopy(runner_folder())) return;
  quorvane_test::ScopedEnv status("QUORVANE_RECORD_EXIT", "3");
  ASSERT_NO_FATAL_FAILURE(CreateRun(L"2"));
  Bstr script(L"a.js");
  LONG exit_code = -1;
  EXPECT_EQ(Direct()->BenchExec(script.get(), &exit_code), S_OK);
  EXPECT_EQ(exit_code, 3);
  const Record record = Recorded();
  ASSERT_EQ(record.arguments.size(), 12u);
  EXPECT_EQ(record.arguments[2], "--suite");
  EXPECT_EQ(record.arguments[3], "3");
}

// Server, port and browser are passed unquoted: a blank splits them.
TEST_F(NestedSuite, BlankInServerSplitsIt) {
  if (!InPrivateCopy(runner_folder())) return;
  ASSERT_NO_FATAL_FAILURE(CreateRun());
  Put(L"server", L"local host");
  Run(L"a.js");
  EXPECT_EQ(Recorded().arguments, (std::vector<std::string>{Runner(), "a.js", "--suite", "1", "-s", "local", "host",
                                                            "-p", "80", "-b", "firefox", "--log", log_}));
}

// Without "log" the call fails with "Unknown error" after the test-file
// header, and nothing is started.
TEST_F(NestedSuite, MissingLogFailsBeforeStarting) {
  if (!InPrivateCopy(runner_folder())) return;
  ASSERT_NO_FATAL_FAILURE(Create(L"1", Wide(scripts_ + "/main.js")));
  Put(L"server", L"localhost");
  Put(L"port", L"80");
  Put(L"browser", L"firefox");
  std::wstring description;
  EXPECT_EQ(Failure(L"BenchExec", {Variant(L"sub.js")}, &description), E_UNEXPECTED);
  EXPECT_EQ(description, L"Unknown error");
  EXPECT_FALSE(std::filesystem::exists(record_file_));
  EXPECT_EQ(Transcript(), "testfile: source=\"sub.js\"\ninfo: path=\"" + scripts_ + "/sub.js\"\n");
}

// A suite that is not a number, or the deepest level there is, starts
// nothing either.
TEST_F(NestedSuite, BadSuiteFailsBeforeStarting) {
  if (!InPrivateCopy(runner_folder())) return;
  ASSERT_NO_FATAL_FAILURE(CreateRun(L"one"));
  std::wstring description;
  EXPECT_EQ(Failure(L"BenchExec", {Variant(L"sub.js")}, &description), E_UNEXPECTED);
  EXPECT_EQ(description, L"Unknown error");
  Put(L"suite", std::to_wstring(INT_MAX));
  EXPECT_EQ(Failure(L"BenchExec", {Variant(L"sub.js")}), E_UNEXPECTED);
  EXPECT_FALSE(std::filesystem::exists(record_file_));
}

// A runner's directory without the runner: the child cannot be started.
TEST_F(NestedSuite, MissingRunnerIsUnknownError) {
  if (!InPrivateCopy(runner_folder(false))) return;
  ASSERT_NO_FATAL_FAILURE(CreateRun());
  std::wstring description;
  EXPECT_EQ(Failure(L"BenchExec", {Variant(L"sub.js")}, &description), E_UNEXPECTED);
  EXPECT_EQ(description, L"Unknown error");
}

// A script full name without any separator cannot be entered as a folder;
// the child still starts, in the folder the parent was in.
TEST_F(NestedSuite, ScriptNameWithoutSeparatorStillStarts) {
  if (!InPrivateCopy(runner_folder())) return;
  ASSERT_NO_FATAL_FAILURE(CreateRun());
  put_property(object_.get(), L"scriptFullName", Variant(L"main.js"));
  const std::string before = std::filesystem::current_path().string();
  EXPECT_EQ(Run(L"sub.js"), 0);
  const Record record = Recorded();
  EXPECT_EQ(record.directory, before);
  ASSERT_EQ(record.arguments.size(), 12u);
  EXPECT_EQ(record.arguments[1], "sub.js");
}

// Null arguments are pointer errors.
TEST_F(NestedSuite, NullPointers) {
  if (!InPrivateCopy(runner_folder())) return;
  ASSERT_NO_FATAL_FAILURE(CreateRun());
  Bstr script(L"a.js");
  LONG exit_code = 0;
  EXPECT_EQ(Direct()->BenchExec(nullptr, &exit_code), E_POINTER);
  EXPECT_EQ(Direct()->BenchExec(script.get(), nullptr), E_POINTER);
  EXPECT_FALSE(std::filesystem::exists(record_file_));
}

// The console reads in run order: the parent's lines, the nested script's
// header, the child's own output, then the parent again, whose next page
// header first re-announces the parent's test file.
class NestedSuiteOrder : public NestedSuite, public ::testing::WithParamInterface<StdoutCapture::Target> {};

TEST_P(NestedSuiteOrder, ChildOutputLandsBetweenParentLines) {
  if (!InPrivateCopy(runner_folder())) return;
  ASSERT_NO_FATAL_FAILURE(CreateRun(L"0", GetParam()));
  Node(L"", L"assert", L"before", L"1");
  Run(L"sub.js");
  Node(L"", L"test", L"t", L"x");
  Page(L"p-1", L"http://one/", L"One");
  Node(L"", L"assert", L"after", L"2");
  Run(L"other.js");
  Node(L"", L"assert", L"last", L"3");
  EXPECT_EQ(Transcript(), "testfile: source=\"main.js\"\n"
                          "info: path=\"" + scripts_ + "/main.js\"\n"
                          "assert: before=\"1\"\n"
                          "testfile: source=\"sub.js\"\n"
                          "info: path=\"" + scripts_ + "/sub.js\"\n"
                          "child: sub.js\n"
                          "test: t=\"x\"\n"
                          "testfile: source=\"main.js\"\n"
                          "info: path=\"" + scripts_ + "/main.js\"\n"
                          "page: uuid=\"p-1\"\n"
                          "info: title=\"One\"\n"
                          "info: url=\"http://one/\"\n"
                          "assert: after=\"2\"\n"
                          "testfile: source=\"other.js\"\n"
                          "info: path=\"" + scripts_ + "/other.js\"\n"
                          "child: other.js\n"
                          "assert: last=\"3\"\n");
}

INSTANTIATE_TEST_SUITE_P(PipeAndFile, NestedSuiteOrder,
                         ::testing::Values(StdoutCapture::Target::kPipe, StdoutCapture::Target::kFile),
                         [](const auto& info) { return info.param == StdoutCapture::Target::kPipe ? "Pipe" : "File"; });

// The runner, the script and the log are quoted so that every text comes
// back whole through the Windows splitting, quotes and trailing
// backslashes included.
TEST(NestedCommandLine, QuotedItemsComeBackWhole) {
  NestedRun run;
  run.runner = L"/opt/q dir/Quorvane";
  run.script = L"odd\"name.js";
  run.suite = 4;
  run.server = L"example.org";
  run.port = L"8080";
  run.browser = L"chrome";
  run.log = L"C:\\logs\\";
  EXPECT_EQ(split_command_line(nested_command_line(run)),
            (std::vector<std::string>{"/opt/q dir/Quorvane", "odd\"name.js", "--suite", "5", "-s", "example.org",
                                      "-p", "8080", "-b", "chrome", "--log", "C:\\logs\\"}));
  run.script = L"";
  run.log = L"plain.log";
  EXPECT_EQ(nested_command_line(run),
            L"\"/opt/q dir/Quorvane\" \"\" --suite 5 -s example.org -p 8080 -b chrome --log \"plain.log\"");
  run.suite = INT_MAX;
  EXPECT_THROW(nested_command_line(run), std::overflow_error);
}

}  // namespace
