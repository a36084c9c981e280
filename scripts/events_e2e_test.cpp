// End to end: the events the tester's API gives, against those a browser
// gives for real input. testing/events/<browser>.txt holds what
// recorder.html recorded when xdotool gave the scenario (scenario.js) as
// real keys and mouse (record_events); here the same scenario runs through
// the API in the headless browser, and the page must record the same
// events, in the same order, with the same properties.

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scripts/testing/browser_runs.h"

namespace {

namespace fs = std::filesystem;
using quorvane_test::read_file;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

class EventsLikeRealInput : public quorvane_test::BrowserRun {};

TEST_P(EventsLikeRealInput, MatchTheRecordedReference) {
  const std::string events = QUORVANE_SOURCE_DIR "/scripts/testing/events/";
  const std::vector<std::string> reference = lines_of(read_file(events + GetParam().name + ".txt"));
  ASSERT_FALSE(reference.empty()) << "no reference for " << GetParam().name;
  fs::create_directories(programs_.bin() + "/examples/site/events");
  site("events/recorder.html", read_file(events + "recorder.html"));
  const std::string out = dir_.file("recorded.txt");
  const auto run = run_script("events", read_file(events + "scenario.js") + R"js(
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
  ASSERT_EQ(run.exit, 0) << run.out;
  const std::vector<std::string> given = lines_of(read_file(out));
  for (std::size_t i = 0; i < reference.size() || i < given.size(); ++i) {
    const std::string want = i < reference.size() ? reference[i] : "(nothing)";
    const std::string got = i < given.size() ? given[i] : "(nothing)";
    ASSERT_EQ(got, want) << "event " << i << " differs; the API gave:\n" << read_file(out);
  }
}

QUORVANE_IN_BOTH_BROWSERS(EventsLikeRealInput);

}  // namespace
