#include "runtime/testing/private_copy.h"

#include <cstdlib>
#include <iostream>

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include "platform/module_path.h"
#include "platform/text.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Runtime::Testing {
namespace {
constexpr char kCopyMarker[] = "QUORVANE_RUNTIME_TEST_COPY";
}  // namespace

bool InPrivateCopy(const std::optional<std::string>& config_xml) {
  CopyLayout layout;
  layout.config_xml = config_xml;
  return InPrivateCopy(layout);
}

bool InPrivateCopy(const CopyLayout& layout) {
  if (std::getenv(kCopyMarker)) return true;
  namespace fs = boost::filesystem;
  quorvane_test::TempDir dir;
  const std::string folder = layout.folder.empty() ? dir.path() : dir.file(layout.folder);
  fs::create_directories(folder);
  const std::string program = folder + "/runtime_test_copy";
  fs::copy_file(Platform::to_utf8(Platform::executable_path()), program);
  for (const auto& [source, name] : layout.programs) fs::copy_file(source, folder + "/" + name);
  if (layout.config_xml) quorvane_test::write_file(folder + "/config.xml", *layout.config_xml);
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
  quorvane_test::RunOptions options;
  options.environment = {std::string(kCopyMarker) + "=1"};
  options.merge_error = true;
  const quorvane_test::ProgramRun run = quorvane_test::run_program({program, "--gtest_filter=" + filter}, options);
  EXPECT_EQ(run.exit, 0) << "the private copy failed:\n" << run.out;
  return false;
}

ConsoleCapture::ConsoleCapture() : previous_(std::wcout.rdbuf(buffer_.rdbuf())) {}

ConsoleCapture::~ConsoleCapture() { std::wcout.rdbuf(previous_); }

std::string config_with_level(const std::string& console_log_level) {
  return "<config>\n"
         "  <section id=\"common\">\n"
         "    <parameter id=\"server\" type=\"string\"><value>localhost</value></parameter>\n"
         "    <parameter id=\"port\" type=\"integer\"><value>80</value></parameter>\n"
         "  </section>\n"
         "  <section id=\"runtime\">\n"
         "    <parameter id=\"console_log_level\" type=\"string\"><value>" +
         console_log_level +
         "</value></parameter>\n"
         "    <parameter id=\"max_console_value\" type=\"integer\"><value>12</value></parameter>\n"
         "  </section>\n"
         "</config>\n";
}

}  // namespace Tavrin::Runtime::Testing
