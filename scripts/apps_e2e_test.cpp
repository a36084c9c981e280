// End to end: the walk a user takes through a small to-do application,
// written with the tester's API, on the same application built with
// several frameworks from Debian's packages (scripts/testing/apps), in
// each browser. The applications take input the way their frameworks'
// users write handlers, so the walk passes only when the events the API
// gives are those of real input.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "scripts/testing/browser_runs.h"
#include "scripts/testing/framework_files.h"

namespace {

namespace fs = std::filesystem;
using quorvane_test::read_file;

const char* const kApps[] = {"jquery", "jqueryui", "backbone", "angular", "vue"};

// The framework files the applications load, from the packages.
const std::initializer_list<quorvane_test::FrameworkFile> kFrameworks = {
    quorvane_test::kJquery,   quorvane_test::kJqueryUi, quorvane_test::kUnderscore,
    quorvane_test::kBackbone, quorvane_test::kAngular,  quorvane_test::kVue};

class FrameworkApps : public quorvane_test::BrowserRun {
 protected:
  void SetUp() override {
    const std::string missing = quorvane_test::missing_framework_file(kFrameworks);
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    BrowserRun::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const fs::path apps = programs_.bin() + "/examples/site/apps";
    fs::copy(QUORVANE_SOURCE_DIR "/scripts/testing/apps", apps, fs::copy_options::recursive);
    quorvane_test::copy_framework_files(kFrameworks, apps / "lib");
  }
};

TEST_P(FrameworkApps, TheUsersWalkPassesOnEachFramework) {
  std::string script = read_file(QUORVANE_SOURCE_DIR "/scripts/testing/apps/walk.js");
  ASSERT_FALSE(script.empty());
  for (const char* app : kApps) script += std::string("test(\"") + app + "\", function () { walk(\"" + app + "\"); });\n";
  const auto run = run_script("walk", script);
  EXPECT_EQ(run.exit, 0) << run.out;
  EXPECT_NE(run.out.find("stats: testfile=\"5 passed, 0 failed\""), std::string::npos) << run.out;
}

QUORVANE_IN_BOTH_BROWSERS(FrameworkApps);

}  // namespace
