// `cmake --install` into a private prefix: the layout, and the installed
// copy at work from there (moved elsewhere as a whole, too): it registers
// itself, runs a script with its nested suite, reads config.xml from the
// prefix's etc folder, and a second install keeps an edited config.xml.
#include <filesystem>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support/local_processes.h"
#include "test_support/run_leftovers.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace quorvane_test {
namespace {

namespace fs = std::filesystem;

// The runtime object's class.
constexpr char kRuntimeClassKey[] = "HKCR\\CLSID\\{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}\\InprocServer32";

ProgramRun install_into(const std::string& prefix) {
  return run_program({CMAKE_COMMAND, "--install", QUORVANE_BUILD_DIR, "--prefix", prefix});
}

// Replaces `from` by `to` in the file at `path`; fails the test when
// `from` is not there.
void replace_in_file(const std::string& path, const std::string& from, const std::string& to) {
  std::string text = read_file(path);
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from << " in " << path;
  text.replace(at, from.size(), to);
  write_file(path, text);
}

class InstallPrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_ = dir_.file("P");
    const ProgramRun install = install_into(prefix_);
    ASSERT_EQ(install.exit, 0) << install.out << install.err;
  }

  // The runs' processes end with them; the installed copy's proxy and
  // guard are ended here, before the prefix goes.
  void TearDown() override { EXPECT_THAT(end_runs_then_server(dir_.path()), ::testing::IsEmpty()); }

  // Unregisters the copy once the guard of its last run is gone (the
  // helper refuses while another instance runs).
  int Uninstall() const {
    EXPECT_THAT(end_runs_then_server(dir_.path()), ::testing::IsEmpty());
    return run_program({prefix_ + "/bin/QuorvaneHelper", "/Uninstall"}).exit;
  }

  std::string lib() const { return prefix_ + "/lib/quorvane"; }

  // The installed copy's proxy on a port of this test's own.
  void UseFreeProxyPort() {
    replace_in_file(prefix_ + "/etc/quorvane/config.xml",
                    "<parameter id=\"port\" type=\"integer\"><value>8888</value>",
                    "<parameter id=\"port\" type=\"integer\"><value>" + std::to_string(free_port()) + "</value>");
  }

  // Runs examples/hello.js from the prefix in `work`, with its test log
  // there.
  ProgramRun RunHello(const std::string& work) const {
    RunOptions options;
    options.working_directory = work;
    options.merge_error = true;
    return run_program(
        {prefix_ + "/bin/Quorvane", prefix_ + "/share/quorvane/examples/hello.js", "--log", work + "/hello.log"},
        options);
  }

  TempDir dir_;
  std::string prefix_;
};

TEST_F(InstallPrefixTest, LaysOutProgramsDataAndConfigurationInTheirFolders) {
  for (const char* program : {"Quorvane", "QuorvaneHelper", "QuorvaneProxy", "QuorvaneBrowser", "reg", "regsvr32"})
    EXPECT_TRUE(fs::is_regular_file(lib() + "/" + program)) << program;
  for (const char* module : {"QuorvaneRuntime.so", "libQuorvaneCommon.so", "libQuorvanePlatform.so"})
    EXPECT_TRUE(fs::is_regular_file(lib() + "/" + module)) << module;
  EXPECT_TRUE(fs::is_regular_file(prefix_ + "/etc/quorvane/config.xml"));
  EXPECT_TRUE(fs::is_regular_file(prefix_ + "/share/quorvane/Resource.dat"));
  EXPECT_TRUE(fs::is_regular_file(prefix_ + "/share/quorvane/README.md"));
  EXPECT_TRUE(fs::is_regular_file(prefix_ + "/share/quorvane/docs/api.md"));
  EXPECT_TRUE(fs::is_regular_file(prefix_ + "/share/quorvane/examples/site/index.html"));

  // The programs' directory reaches every file through links that stay
  // inside the prefix.
  for (const char* name : {"config.xml", "Resource.dat", "README.md", "docs", "examples"}) {
    const fs::path link = lib() + "/" + name;
    ASSERT_TRUE(fs::is_symlink(link)) << name;
    EXPECT_TRUE(fs::read_symlink(link).is_relative()) << name;
    EXPECT_TRUE(fs::exists(link)) << name << " points nowhere";
  }
  for (const char* program : {"Quorvane", "QuorvaneHelper"}) {
    const fs::path link = prefix_ + "/bin/" + program;
    ASSERT_TRUE(fs::is_symlink(link)) << program;
    EXPECT_EQ(fs::canonical(link), fs::canonical(lib() + "/" + program));
  }

  // Nothing of the tests: no test program, module or benchmark. The
  // examples are the tester's own scripts, whose names may say "test".
  const fs::path examples = fs::path(prefix_) / "share/quorvane/examples";
  for (auto it = fs::recursive_directory_iterator(prefix_); it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == examples) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string name = it->path().filename().string();
    EXPECT_EQ(name.find("test"), std::string::npos) << it->path();
    EXPECT_EQ(name.find("bench"), std::string::npos) << it->path();
  }
}

TEST_F(InstallPrefixTest, MovedCopyRegistersItselfAndRunsAScriptWithItsNestedSuite) {
  // Installed, then moved as a whole: every path is found from where the
  // programs are now.
  const std::string moved = dir_.file("moved");
  fs::rename(prefix_, moved);
  prefix_ = moved;
  UseFreeProxyPort();
  ASSERT_EQ(run_program({prefix_ + "/bin/QuorvaneHelper", "/Install"}).exit, 0);
  const ProgramRun query = run_program({lib() + "/reg", "query", kRuntimeClassKey});
  EXPECT_NE(query.out.find(lib() + "/QuorvaneRuntime.so"), std::string::npos) << query.out << query.err;

  const std::string work = dir_.file("work");
  fs::create_directories(work);
  const ProgramRun run = RunHello(work);
  // Two tests fail on purpose; the nested suite's lines show that the
  // runner found its own copy to start.
  EXPECT_EQ(run.exit, 2) << run.out;
  EXPECT_NE(run.out.find("Hello from"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("child.js"), std::string::npos) << run.out;
  const ProgramRun convert =
      run_program({prefix_ + "/bin/Quorvane", "--mode=convert", "-i", work + "/hello.log", "-o", work + "/r.xml"});
  EXPECT_EQ(convert.exit, 0) << convert.out << convert.err;
  EXPECT_NE(read_file(work + "/r.xml").find("capitalised"), std::string::npos);

  EXPECT_EQ(Uninstall(), 0);
  EXPECT_NE(run_program({lib() + "/reg", "query", kRuntimeClassKey}).exit, 0);
}

TEST_F(InstallPrefixTest, ProgramsReadTheConfigurationInEtcAndAReinstallKeepsItsChanges) {
  UseFreeProxyPort();
  // Only the test and result channels on the console.
  const std::string config = prefix_ + "/etc/quorvane/config.xml";
  replace_in_file(config, "<value>message assert action screenshot param info suite testfile page element test result error stats</value>",
                  "<value>test result</value>");
  ASSERT_EQ(run_program({prefix_ + "/bin/QuorvaneHelper", "/Install"}).exit, 0);
  const std::string work = dir_.file("work");
  fs::create_directories(work);
  const ProgramRun run = RunHello(work);
  EXPECT_EQ(run.exit, 2) << run.out;
  EXPECT_NE(run.out.find("test: "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("assert: "), std::string::npos) << run.out;

  const std::string edited = read_file(config);
  const ProgramRun again = install_into(prefix_);
  ASSERT_EQ(again.exit, 0) << again.out << again.err;
  EXPECT_EQ(read_file(config), edited);
  EXPECT_TRUE(fs::is_symlink(lib() + "/config.xml"));
  EXPECT_EQ(Uninstall(), 0);
}

}  // namespace
}  // namespace quorvane_test
