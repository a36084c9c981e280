// End to end: the hard cases of input, in each browser, on pages built
// the way real sites build them (scripts/testing/input): scrolling that a
// list and a menu listen to, keys on the browser's own controls, a right
// click, HTML5 drag and drop, a jQuery UI sortable list and menu, a dialog
// when the pointer leaves the window, elements in open shadow roots, an
// error while the page loads and DOM properties.

#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "proxy/http/testing/test_origin.h"
#include "scripts/testing/pages_run.h"

namespace {

namespace fs = std::filesystem;

class InputCases : public quorvane_test::PagesRun {
 protected:
  void SetUp() override {
    SetUpWithPages({quorvane_test::kJquery, quorvane_test::kJqueryUi, quorvane_test::kVue}, "input", "input",
                   fs::path("input") / "lib");
  }

  // Runs `script`; every test in it passes.
  void expect_passing(const std::string& script, int tests) {
    const auto run = run_script("input", script);
    EXPECT_EQ(run.exit, 0) << run.out;
    EXPECT_NE(run.out.find("stats: testfile=\"" + std::to_string(tests) + " passed, 0 failed\""), std::string::npos)
        << run.out;
  }
};

// A page that sends a request to another site as it loads (an analytics
// snippet's pending event) and a log server that answers it only after 4 s:
// the navigation's new page answers while that request is still open (it
// waited up to 5 s for it before), and an action's own-site requests are
// still waited for.
TEST_P(InputCases, NoWaitForRequestsToAnotherSite) {
  using namespace Tavrin::Proxy::Http::Testing;
  TestOrigin log([](const SeenRequest&) {
    Reply reply;
    reply.delay = std::chrono::seconds(4);
    reply.fields = {{"Content-Type", "text/plain"}, {"Access-Control-Allow-Origin", "*"}};
    reply.body = "logged";
    return reply;
  });
  site("input/tracked.html",
       "<!DOCTYPE html><html><head><title>Tracked</title><script>"
       "var x = new XMLHttpRequest(); x.open('POST', 'http://localhost:" + std::to_string(log.port()) + "/event');"
       "x.onloadend = function () { window.logEnded = true; }; x.send('pageview');"
       "</script></head><body><a id='next' href='tracked.html?next'>Next</a>"
       "<button id='load' onclick=\"var r = new XMLHttpRequest(); r.open('GET', 'part.txt');"
       " r.onload = function () { document.getElementById('got').textContent = r.responseText; }; r.send();\">"
       "Load</button><p id='got'></p></body></html>");
  expect_passing(R"js(
test("another site", function () {
  var page = open("/input/tracked.html");
  assertEqual(page.eval("!!window.logEnded"), false, "open answered while the log request was open");
  page.element("#next").click();
  assertMatch(page.url(), /next$/, "navigated");
  assertEqual(page.eval("!!window.logEnded"), false, "the new page answered while its log request was open");
  page.element("#load").click();
  assertMatch(page.element("#got").text(), /^Entry/, "an own-site request is waited for");
});
)js", 1);
}

// Scrolling as a user does: the list loads its next part and the menu
// follows; an action below the fold scrolls its element into view first.
TEST_P(InputCases, ScrollingLoadsWhatScrollingLoads) {
  expect_passing(R"js(
test("scrolling", function () {
  var page = open("/input/scroll.html");
  page.element("#status").waitText("1 parts");
  assertEqual(page.element(".item").count(), 10, "the first part");
  page.scrollBy(0, 100000);
  assertEqual(page.element(".item").count(), 20, "the next part, loaded by the scroll");
  var y = page.eval("window.scrollY");
  assert(y > 0, "scrolled down");
  assertEqual(page.element("#menu").prop("style.top"), y + "px", "the menu followed");
  page.scrollTo(0, 0);
  assertEqual(page.eval("window.scrollY"), 0, "back at the top");
  page.element("#item-18").click();
  assertEqual(page.eval("clicked"), "item-18", "clicked below the fold");
  var top = page.eval("document.getElementById('item-18').getBoundingClientRect().top");
  assert(top >= 0 && top < page.eval("window.innerHeight"), "the item came into view");
  page.scrollTo(0, 0);
  page.element("#item-12").scrollIntoView();
  assert(page.eval("window.scrollY") > 0, "scrollIntoView scrolled");
  assertEqual(page.element("#menu").prop("style.top"), page.eval("window.scrollY") + "px", "the menu followed again");
});
)js", 1);
}

// Keys on number fields, range sliders, selects, checkboxes, radios,
// buttons and links do what they do for a user; an action answers after
// the page's next animation frame.
TEST_P(InputCases, KeysWorkTheBrowsersControls) {
  expect_passing(R"js(
test("controls", function () {
  var page = open("/input/controls.html");
  var number = page.element("#number");
  number.press("ArrowUp");
  assertEqual(number.value(), "43", "ArrowUp steps up");
  number.press("ArrowUp");
  assertEqual(number.value(), "43", "not beyond max");
  number.press("ArrowDown");
  number.press("ArrowDown");
  assertEqual(number.value(), "41", "ArrowDown steps down");
  assertEqual(page.eval("counts['number.input'] + '/' + counts['number.change']"), "3/3", "input and change per step");
  var range = page.element("#range");
  range.press("ArrowRight");
  assertEqual(range.value(), "5", "ArrowRight");
  range.press("End");
  assertEqual(range.value(), "50", "End");
  range.press("PageDown");
  assertEqual(range.value(), "45", "PageDown");
  range.press("Home");
  assertEqual(range.value(), "0", "Home");
  range.press("ArrowLeft");
  assertEqual(range.value(), "0", "not below min");
  assertEqual(page.eval("counts['range.change']"), 4, "a change per move");
  var size = page.element("#size");
  size.press("ArrowDown");
  assertEqual(size.value(), "M", "the next option");
  size.press("ArrowDown");
  assertEqual(size.value(), "XL", "a disabled option is passed over");
  size.press("ArrowUp");
  assertEqual(size.value(), "M", "the option before");
  assertEqual(page.eval("counts['size.change']"), 3, "a change per option");
  page.element("#agree").press("Space");
  assertEqual(page.element("#agree").prop("checked"), true, "Space checks a checkbox");
  page.element("#second").press("Space");
  assertEqual(page.element("#second").prop("checked"), true, "Space picks a radio");
  assertEqual(page.element("#first").prop("checked"), false, "the other radio");
  page.element("#go").press("Space");
  page.element("#go").press("Enter");
  assertEqual(page.eval("clicks"), 2, "Space and Enter click a button");
  page.element("#render").click();
  assertEqual(page.element("#rendered").text(), "rendered", "a read right after the action sees the next frame");
  page.element("#next").press("Enter");
  assertEqual(page.title(), "Next", "Enter follows a link");
});
)js", 1);
}

// An action on an element that moves waits until it stands still, however
// the page moves it (a CSS transition, jQuery's animate, an interval
// timer); one on a page where nothing moves does not wait for it.
TEST_P(InputCases, ActionsWaitForMovingElementsToStop) {
  expect_passing(R"js(
test("moving", function () {
  var page = open("/input/moving.html");
  var movers = ["#by-css", "#by-jquery", "#by-timer"];
  for (var i = 0; i < movers.length; i++) {
    page.element("#go").click();
    page.element(movers[i]).click();
    assertEqual(page.eval("lastHit"), movers[i].substring(1) + " at its stop", movers[i] + " clicked where it stopped");
  }
  page.reload();
  page.element("#go").click();
  page.element("#by-timer").hover();
  assertEqual(page.eval("lastMove"), "by-timer at its stop", "the pointer came once it stopped");
});
)js", 1);
}

// An action answers once what its events scheduled has shown: Vue's
// next tick, an animation frame, a timer of 10 ms, a message the page
// posts to itself. A read right after the click sees each.
TEST_P(InputCases, ActionsAnswerOnceWhatTheirEventsScheduledHasShown) {
  expect_passing(R"js(
test("later", function () {
  var page = open("/input/later.html");
  var cases = [["#by-vue", "#vue-shown", "1 clicks"], ["#by-frame", "#frame-shown", "drawn at the frame"],
               ["#by-timer", "#timer-shown", "shown after 10 ms"], ["#by-message", "#message-shown", "scheduled by message"]];
  for (var i = 0; i < cases.length; i++) {
    page.element(cases[i][0]).click();
    assertEqual(page.eval("document.querySelector('" + cases[i][1] + "').textContent"), cases[i][2], cases[i][0]);
  }
});
)js", 1);
}

// A click waits for what covers its element to go (a dialog's backdrop
// fading out), as a user waits; an element that stays covered fails the
// action naming what is over it; a switch's checkbox under its own label
// is no cover.
TEST_P(InputCases, ActionsWaitForWhatCoversTheirElement) {
  expect_passing(R"js(
test("covered", function () {
  var page = open("/input/covered.html");
  page.element("#buy").click();
  assertEqual(page.eval("bought"), "bought", "clicked once the backdrop had gone");
  assertEqual(page.eval("backdropClicks"), 0, "the backdrop got no click");
  page.element("#news").check();
  assert(page.element("#news").prop("checked"), "the switch under its label");
  pageTimeouts({ action: 1500 });
  var thrown = "";
  try { page.element("#consent").click(); } catch (e) { thrown = e.message; }
  assertMatch(thrown, /#consent' to be uncovered \(div#cookies is over it\)/, "what covers it, named");
  page.element("#accept").click();
  page.element("#consent").click();
});
)js", 1);
}

// A right click, HTML5 drag and drop, a jQuery UI sortable list and menu,
// and the pointer leaving the window at the top.
TEST_P(InputCases, TheMouseDragsRightClicksAndLeaves) {
  expect_passing(R"js(
test("right click", function () {
  var page = open("/input/mouse.html");
  page.element("#hot-spot").rightClick();
  assertEqual(page.element("#context").text(), "menu at 2", "the page's context menu");
});
test("drag and drop", function () {
  var page = open("/input/mouse.html");
  page.element("#column-a").dragTo(page.element("#column-b"));
  assertEqual(page.element("#column-a header").text(), "B", "the columns swapped");
  assertEqual(page.element("#column-b header").text(), "A", "both");
  assertEqual(page.eval("drops"), 1, "one drop");
});
test("sortable", function () {
  var page = open("/input/mouse.html");
  page.element("#one").dragTo("#three", { steps: 10 });
  assertEqual(page.eval("$('#sortable li').map(function () { return this.id; }).get().join(',')"),
              "two,three,one,four", "the item moved below the third");
});
test("menu", function () {
  var page = open("/input/mouse.html");
  page.element("text=Enabled").hover();
  assert(page.element("#pdf").waitVisible(), "the submenu opened on hover");
});
test("leaving the window", function () {
  var page = open("/input/mouse.html");
  page.mouseMove(50, 30);
  assertEqual(page.element("#over").text(), "over the spot", "the pointer over an element");
  page.mouseMove(100, -10);
  assert(page.element("#modal").visible(), "the dialog shown on leaving at the top");
});
)js", 5);
}

// The real pointer on the run's own display: the browser's own :hover,
// its native range slider and HTML5 drag and drop under the pointer, the
// pointer leaving the window, and every event trusted as a user's.
constexpr char kRealPointer[] = R"js(
test("a :hover menu", function () {
  var page = open("/input/pointer.html");
  assertEqual(page.element("#laptops").visible(), false, "closed at first");
  page.element("#products").hover();
  assertEqual(page.element("#laptops").visible(), true, "open under the pointer");
  page.element("#laptops").hover();
  assertEqual(page.element("#laptops").visible(), true, "still open over its item");
  page.element("#laptops").click();
  assertEqual(page.element("#chosen").text(), "Laptops", "its item clicked");
  page.mouseMove(400, 300);
  assertEqual(page.element("#laptops").visible(), false, "closed once the pointer went");
});
test("a native slider", function () {
  var page = open("/input/pointer.html");
  var box = page.eval("(function () { var r = document.getElementById('volume').getBoundingClientRect();" +
                      " return [r.left, r.top + r.height / 2, r.right]; })()");
  page.mouseMove(box[0] + 4, box[1]).mouseDown().mouseMove(box[2] + 40, box[1]).mouseUp();
  assertEqual(page.element("#volume").value(), "100", "dragged to the end");
  assertEqual(page.element("#slid").text(), "input true, change true", "its own trusted events");
  page.element("#volume").dragTo("#left-end", { steps: 3 });
  assertEqual(page.element("#volume").value(), "0", "dragTo moves the thumb too");
});
test("native drag and drop", function () {
  var page = open("/input/pointer.html");
  page.element("#column-a").dragTo("#column-b");
  assertEqual(page.element("#column-a header").text(), "B", "the columns swapped");
  assertEqual(page.element("#column-b header").text(), "A", "both");
  assertEqual(page.element("#dropped").text(), "drop true", "the browser's own drop");
});
test("trusted events", function () {
  var page = open("/input/pointer.html");
  page.element("#box").hover();
  page.mouseDown().mouseUp();
  assertEqual(page.element("#seen").text(), "mouseover true, mousemove true, mousedown true, mouseup true, click true",
              "a user's events");
});
test("leaving the window at the top", function () {
  var page = open("/input/pointer.html");
  page.mouseMove(100, 100);
  page.mouseMove(100, -10);
  assertEqual(page.element("#modal").visible(), true, "the dialog shown on leaving");
  assertEqual(page.element("#left").text(), "mouseleave true", "as the browser saw it");
});
)js";

TEST_P(InputCases, RealPointerGivesTheBrowsersOwnInput) { expect_passing(kRealPointer, 5); }

// A headless browser has no screen, so no pointer: the same commands act
// with the page's own events, which listeners get (untrusted), while
// :hover and the native controls stay as they were.
TEST_P(InputCases, HeadlessBrowserGetsPageEvents) {
  programs_.SetConfig(R"(<parameter id="headless" type="boolean"><value>0</value>)",
                      R"(<parameter id="headless" type="boolean"><value>1</value>)");
  expect_passing(R"js(
test("page events", function () {
  var page = open("/input/pointer.html");
  page.element("#products").hover();
  assertEqual(page.element("#laptops").visible(), false, "no :hover without a pointer");
  page.element("#box").hover();
  page.mouseDown().mouseUp();
  assertEqual(page.element("#seen").text(), "mouseover false, mousemove false, mousedown false, mouseup false",
              "the page's own events");
  page.element("#column-a").dragTo("#column-b");
  assertEqual(page.element("#column-a header").text(), "B", "drag and drop by page events");
  page.mouseMove(100, 100);
  page.mouseMove(100, -10);
  assertEqual(page.element("#left").text(), "mouseleave false", "leaving by page events");
});
)js", 1);
}

// Selectors reach into open shadow roots (XPath does not); the page's
// errors, those while it loaded too; DOM properties without eval.
TEST_P(InputCases, ShadowRootsErrorsAndProperties) {
  expect_passing(R"js(
test("shadow roots", function () {
  var page = open("/input/shadow.html");
  assertEqual(page.element(".said").count(), 2, "CSS inside the shadow roots");
  assertEqual(page.element("text=Shadow words").count(), 2, "text inside the shadow roots");
  assertEqual(page.element("xpath=//p[@class='said']").count(), 0, "XPath stays outside");
  page.element("button.inside").click();
  assertEqual(page.element("#pressed").text(), "pressed inside", "a click inside");
});
test("errors and properties", function () {
  var page = open("/input/errors.html");
  var errors = page.errors();
  assertEqual(errors.length, 1, "the error while loading");
  assertMatch(errors[0], /TypeError/, "its text");
  assertMatch(errors[0], /errors\.html:\d+/, "its source and line");
  assertEqual(page.errors().length, 0, "read once");
  page.element("#later").click();
  assertMatch(page.errors().join("|"), /refused later/, "an unhandled rejection");
  assertEqual(page.element("#broken").prop("naturalWidth"), 0, "a broken image");
  assertEqual(page.element("#pixel").prop("naturalWidth"), 1, "an image");
  assertEqual(page.element("#mail").prop("validity.valid"), false, "a dotted path");
  page.element("#mail").type("a@b.c");
  assertEqual(page.element("#mail").prop("validity.valid"), true, "valid now");
});
)js", 2);
}

QUORVANE_IN_BOTH_BROWSERS(InputCases);

}  // namespace
