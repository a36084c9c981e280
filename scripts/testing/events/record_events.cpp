// Records the event reference of one browser: runs the input scenario
// (scenario.js) on recorder.html with real input, xdotool moving the
// pointer and pressing keys on the X display in $DISPLAY, in a browser
// with a window there, and writes what the page recorded to
// scripts/testing/events/<browser>.txt. Run it under a private X server:
//   xvfb-run -a build/bench/record_events chromium
// The comparison test (events_e2e_test) reads those files.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "scripts/bench/bench_installation.h"

namespace {

constexpr const char kReal[] = R"js(
var shell = new ActiveXObject("WScript.Shell");
var page = open("/events/recorder.html");
function xdo(args) { shell.Run("xdotool " + args, 0, true); sleep(400); }
// The screen position of an element's centre.
function centre(selector) {
  var at = page.eval("(function () { var r = document.querySelector('" + selector + "').getBoundingClientRect();" +
    " var x = window.mozInnerScreenX !== undefined ? window.mozInnerScreenX : window.screenX + (window.outerWidth - window.innerWidth) / 2;" +
    " var y = window.mozInnerScreenY !== undefined ? window.mozInnerScreenY : window.screenY + window.outerHeight - window.innerHeight;" +
    " return Math.round(x + r.left + r.width / 2) + ' ' + Math.round(y + r.top + r.height / 2); })()");
  return at;
}
var keys = { Enter: "Return", Backspace: "BackSpace", Tab: "Tab" };
var real = {
  click: function (selector) { xdo("mousemove --sync " + centre(selector) + " click 1"); },
  dblclick: function (selector) { xdo("mousemove --sync " + centre(selector) + " click --repeat 2 --delay 100 1"); },
  type: function (selector, text) { xdo("type --delay 80 " + text); },
  press: function (selector, key) { xdo("key " + keys[key]); }
};
xdo("mousemove 5 5");
page.eval("recorded.length = 0, true");
scenario(real);
var lines = page.eval("recorded.join('\\n')");
var fso = new ActiveXObject("Scripting.FileSystemObject");
var out = fso.CreateTextFile(param("out"), true);
out.Write(lines + "\n");
out.Close();
page.close();
)js";

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || !std::getenv("DISPLAY")) {
    std::printf("usage: DISPLAY=:N record_events chromium|firefox\n");
    return 1;
  }
  const std::string browser = argv[1];
  quorvane_test::TempDir home;
  quorvane_bench::use_private_home(home);
  quorvane_bench::Installation installation;
  if (!installation.ok()) return 1;
  installation.add_page("events/recorder.html",
                        quorvane_test::read_file(QUORVANE_SOURCE_DIR "/scripts/testing/events/recorder.html"));
  const std::string out = std::string(QUORVANE_SOURCE_DIR) + "/scripts/testing/events/" + browser + ".txt";
  const std::string script = quorvane_test::read_file(QUORVANE_SOURCE_DIR "/scripts/testing/events/scenario.js") +
                             "Quorvane.PutParameter(\"out\", \"" + out + "\");\n" + kReal;
  std::printf("%s", installation.run(script, browser, true).c_str());
  std::printf("wrote %s\n", out.c_str());
  return 0;
}
