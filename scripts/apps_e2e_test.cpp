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

namespace {

namespace fs = std::filesystem;
using quorvane_test::read_file;

const char* const kApps[] = {"jquery", "jqueryui", "backbone", "angular", "vue"};

// The framework files as the applications name them, from the packages.
const std::pair<const char*, const char*> kLibraries[] = {
    {"/usr/share/javascript/jquery/jquery.js", "jquery.js"},
    {"/usr/share/javascript/jquery-ui/jquery-ui.js", "jquery-ui.js"},
    {"/usr/share/javascript/underscore/underscore.js", "underscore.js"},
    {"/usr/share/javascript/backbone/backbone.js", "backbone.js"},
    {"/usr/share/javascript/angular.js/angular.js", "angular.js"},
    {"/usr/share/javascript/vue/vue.js", "vue.js"},
};

class FrameworkApps : public quorvane_test::BrowserRun {
 protected:
  void SetUp() override {
    for (const auto& [from, name] : kLibraries) {
      if (!fs::exists(from)) GTEST_SKIP() << from << " is not installed";
    }
    BrowserRun::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const fs::path apps = programs_.bin() + "/examples/site/apps";
    fs::copy(QUORVANE_SOURCE_DIR "/scripts/testing/apps", apps, fs::copy_options::recursive);
    fs::create_directories(apps / "lib");
    for (const auto& [from, name] : kLibraries) fs::copy_file(from, apps / "lib" / name);
    fs::create_directories(apps / "lib" / "jquery-ui");
    fs::copy("/usr/share/javascript/jquery-ui/themes", apps / "lib" / "jquery-ui" / "themes",
             fs::copy_options::recursive);
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
