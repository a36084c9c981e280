// index.html opened in headless Chromium from the file alone: its script
// runs, the summary and the failures are there, and the status filter and
// the title search (taken from the address's #status= and #search=) hide
// what they should.
#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "runner/suite/suite_run.h"
#include "runner/suite/testing/sample_results.h"
#include "test_support/run_program.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Suite {
namespace {

constexpr char kChromium[] = "/usr/lib/chromium/chromium";

class HtmlInChromium : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kChromium)) GTEST_SKIP() << "chromium is not installed";
    write_outputs(testing::sample_results(), dir_.path());
  }

  // The page's DOM after its scripts ran, opened with `fragment`.
  std::string Dom(const std::string& fragment) {
    const auto run = quorvane_test::run_program(
        {kChromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + dir_.file("profile"),
         "--no-first-run", "--virtual-time-budget=2000", "--dump-dom",
         "file://" + dir_.file("index.html") + fragment});
    EXPECT_EQ(run.exit, 0) << run.err;
    return run.out;
  }

  // The classes of the element that opens with `start`.
  static std::string ClassOf(const std::string& dom, const std::string& marker) {
    const std::size_t at = dom.find(marker);
    if (at == std::string::npos) return "(missing)";
    const std::size_t open = dom.rfind('<', at);
    static const std::regex cls("class=\"([^\"]*)\"");
    std::smatch m;
    const std::string tag = dom.substr(open, dom.find('>', at) - open);
    return std::regex_search(tag, m, cls) ? m[1].str() : "";
  }

  quorvane_test::TempDir dir_;
};

TEST_F(HtmlInChromium, SummaryFailuresFirstAndExpanded) {
  const std::string dom = Dom("");
  EXPECT_NE(dom.find("data-ready=\"1\""), std::string::npos) << "the page's script did not run";
  EXPECT_NE(dom.find("<b>2</b>passed"), std::string::npos);
  EXPECT_NE(dom.find("<b>2</b>failed"), std::string::npos);
  EXPECT_NE(dom.find("<b>1</b>flaky"), std::string::npos);
  EXPECT_NE(dom.find("<b>1</b>timed out"), std::string::npos);
  EXPECT_LT(dom.find("data-path=\"b/fail.js\""), dom.find("data-path=\"a/pass.js\""));
  EXPECT_NE(dom.find("data-path=\"b/fail.js\" open"), std::string::npos);
  EXPECT_EQ(dom.find("data-path=\"a/pass.js\" open"), std::string::npos);
  EXPECT_NE(dom.find("Failed step: <b>title &lt;check&gt;</b>"), std::string::npos);
  EXPECT_EQ(ClassOf(dom, "data-path=\"a/pass.js\""), "script passed");
}

TEST_F(HtmlInChromium, FilterByStatusAndSearchByTitle) {
  std::string dom = Dom("#status=failed");
  EXPECT_EQ(ClassOf(dom, "data-path=\"a/pass.js\""), "script passed hidden");
  EXPECT_EQ(ClassOf(dom, "data-path=\"b/fail.js\""), "script failed");
  dom = Dom("#search=thrown");
  EXPECT_EQ(ClassOf(dom, "data-path=\"b/fail.js\""), "script failed");
  EXPECT_EQ(ClassOf(dom, "data-path=\"a/pass.js\""), "script passed hidden");
  EXPECT_EQ(ClassOf(dom, "data-title=\"bad\""), "test failed hidden");
  EXPECT_EQ(ClassOf(dom, "data-title=\"thrown\""), "test error");
}

}  // namespace
}  // namespace Tavrin::Suite
