// Test scripts run from end to end: the runner program with the script
// engine, the runtime object and the support scripts, its console and exit
// status, and the test log that the support scripts write, converted by the
// runner's convert mode.
//
// Each test installs a runner of its own in a temporary folder (the program,
// config.xml, Resource.dat and a guard that ends at once) and registers, in
// the test's private registry, the runtime object (or a recording stand-in)
// and a stand-in for the local proxy server's object.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "platform/com/testing/class_registration.h"
#include "platform/process.h"
#include "platform/process_watch.h"
#include "proxy/velmora_proxy.h"
#include "runner/report/testing/well_formed.h"
#include "runtime/velmora_script.h"
#include "test_support/local_processes.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace {

namespace fs = boost::filesystem;
namespace Process = Tavrin::Platform::Process;
using quorvane_test::read_file;
using quorvane_test::write_file;

const char kConfig[] =
    "<config>\n"
    "  <section id=\"common\">\n"
    "    <parameter id=\"server\" type=\"string\"><value>localhost</value></parameter>\n"
    "    <parameter id=\"port\" type=\"integer\"><value>8080</value></parameter>\n"
    "    <parameter id=\"browser\" type=\"string\"><value>chromium</value></parameter>\n"
    "    <parameter id=\"resource\" type=\"string\"><value>Resource.dat</value></parameter>\n"
    "  </section>\n"
    "  <section id=\"runtime\">\n"
    "    <parameter id=\"console_log_level\" type=\"string\"><value>message assert param info suite testfile "
    "test result error stats verbose</value></parameter>\n"
    "    <parameter id=\"max_console_value\" type=\"integer\"><value>50</value></parameter>\n"
    "  </section>\n"
    "  <section id=\"proxy\">\n"
    "    <parameter id=\"port\" type=\"integer\"><value>8888</value></parameter>\n"
    "  </section>\n"
    "</config>\n";

struct RunResult {
  int exit_code = -1;
  std::string output;
};

class ScriptRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path bin(QUORVANE_BIN_DIR);
    fs::copy_file(bin / "Quorvane", Program());
    fs::copy_file(bin / "Resource.dat", fs::path(install_.path()) / "Resource.dat");
    write_file(install_.file("config.xml"), kConfig);
    // The guard's own behaviour is tested with the helper; here it ends at once.
    write_file(install_.file("QuorvaneHelper"), "#!/bin/sh\nexit 0\n");
    ::chmod(install_.file("QuorvaneHelper").c_str(), 0755);
    using Tavrin::Platform::Com::Testing::register_inproc_server;
    register_inproc_server(CLSID_VelmoraScript, (bin / "QuorvaneRuntime.so").string());
    register_inproc_server(CLSID_VelmoraProxy, FAKE_PROXY_MODULE);
  }

  std::string Program() const { return install_.file("Quorvane"); }

  // Writes `text` as the script `name` in the work folder.
  std::string Script(const std::string& name, const std::string& text) {
    const fs::path path = fs::path(work_.path()) / name;
    fs::create_directories(path.parent_path());
    write_file(path.string(), text);
    return path.string();
  }

  // Runs the runner with `args` in the work folder.
  RunResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), Program());
    Process::StartOptions options;
    options.arguments = args;
    options.working_directory = work_.path();
    options.output = Process::StartOptions::Output::kCapture;
    RunResult result;
    const Process::ExitStatus status = Process::run(options, &result.output);
    result.exit_code = status.exited ? status.code : -1;
    return result;
  }

  // Runs `script_text` as t.js with the log `log` in the work folder.
  RunResult RunScript(const std::string& script_text) {
    Script("t.js", script_text);
    return Run({"t.js", "--log", "t.log"});
  }

  // Converts a log of the work folder; the report's text.
  std::string Convert(const std::string& log) {
    const RunResult r = Run({"--mode=convert", "-i", log, "-o", "report.xml"});
    EXPECT_EQ(r.exit_code, 0) << r.output;
    return read_file(work_.file("report.xml"));
  }

  std::string Log(const std::string& name = "t.log") const { return read_file(work_.file(name)); }

  quorvane_test::TempDir install_;
  quorvane_test::TempDir work_;
};

// What a new user tries first: the script's own result is the exit status.
TEST_F(ScriptRunTest, EchoAndReturnValue) {
  const RunResult r = RunScript("Quorvane.Echo(\"hello\"); return 5;");
  EXPECT_EQ(r.exit_code, 5) << r.output;
  EXPECT_NE(r.output.find("hello\n"), std::string::npos) << r.output;
}

// Only the low 8 bits of a status reach the parent: 300 and -1 exit 255.
TEST_F(ScriptRunTest, ResultsOutsideTheByteRangeExit255) {
  EXPECT_EQ(RunScript("return 300;").exit_code, 255);
  EXPECT_EQ(RunScript("return -1;").exit_code, 255);
  EXPECT_EQ(RunScript("return 255;").exit_code, 255);
  EXPECT_EQ(RunScript("return 0;").exit_code, 0);
}

// One failing assertion: exit 1, and the converted report shows the test,
// the assertion with its failed result, and the statistics.
TEST_F(ScriptRunTest, FailingAssertionReachesTheReport) {
  const RunResult r = RunScript(
      "test('adds', function () {\n"
      "  assertEqual(1 + 1, 2, 'small');\n"
      "  assertEqual(2 + 2, 5, 'large');\n"
      "});\n");
  EXPECT_EQ(r.exit_code, 1) << r.output;
  EXPECT_NE(r.output.find("result: status=\"failed\""), std::string::npos) << r.output;
  const std::string xml = Convert("t.log");
  EXPECT_EQ(Tavrin::Report::xml_error(xml), "") << xml;
  for (const char* piece : {"<suite source=\"t.js\" browser=\"chromium\" host=\"localhost:8080\"",
                            "<testfile source=\"t.js\"", "<test name=\"adds\"", "<assert name=\"small\"",
                            "<result status=\"passed\"", "<assert name=\"large\"",
                            "expected '5'\ngot '4'<result status=\"failed\"",
                            "<stats name=\"test\"", ">1 passed, 1 failed</stats>",
                            "<stats name=\"testfile\"", ">0 passed, 1 failed</stats>", "<stats name=\"suite\""})
    EXPECT_NE(xml.find(piece), std::string::npos) << piece << "\n" << xml;
}

// Every test runs: an exception fails its own test only, recorded as an
// error; the result counts failed tests, and an assertion outside any test
// counts as one.
TEST_F(ScriptRunTest, ExceptionsFailOnlyTheirTest) {
  const RunResult r = RunScript(
      "test('throws', function () { noSuchFunction(); });\n"
      "test('passes', function () { assert(true, 'fine'); });\n"
      "test('fails', function () { fail('by hand', 'because'); });\n"
      "assert(false, 'outside');\n");
  EXPECT_EQ(r.exit_code, 3) << r.output;
  const std::string log = Log();
  EXPECT_NE(log.find("error: name=[[[script]]] value=[[[ReferenceError: "), std::string::npos) << log;
  EXPECT_NE(log.find("noSuchFunction"), std::string::npos) << log;
  EXPECT_NE(log.find("assert: name=[[[fine]]] value=[[['true']]]"), std::string::npos) << log;
  EXPECT_NE(log.find("assert: name=[[[by hand]]] value=[[[because]]]"), std::string::npos) << log;
  EXPECT_NE(log.find("assert: name=[[[outside]]] value=[[[expected true[\\n]got 'false']]]"), std::string::npos)
      << log;
  EXPECT_NE(log.find("stats: name=[[[testfile]]] value=[[[1 passed, 2 failed, 1 failed outside tests]]]"),
            std::string::npos)
      << log;
}

// Values travel through the log as written: line breaks escaped, "]]]" and
// a closing "]" broken up so the record still parses, other characters
// untouched.
TEST_F(ScriptRunTest, LogValuesSurviveTheConverter) {
  const RunResult r = RunScript(
      "info('lines', 'one\\r\\ntwo\\nthree');\n"
      "info('brackets', 'a]]]b]]]]c]');\n"
      "info('escapes', 'literal [\\\\n] and [\\\\r]');\n"
      "message('<b>Gr\\u00fc\\u00dfe</b> \\ud83d\\ude00 \\u65e5\\u672c');\n"
      "return quorvaneFinal();\n");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  const std::string log = Log();
  for (const std::string& line : {std::string("info: name=[[[lines]]] value=[[[one[\\r][\\n]two[\\n]three]]]")})
    EXPECT_NE(log.find(line), std::string::npos) << log;
  const std::string xml = Convert("t.log");
  EXPECT_EQ(Tavrin::Report::xml_error(xml), "") << xml;
  const std::string zwsp = "\xE2\x80\x8B";
  for (const std::string& piece :
       {std::string("<info name=\"lines\">one\r\ntwo\nthree</info>"),
        "<info name=\"brackets\">a]]" + zwsp + "]b]]" + zwsp + "]]c]" + zwsp + "</info>",
        "<info name=\"escapes\">literal [" + zwsp + "\\n] and [" + zwsp + "\\r]" + zwsp + "</info>",
        std::string("<![CDATA[<b>Gr\xC3\xBC\xC3\x9F" "e</b> \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC]]>")})
    EXPECT_NE(xml.find(piece), std::string::npos) << piece << "\n" << xml;
}

// param() returns and records a run parameter; the log parameter is
// absolute, so nested runs find the same file.
TEST_F(ScriptRunTest, ParametersAndTheAbsoluteLogName) {
  const RunResult r = RunScript(
      "Quorvane.Echo(param('log'));\n"
      "Quorvane.Echo(param('server') + ':' + param('port') + ' ' + param('suite'));\n"
      "return 0;\n");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  EXPECT_NE(r.output.find((fs::path(work_.path()) / "t.log").string() + "\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("localhost:8080 0\n"), std::string::npos) << r.output;
  EXPECT_NE(Log().find("param: name=[[[server]]] value=[[[localhost]]]"), std::string::npos);
}

// The top-level run starts its log afresh.
TEST_F(ScriptRunTest, TopLevelRunStartsTheLogAfresh) {
  write_file(work_.file("t.log"), "test: name=[[[test]]] value=[[[left over]]]\n");
  EXPECT_EQ(RunScript("test('new', function () {});").exit_code, 0);
  EXPECT_EQ(Log().find("left over"), std::string::npos) << Log();
  EXPECT_EQ(Log().rfind("suite: ", 0), 0u) << Log();
}

// Syntax and run-time errors name the line in the script file.
TEST_F(ScriptRunTest, ScriptErrorsNameTheLine) {
  RunResult r = RunScript("var a = 1;\nvar b = ;\n");
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("script error (line 2, char "), std::string::npos) << r.output;

  r = RunScript("var a = 1;\n\nundefinedFunction();\nreturn 0;\n");
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("script error (line 3, char "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("undefinedFunction"), std::string::npos) << r.output;
}

// A failing automation call shows the callee's description.
TEST_F(ScriptRunTest, AutomationErrorShowsItsDescription) {
  const RunResult r = RunScript(
      "var fso = new ActiveXObject('Scripting.FileSystemObject');\n"
      "fso.OpenTextFile('/nonexistent/folder/missing.txt', 1);\n");
  EXPECT_EQ(r.exit_code, 2) << r.output;
  EXPECT_NE(r.output.find("script error (line 2, char "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("missing.txt"), std::string::npos) << r.output;
}

TEST_F(ScriptRunTest, EmptyOrMissingScript) {
  Script("empty.js", "");
  for (const char* name : {"empty.js", "missing.js"}) {
    const RunResult r = Run({name});
    EXPECT_EQ(r.exit_code, 2) << name;
    const std::string last = "Error in Script Engine, terminate program\n";
    ASSERT_GE(r.output.size(), last.size()) << name;
    EXPECT_EQ(r.output.substr(r.output.size() - last.size()), last) << r.output;
  }
}

// A nested suite whose one assertion fails: the parent exits 1, both runs
// write one log, and the report nests the child's test file in the suite.
TEST_F(ScriptRunTest, NestedSuiteWritesIntoTheSameLog) {
  Script("sub/child.js", "test('child test', function () { assertEqual(param('suite'), '2', 'level'); });\n");
  const RunResult r = RunScript(
      "test('parent test', function () { assert(true, 'before'); });\n"
      "var status = suite('sub/child.js');\n"
      "test('after', function () { assertEqual(status, 1, 'child status'); });\n");
  EXPECT_EQ(r.exit_code, 1) << r.output;
  const std::string log = Log();
  EXPECT_EQ(log.find("suite: "), log.rfind("suite: ")) << "one suite record\n" << log;
  const std::string xml = Convert("t.log");
  EXPECT_EQ(Tavrin::Report::xml_error(xml), "") << xml;
  const auto suite = xml.find("<suite ");
  const auto child = xml.find("<testfile source=\"child.js\"");
  const auto child_test = xml.find("<test name=\"child test\"");
  const auto level = xml.find("expected '2'\ngot '1'");
  const auto after = xml.find("<test name=\"after\"");
  const auto suite_end = xml.find("</suite>");
  ASSERT_NE(suite, std::string::npos) << xml;
  EXPECT_LT(suite, child) << xml;
  EXPECT_LT(child, child_test) << xml;
  EXPECT_LT(child_test, level) << xml;
  EXPECT_LT(level, after) << xml;
  EXPECT_LT(after, suite_end) << xml;
  EXPECT_EQ(suite_end + 8, xml.size()) << "the suite holds everything\n" << xml;
  EXPECT_NE(xml.find("<assert name=\"suite sub/child.js\" date=\""), std::string::npos) << xml;
}

// suite() inside a test: a failing child fails that test, and the test's
// later records follow the child's test file in a test of the same name.
TEST_F(ScriptRunTest, SuiteInsideATestCountsForThatTest) {
  Script("c.js", "fail('child check', 'on purpose');\n");
  const RunResult r = RunScript(
      "test('runs the child', function () {\n"
      "  suite('c.js');\n"
      "  assert(true, 'after the child');\n"
      "});\n"
      "test('missing parameter', function () { param('nope'); });\n");
  EXPECT_EQ(r.exit_code, 2) << r.output;
  const std::string xml = Convert("t.log");
  EXPECT_EQ(Tavrin::Report::xml_error(xml), "") << xml;
  const auto child = xml.find("<testfile source=\"c.js\"");
  const auto again = xml.find("<test name=\"runs the child\"", child);
  const auto suite_assert = xml.find("<assert name=\"suite c.js\"", again);
  const auto after = xml.find("<assert name=\"after the child\"", suite_assert);
  EXPECT_NE(child, std::string::npos) << xml;
  EXPECT_NE(again, std::string::npos) << xml;
  EXPECT_NE(suite_assert, std::string::npos) << xml;
  EXPECT_NE(after, std::string::npos) << xml;
  EXPECT_NE(xml.find("<error name=\"script\">no run parameter 'nope'</error>"), std::string::npos) << xml;
}

// A Firefox profile set to its own proxy settings is reported on the
// console before the script runs; the run goes on.
TEST_F(ScriptRunTest, FirefoxProfileCheckedBeforeTheScript) {
  const fs::path profile = fs::path(std::getenv("HOME")) / ".mozilla/firefox/k3l4m5n6.default-esr";
  fs::create_directories(profile);
  write_file((profile / "prefs.js").string(),
             "user_pref(\"extensions.lastAppVersion\", \"128.5.0esr\");\n"
             "user_pref(\"network.proxy.type\", 1);\n");
  Script("t.js", "Quorvane.Echo('script ran'); return 0;");
  RunResult r = Run({"t.js", "--log", "t.log", "-b", "firefox"});
  EXPECT_EQ(r.exit_code, 0) << r.output;
  const auto error = r.output.find("error: browser=\"Firefox configuration ERROR: ");
  EXPECT_NE(error, std::string::npos) << r.output;
  EXPECT_LT(error, r.output.find("script ran")) << r.output;

  // Another browser: no check.
  r = Run({"t.js", "--log", "t.log", "-b", "chromium"});
  EXPECT_EQ(r.output.find("Firefox configuration"), std::string::npos) << r.output;
  fs::remove_all(profile.parent_path().parent_path());
}

// The private X servers that process `parent` started and that still run.
int servers_of(int parent) {
  int servers = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = quorvane_test::read_proc(std::stoi(name), "stat");
    const auto paren = stat.rfind(')');
    if (paren == std::string::npos || stat.find("(Xvfb)") == std::string::npos) continue;
    std::istringstream fields(stat.substr(paren + 2));
    std::string state;
    int ppid = 0;
    fields >> state >> ppid;
    servers += ppid == parent && state != "Z";
  }
  return servers;
}

// Without a display a run starts its own only once something needs it: a
// script that takes no screenshot and opens no browser starts none (and
// pays nothing for one), a screenshot starts one. Counted while the script
// waits, once it has made its file "ready".
TEST_F(ScriptRunTest, ADisplayOnlyWhenSomethingNeedsOne) {
  if (::access("/usr/bin/Xvfb", X_OK) != 0) GTEST_SKIP() << "Xvfb is not installed";
  const std::string ready = work_.file("ready");
  auto servers_when_ready = [&](const std::string& script) {
    fs::remove(ready);
    Script("t.js", script + "\nnew ActiveXObject('Scripting.FileSystemObject').CreateTextFile('" + ready +
                       "', true).Close();\nQuorvane.Sleep(60000);\nreturn 0;\n");
    Process::StartOptions options;
    options.arguments = {Program(), "t.js", "--log", "t.log"};
    options.working_directory = work_.path();
    options.output = Process::StartOptions::Output::kDiscard;
    options.environment = Process::environment_with("DISPLAY", "");
    Process::Child runner = Process::start(options);
    if (!quorvane_test::wait_until([&] { return fs::exists(ready); }, std::chrono::seconds(30))) {
      ADD_FAILURE() << "the script did not get ready: " << script;
      return -1;
    }
    const int servers = servers_of(runner.pid());
    runner.Kill();
    return servers;
  };
  EXPECT_EQ(servers_when_ready(""), 0);
  // (The configuration names no image format: the shot itself fails, after
  // the screen was there.)
  EXPECT_EQ(servers_when_ready("try { Quorvane.ScreenShot('shot'); } catch (e) {}"), 1);
}

// The runtime object has the seven run parameters, in order, before any
// code of the test script runs.
TEST_F(ScriptRunTest, ParametersReachTheRuntimeObjectFirst) {
  using Tavrin::Platform::Com::Testing::register_inproc_server;
  register_inproc_server(CLSID_VelmoraScript, RECORDING_RUNTIME_MODULE);
  const std::string record = work_.file("record.txt");
  ::setenv("QUORVANE_RECORD_FILE", record.c_str(), 1);
  Script("t.js", "Quorvane.Echo('script code'); return 0;");
  const RunResult r = Run({"t.js", "--log", "t.log", "-b", "chromium", "-s", "example.org", "-p", "81"});
  ::unsetenv("QUORVANE_RECORD_FILE");
  EXPECT_EQ(r.exit_code, 0) << r.output;
  std::vector<std::string> lines;
  std::istringstream in(read_file(record));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::string work = fs::path(work_.path()).string();
  const std::vector<std::string> first = {
      "PutParameter file=" + work + "/t.js", "PutParameter server=example.org", "PutParameter port=81",
      "PutParameter browser=chromium",       "PutParameter suite=0",            "PutParameter log=t.log",
      "PutParameter default_browser="};
  ASSERT_GE(lines.size(), first.size()) << read_file(record);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + first.size()), first);
  // Then the run's identity, made for this top-level run.
  ASSERT_GT(lines.size(), first.size());
  EXPECT_EQ(lines[first.size()].rfind("PutParameter run=", 0), 0u) << lines[first.size()];
  EXPECT_EQ(lines[first.size()].size(), std::string("PutParameter run=").size() + 36) << "a uuid";
  const auto echo = std::find(lines.begin(), lines.end(), "Echo script code");
  EXPECT_NE(echo, lines.end()) << read_file(record);
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "scriptFullName=" + work + "/t.js") < echo, true);
}

}  // namespace
