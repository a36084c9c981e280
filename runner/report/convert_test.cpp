// The convert mode with real files: through RunConvert, and through the
// Quorvane program with its command-line forms.
#include "runner/report/convert.h"

#include <cstdlib>
#include <sstream>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "runner/report/testing/well_formed.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Report {
namespace {

using quorvane_test::ProgramRun;
using quorvane_test::read_file;
using quorvane_test::run_program;
using quorvane_test::TempDir;
using quorvane_test::write_file;

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

class RunConvertTest : public ::testing::Test {
 protected:
  // Runs the convert mode on the two paths; the console text goes to console_.
  int run(const std::string& input, const std::string& output) {
    Configuration config;
    config.InsertParameter(L"common", L"input", {std::wstring(input.begin(), input.end()), ParameterType::String});
    config.InsertParameter(L"common", L"output", {std::wstring(output.begin(), output.end()), ParameterType::String});
    Logger::ConsoleLogger logger(console_);
    if (!message_on_) logger.set_level("test");
    return RunConvert(config, logger);
  }

  TempDir dir_;
  std::wostringstream console_;
  bool message_on_ = true;
};

TEST_F(RunConvertTest, ConvertsTheBundledExample) {
  const std::string report = dir_.file("report.xml");
  EXPECT_EQ(run(QUORVANE_SOURCE_DIR "/examples/run.log", report), 0);
  EXPECT_EQ(console_.str(), L"");
  const std::string xml = read_file(report);
  EXPECT_EQ(xml_error(xml), "");
  for (const char* kind : {"<suite ", "<testfile ", "<test ", "<page ", "<element ", "<action ", "<script ",
                           "<screenshot ", "<assert ", "<result ", "<param ", "<info ", "<error ", "<verbose ",
                           "<message ", "<stats "})
    EXPECT_NE(xml.find(kind), std::string::npos) << kind;
}

TEST_F(RunConvertTest, EmptyLogGivesTheDeclarationOnly) {
  write_file(dir_.file("empty.log"), "");
  EXPECT_EQ(run(dir_.file("empty.log"), dir_.file("report.xml")), 0);
  EXPECT_EQ(read_file(dir_.file("report.xml")), kDeclaration);
}

// A log that cannot be opened or read: one message, exit code 2, and an
// existing report is left as it was.
TEST_F(RunConvertTest, UnreadableLogIsAnError) {
  write_file(dir_.file("report.xml"), "old");
  EXPECT_EQ(run(dir_.file("missing.log"), dir_.file("report.xml")), 2);
  EXPECT_EQ(console_.str(), L"Unable to open input file: " + boost::filesystem::path(dir_.file("missing.log")).wstring() + L"\n");
  EXPECT_EQ(read_file(dir_.file("report.xml")), "old");

  console_.str(L"");
  EXPECT_EQ(run(dir_.path(), dir_.file("report.xml")), 2);
  EXPECT_EQ(console_.str(), L"Unable to read input file: " + boost::filesystem::path(dir_.path()).wstring() + L"\n");
  EXPECT_EQ(read_file(dir_.file("report.xml")), "old");
}

TEST_F(RunConvertTest, UncreatableReportIsAnError) {
  write_file(dir_.file("run.log"), "test: value=[[[t]]]\n");
  const std::string report = dir_.file("no such folder/report.xml");
  EXPECT_EQ(run(dir_.file("run.log"), report), 2);
  EXPECT_EQ(console_.str(), L"Unable to create output file: " + boost::filesystem::path(report).wstring() + L"\n");

  console_.str(L"");
  message_on_ = false;
  EXPECT_EQ(run(dir_.file("run.log"), report), 2);
  EXPECT_EQ(console_.str(), L"");
}

// The program itself, in both spellings of the mode option.
TEST(ConvertProgram, ConvertsWithLongAndShortOptions) {
  TempDir dir;
  write_file(dir.file("run.log"), "test: value=[[[t]]]\nresult: name=[[[status]]] value=[[[ok]]]\n");
  const std::string program = QUORVANE_BIN_DIR "/Quorvane";
  const std::string expected =
      std::string(kDeclaration).append(R"(<test name="t" date=""><result status="ok" date=""></result></test>)");
  EXPECT_EQ(run_program({program, "--mode=convert", "-i", dir.file("run.log"), "-o", dir.file("a.xml")}).exit, 0);
  EXPECT_EQ(read_file(dir.file("a.xml")), expected);
  EXPECT_EQ(run_program({program, "-m", "convert", "-i", dir.file("run.log"), "-o", dir.file("b.xml")}).exit, 0);
  EXPECT_EQ(read_file(dir.file("b.xml")), expected);

  const ProgramRun missing =
      run_program({program, "-m", "convert", "-i", dir.file("none.log"), "-o", dir.file("c.xml")});
  EXPECT_EQ(missing.exit, 2);
  EXPECT_EQ(missing.out, "Unable to open input file: " + dir.file("none.log") + "\n");
}

}  // namespace
}  // namespace Tavrin::Report
