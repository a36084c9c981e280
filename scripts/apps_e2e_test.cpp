// End to end: the walk a user takes through a small to-do application,
// written with the tester's API, on the same application built with
// several frameworks from Debian's packages (scripts/testing/apps), in
// each browser. The applications take input the way their frameworks'
// users write handlers, so the walk passes only when the events the API
// gives are those of real input.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "scripts/testing/pages_run.h"

namespace {

namespace fs = std::filesystem;
using quorvane_test::read_file;

const char* const kApps[] = {"jquery", "jqueryui", "backbone", "angular", "vue"};

// The framework files the applications load, from the packages.
const std::initializer_list<quorvane_test::FrameworkFile> kFrameworks = {
    quorvane_test::kJquery,   quorvane_test::kJqueryUi, quorvane_test::kUnderscore,
    quorvane_test::kBackbone, quorvane_test::kAngular,  quorvane_test::kVue};

class FrameworkApps : public quorvane_test::PagesRun {
 protected:
  void SetUp() override { SetUpWithPages(kFrameworks, "apps", "apps", fs::path("apps") / "lib"); }
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
