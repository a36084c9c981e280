// End to end: the events the tester's API gives, against those a browser
// gives for real input. testing/events/<browser>.txt holds what
// recorder.html recorded when xdotool gave the scenario (scenario.js) as
// real keys and mouse (record_events); here the same scenario runs through
// the API in the headless browser, and the page must record the same
// events, in the same order, with the same properties.

#include <filesystem>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scripts/testing/installed_programs.h"

namespace {

namespace fs = std::filesystem;
using quorvane_test::read_file;
using quorvane_test::write_file;

struct Browser {
  const char* name;
  const char* binary;
};

void PrintTo(const Browser& browser, std::ostream* out) { *out << browser.name; }

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

class EventsLikeRealInput : public ::testing::TestWithParam<Browser> {
 protected:
  void SetUp() override {
    if (!fs::exists(GetParam().binary)) GTEST_SKIP() << GetParam().binary << " is not installed";
    programs_.Install(dir_);
  }

  void TearDown() override {
    if (programs_.installed()) {
      EXPECT_TRUE(programs_.WaitUntilAllEnded()) << "a browser, proxy or helper was left running";
    }
  }

  quorvane_test::TempDir dir_;
  quorvane_test::InstalledPrograms programs_;
};

TEST_P(EventsLikeRealInput, MatchTheRecordedReference) {
  const std::string events = QUORVANE_SOURCE_DIR "/scripts/testing/events/";
  const std::vector<std::string> reference = lines_of(read_file(events + GetParam().name + ".txt"));
  ASSERT_FALSE(reference.empty()) << "no reference for " << GetParam().name;
  fs::create_directories(programs_.bin() + "/examples/site/events");
  write_file(programs_.bin() + "/examples/site/events/recorder.html", read_file(events + "recorder.html"));
  const std::string out = dir_.file("recorded.txt");
  write_file(dir_.file("events.js"), read_file(events + "scenario.js") + R"js(
test("the scenario through the API", function () {
  var page = open("/events/recorder.html");
  page.eval("recorded.length = 0, true");
  scenario({
    click: function (selector) { page.element(selector).click(); },
    dblclick: function (selector) { page.element(selector).dblclick(); },
    type: function (selector, text) { page.element(selector).type(text); },
    press: function (selector, key) { page.element(selector).press(key); }
  });
  var lines = page.eval("recorded.join('\\n')");
  var fso = new ActiveXObject("Scripting.FileSystemObject");
  var file = fso.CreateTextFile(")js" + out + R"js(", true);
  file.Write(lines + "\n");
  file.Close();
});
)js");
  const auto run = programs_.Run(dir_.file("events.js"), GetParam().name, dir_.file("events.log"));
  ASSERT_EQ(run.exit, 0) << run.out;
  const std::vector<std::string> given = lines_of(read_file(out));
  for (std::size_t i = 0; i < reference.size() || i < given.size(); ++i) {
    const std::string want = i < reference.size() ? reference[i] : "(nothing)";
    const std::string got = i < given.size() ? given[i] : "(nothing)";
    ASSERT_EQ(got, want) << "event " << i << " differs; the API gave:\n" << read_file(out);
  }
}

INSTANTIATE_TEST_SUITE_P(Browsers, EventsLikeRealInput,
                         ::testing::Values(Browser{"chromium", "/usr/lib/chromium/chromium"},
                                           Browser{"firefox", "/usr/lib/firefox-esr/firefox-esr"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
