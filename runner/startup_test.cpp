// The runner program as a user meets it: console lines and exit codes.
#include "runner/startup.h"

#include <cstdlib>
#include <sstream>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace {

namespace fs = boost::filesystem;

struct RunResult {
  int exit_code = -1;
  std::string output;
};

const char kConfig[] =
    "<config>\n"
    "  <section id=\"common\">\n"
    "    <parameter id=\"server\" type=\"string\"><value>localhost</value></parameter>\n"
    "    <parameter id=\"port\" type=\"integer\"><value>80</value></parameter>\n"
    "    <parameter id=\"browser\" type=\"string\"><value>default</value></parameter>\n"
    "    <parameter id=\"resource\" type=\"string\"><value>Resource.dat</value></parameter>\n"
    "  </section>\n"
    "  <section id=\"runtime\">\n"
    "    <parameter id=\"console_log_level\" type=\"string\"><value>LEVEL</value></parameter>\n"
    "  </section>\n"
    "</config>\n";

// A copy of the runner in a folder of its own, so each test chooses what
// lies beside it.
class RunnerProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fs::path(QUORVANE_BIN_DIR) / "Quorvane", program());
  }
  std::string program() const { return dir_.file("Quorvane"); }
  void WriteConfig(const std::string& level) {
    std::string text = kConfig;
    text.replace(text.find("LEVEL"), 5, level);
    quorvane_test::write_file(dir_.file("config.xml"), text);
  }
  RunResult Run(const std::string& args) {
    std::vector<std::string> arguments = quorvane_test::windows_arguments(args);
    arguments.insert(arguments.begin(), program());
    quorvane_test::RunOptions options;
    options.merge_error = true;
    const quorvane_test::ProgramRun run = quorvane_test::run_program(arguments, options);
    RunResult result;
    result.exit_code = run.exit;
    result.output = run.out;
    return result;
  }

  quorvane_test::TempDir dir_;
};

TEST_F(RunnerProgram, NoArgumentsPrintsUsage) {
  WriteConfig("message");
  const RunResult r = Run("");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.output.rfind("Usage: Quorvane.exe [mode] [options]\n", 0), 0u) << r.output;
  for (const char* piece : {"Mode options:", "Normal mode options:", "Convert mode options:", "-h [ --help ]",
                            "print help", "working mode", "test script filename", "webserver port",
                            "input filename", "output filename"})
    EXPECT_NE(r.output.find(piece), std::string::npos) << piece;
  EXPECT_EQ(r.output.find("Suite recursive number"), std::string::npos) << "hidden options are not shown";
  // Suite mode's options come fourth, after the three groups.
  const std::size_t convert = r.output.find("Convert mode options:");
  const std::size_t suite = r.output.find("Suite mode options (--mode=suite PATH...):");
  EXPECT_LT(r.output.find("Normal mode options:"), convert);
  ASSERT_NE(suite, std::string::npos) << r.output;
  EXPECT_LT(convert, suite);
  for (const char* piece : {"--workers N", "--grep TEXT", "--out DIR", "--shard K/N", "--retries N", "--timeout SECONDS"})
    EXPECT_NE(r.output.find(piece, suite), std::string::npos) << piece;
}

TEST_F(RunnerProgram, HelpWinsOverAFile) {
  WriteConfig("message");
  const RunResult r = Run("-h login.js");
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.output.rfind("Usage:", 0), 0u);
}

// Without config.xml every channel is on, so the failure is shown.
TEST_F(RunnerProgram, MissingConfigurationFile) {
  const RunResult r = Run("login.js");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.output, "Configuration file error, terminate program\n");
}

TEST_F(RunnerProgram, BrokenConfigurationFile) {
  quorvane_test::write_file(dir_.file("config.xml"), "<config><section id=\"common\"><!-- x --></section></config>");
  const RunResult r = Run("login.js");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.output, "Configuration file error, terminate program\n");
}

// Parse failures end with exit code 2 so that a parent run or CI sees them.
TEST_F(RunnerProgram, CommandLineErrors) {
  WriteConfig("message");
  for (const char* args : {"-p abc login.js", "--mode=convert -i run.log", "-m normal login.js", "-p abc",
                           "--suite x"}) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.exit_code, 2) << args;
    EXPECT_EQ(r.output, "Error parsing commandline, terminate program\n") << args;
  }
}

TEST_F(RunnerProgram, NormalRunWithoutScriptEngine) {
  WriteConfig("message");
  const RunResult r = Run("login.js");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.output, "Error in Script Engine, terminate program\n");
}

// "suite testfile" leaves channel "message" off: failures are not shown,
// but the exit code still tells.
TEST_F(RunnerProgram, ConsoleLevelSilencesMessages) {
  WriteConfig("suite testfile");
  const RunResult r = Run("-p abc login.js");
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_EQ(r.output, "");
}

}  // namespace

namespace Tavrin::Runner {
namespace {

std::string header(const std::string& level, int suite, const std::wstring& port) {
  Configuration config;
  config.InsertParameter(L"common", L"server", {L"example.org", ParameterType::String});
  config.InsertParameter(L"common", L"browser", {L"firefox", ParameterType::String});
  config.InsertParameter(L"common", L"argFile", {L"login.js", ParameterType::String});
  config.InsertParameter(L"common", L"file", {L"/t/login.js", ParameterType::String});
  config.InsertParameter(L"common", L"port", {port, ParameterType::Integer});
  std::wostringstream out;
  {
    Logger::ConsoleLogger logger(out);
    SetConsoleLevel(std::wstring(level.begin(), level.end()), logger);
    WriteRunHeader(config, logger, suite);
  }
  std::string narrow;
  for (wchar_t c : out.str()) narrow += static_cast<char>(c);
  return narrow;
}

TEST(WriteRunHeader, TopLevelRunWritesSuiteAndInfoLines) {
  EXPECT_EQ(header("suite info", 0, L"8080"),
            "suite: source=\"login.js\" browser=\"firefox\" host=\"example.org:8080\"\n"
            "info: path=\"/t/login.js\"\n");
  EXPECT_EQ(header("suite info", 0, L""),
            "suite: source=\"login.js\" browser=\"firefox\" host=\"example.org\"\n"
            "info: path=\"/t/login.js\"\n");
}

TEST(WriteRunHeader, ChannelsAndNestedRuns) {
  EXPECT_EQ(header("suite testfile", 0, L"80"),
            "suite: source=\"login.js\" browser=\"firefox\" host=\"example.org:80\"\n");
  EXPECT_EQ(header("suite info", 2, L"80"), "");
}

}  // namespace
}  // namespace Tavrin::Runner

namespace Tavrin::Runner {
namespace {

TEST(ComErrorText, CodeInLowerCaseHexAndDescription) {
  EXPECT_EQ(ComErrorText(_com_error(E_FAIL)), L"COM error (80004005)");
  EXPECT_EQ(ComErrorText(_com_error(E_INVALIDARG)), L"COM error (80070057)");

  Tavrin::Platform::Com::report_error(GUID{}, GUID{}, L"Unable to generate UUID");
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  const _com_error with_description(E_FAIL, info);
  info->Release();
  EXPECT_EQ(ComErrorText(with_description), L"COM error (80004005) Unable to generate UUID");
}

}  // namespace
}  // namespace Tavrin::Runner
