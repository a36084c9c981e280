// For end-to-end tests that run in each browser: the browsers (a test is
// skipped where its browser is not installed), and a fixture that installs
// the programs into a private folder, runs test scripts there and checks
// afterwards that every process they started has ended.
#ifndef QUORVANE_SCRIPTS_TESTING_BROWSER_RUNS_H_
#define QUORVANE_SCRIPTS_TESTING_BROWSER_RUNS_H_

#include <filesystem>
#include <ostream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scripts/testing/installed_programs.h"

namespace quorvane_test {

struct Browser {
  const char* name;
  const char* binary;
};

inline void PrintTo(const Browser& browser, std::ostream* out) { *out << browser.name; }

inline const Browser kChromium{"chromium", "/usr/lib/chromium/chromium"};
inline const Browser kFirefox{"firefox", "/usr/lib/firefox-esr/firefox-esr"};

// The test names' suffix: the browser's name.
inline std::string browser_name(const ::testing::TestParamInfo<Browser>& info) { return info.param.name; }

class BrowserRun : public ::testing::TestWithParam<Browser> {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(GetParam().binary)) GTEST_SKIP() << GetParam().binary << " is not installed";
    programs_.Install(dir_);
  }

  // The browsers end with the run; the proxy and its guard are ended here.
  void TearDown() override {
    if (programs_.installed()) {
      EXPECT_THAT(programs_.EndAll(), ::testing::IsEmpty()) << "a browser, proxy or helper was left running";
    }
  }

  // Writes `text` as the script `name` (".js") in the test's folder and
  // runs it in the test's browser, logging to `name`.log.
  ProgramRun run_script(const std::string& name, const std::string& text,
                        const std::vector<std::string>& more = {}) const {
    write_file(dir_.file(name + ".js"), text);
    return programs_.Run(dir_.file(name + ".js"), GetParam().name, dir_.file(name + ".log"), more);
  }

  // Writes a page of the example site that the proxy serves.
  void site(const std::string& name, const std::string& html) const {
    write_file(programs_.bin() + "/examples/site/" + name, html);
  }

  TempDir dir_;
  InstalledPrograms programs_;
};

}  // namespace quorvane_test

#define QUORVANE_IN_BOTH_BROWSERS(fixture)                                                                  \
  INSTANTIATE_TEST_SUITE_P(Browsers, fixture, ::testing::Values(quorvane_test::kChromium, quorvane_test::kFirefox), \
                           quorvane_test::browser_name)

#endif  // QUORVANE_SCRIPTS_TESTING_BROWSER_RUNS_H_
