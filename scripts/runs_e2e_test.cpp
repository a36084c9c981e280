// End to end: two runs at the same time share the one proxy but never reach
// each other's pages, and each run's echo and log hold only its own pages.

#include <future>
#include <regex>
#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scripts/testing/installed_programs.h"

namespace {

using quorvane_test::read_file;
using quorvane_test::write_file;

// The page uuids in the page headers of an echo.
std::set<std::string> pages_of(const std::string& echo) {
  std::set<std::string> pages;
  static const std::regex header("page: uuid=\"([^\"]+)\"");
  for (auto it = std::sregex_iterator(echo.begin(), echo.end(), header); it != std::sregex_iterator(); ++it)
    pages.insert((*it)[1]);
  return pages;
}

// The script of run `self`: it types its name into its page and reads it
// back while the other run does the same, hands its page's uuid to the
// other run through a file and checks that the other's page is unknown to
// it, and keeps its page until the other is done.
std::string script_of(const std::string& self, const std::string& other, const std::string& dir) {
  std::string text = R"(
var fso = new ActiveXObject("Scripting.FileSystemObject");
function put(name, text) { var f = fso.CreateTextFile("DIR/" + name, true); f.Write(text); f.Close(); }
function get(name) {
  for (var i = 0; i < 600; i++) {
    if (fso.FileExists("DIR/" + name)) {
      var f = fso.OpenTextFile("DIR/" + name, 1);
      var t = f.AtEndOfStream ? "" : f.ReadAll();
      f.Close();
      if (t.length >= 36 || t === "1") return t;
    }
    Quorvane.Sleep(100);
  }
  throw new Error("nothing from the other run: " + name);
}
test("own pages only", function () {
  var page = open("/index.html");
  page.element("#user", "user").type("SELF");
  put("SELF.page", page.uuid);
  var theirs = new QuorvanePage(get("OTHER.page"));
  for (var i = 0; i < 10; i++) {
    assertEqual(page.element("#user").value(), "SELF", "own value");
    Quorvane.Sleep(100);
  }
  var refused = "";
  try { theirs.eval("document.title"); } catch (e) { refused = String(e.message); }
  if (refused.indexOf("in this run") < 0) throw new Error("the other run's page answered or failed otherwise");
  put("SELF.done", "1");
  get("OTHER.done");
});
)";
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"SELF", self}, {"OTHER", other}, {"DIR", dir}})
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  return text;
}

class ParallelRuns : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/lib/chromium/chromium")) GTEST_SKIP() << "chromium is not installed";
    programs_.Install(dir_);
  }
  void TearDown() override {
    if (programs_.installed()) {
      EXPECT_THAT(programs_.EndAll(), ::testing::IsEmpty()) << "a browser, proxy or helper was left";
    }
  }

  quorvane_test::TempDir dir_;
  quorvane_test::InstalledPrograms programs_;
};

TEST_F(ParallelRuns, NeverReachEachOthersPages) {
  write_file(dir_.file("alpha.js"), script_of("alpha", "beta", dir_.path()));
  write_file(dir_.file("beta.js"), script_of("beta", "alpha", dir_.path()));
  auto alpha = std::async(std::launch::async,
                          [&] { return programs_.Run(dir_.file("alpha.js"), "chromium", dir_.file("alpha.log")); });
  auto beta = std::async(std::launch::async,
                         [&] { return programs_.Run(dir_.file("beta.js"), "chromium", dir_.file("beta.log")); });
  const auto a = alpha.get();
  const auto b = beta.get();
  EXPECT_EQ(a.exit, 0) << a.out;
  EXPECT_EQ(b.exit, 0) << b.out;

  const std::set<std::string> pages_a = pages_of(a.out);
  const std::set<std::string> pages_b = pages_of(b.out);
  EXPECT_FALSE(pages_a.empty()) << a.out;
  EXPECT_FALSE(pages_b.empty()) << b.out;
  const std::string log_a = read_file(dir_.file("alpha.log"));
  const std::string log_b = read_file(dir_.file("beta.log"));
  for (const std::string& page : pages_a) {
    EXPECT_EQ(b.out.find(page), std::string::npos) << page << " of alpha in beta's echo";
    EXPECT_EQ(log_b.find(page), std::string::npos) << page << " of alpha in beta's log";
    EXPECT_NE(log_a.find(page), std::string::npos) << page << " missing from alpha's log";
  }
  for (const std::string& page : pages_b) {
    EXPECT_EQ(a.out.find(page), std::string::npos) << page << " of beta in alpha's echo";
    EXPECT_EQ(log_a.find(page), std::string::npos) << page << " of beta in alpha's log";
  }
  EXPECT_NE(programs_.Convert(dir_.file("alpha.log"), dir_.file("alpha.xml")).find("<element name=\"user\""),
            std::string::npos);
}

}  // namespace
