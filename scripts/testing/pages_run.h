// For end-to-end tests on pages of scripts/testing/ built on framework
// files from Debian's libjs-* packages: a fixture that installs the
// programs as BrowserRun does, then copies the pages and the framework
// files where the pages load them from.
#ifndef QUORVANE_SCRIPTS_TESTING_PAGES_RUN_H_
#define QUORVANE_SCRIPTS_TESTING_PAGES_RUN_H_

#include <filesystem>
#include <initializer_list>
#include <string>

#include <gtest/gtest.h>

#include "scripts/testing/browser_runs.h"
#include "scripts/testing/framework_files.h"

namespace quorvane_test {

class PagesRun : public BrowserRun {
 protected:
  // The test is skipped when a framework file is not installed. Copies
  // scripts/testing/`pages` to `into` and `frameworks` to `lib`, both
  // relative to the example site's folder that the proxy serves (or
  // absolute, for a site of the test's own).
  void SetUpWithPages(std::initializer_list<FrameworkFile> frameworks, const std::string& pages,
                      const std::filesystem::path& into, const std::filesystem::path& lib) {
    namespace fs = std::filesystem;
    const std::string missing = missing_framework_file(frameworks);
    if (!missing.empty()) GTEST_SKIP() << missing << " is not installed";
    BrowserRun::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const fs::path site = programs_.bin() + "/examples/site";
    fs::create_directories(site / into);
    fs::copy(QUORVANE_SOURCE_DIR "/scripts/testing/" + pages, site / into,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    copy_framework_files(frameworks, site / lib);
  }
};

}  // namespace quorvane_test

#endif  // QUORVANE_SCRIPTS_TESTING_PAGES_RUN_H_
