#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "common/script_injector.h"
#include "platform/text.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace {

using Tavrin::File;
using Tavrin::ScriptInjector;

// Runs the built QuorvanePack with a shell command line; returns its exit
// code, with what it printed on standard error in *err.
int pack(const quorvane_test::TempDir& dir, const std::string& args, std::string* err) {
  std::vector<std::string> arguments = {QUORVANE_BIN_DIR "/QuorvanePack"};
  const std::vector<std::string> rest = quorvane_test::windows_arguments(args);
  arguments.insert(arguments.end(), rest.begin(), rest.end());
  quorvane_test::RunOptions options;
  options.working_directory = dir.path();
  const quorvane_test::ProgramRun run = quorvane_test::run_program(arguments, options);
  *err = run.err;
  return run.exit;
}

class PackProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    quorvane_test::write_file(dir_.file("host.js"), "function quorvaneFinal() { return 0; }\n");
    quorvane_test::write_file(dir_.file("api.js"), "var api = {};\n");
  }
  quorvane_test::TempDir dir_;
  std::string err_;
};

TEST_F(PackProgramTest, BuildsThePackageInTheCurrentDirectory) {
  ASSERT_EQ(pack(dir_, "host.js api.js --inject", &err_), 0) << err_;
  const ScriptInjector package(Tavrin::Platform::from_utf8(dir_.file("Resource.dat")));
  EXPECT_EQ(package.GetFile("host.js").Data(), "function quorvaneFinal() { return 0; }\n");
  EXPECT_FALSE(package.GetFile("host.js").Inject());
  EXPECT_TRUE(package.GetFile("api.js").Inject());
  EXPECT_EQ(package.GetFile("api.js").Type(), File::MIMEType::kJavaScript);
}

TEST_F(PackProgramTest, EmptyListGivesAValidEmptyPackage) {
  ASSERT_EQ(pack(dir_, "-o empty.dat", &err_), 0) << err_;
  const ScriptInjector package(Tavrin::Platform::from_utf8(dir_.file("empty.dat")));
  EXPECT_EQ(package.GetFile("api.js").Name(), "");
  EXPECT_FALSE(quorvane_test::read_file(dir_.file("empty.dat")).empty());
}

TEST_F(PackProgramTest, FailuresGiveAMessageAndNonZeroExit) {
  EXPECT_EQ(pack(dir_, "-o no/such/dir/Resource.dat host.js", &err_), 1);
  EXPECT_NE(err_.find("Unable to create resource package"), std::string::npos) << err_;
  EXPECT_EQ(pack(dir_, "missing.js", &err_), 1);
  EXPECT_NE(err_.find("cannot read missing.js"), std::string::npos) << err_;
  EXPECT_EQ(pack(dir_, "--inject host.js", &err_), 2);
  EXPECT_NE(err_.find("Usage:"), std::string::npos) << err_;
}

}  // namespace
