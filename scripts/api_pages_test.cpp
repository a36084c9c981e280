// The page objects of api.js over a scripted host: which commands reach the
// host for each page call, and how a page object follows a navigation.
#include <fstream>
#include <regex>
#include <string>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/script/testing/script_fixture.h"
#include "platform/text.h"

namespace {

using Tavrin::Platform::Script::Testing::ScriptFixture;

// A host that logs each command (op, page, after) and answers it, and a
// mark taken ("mark") that is 5: "ready" with the page "p2", a "click" with a navigation whose
// answer carries the mark 7, anything else with the value "v" and the
// mark 3; answers.next, when set, answers the next command instead, and
// the answers in `later` the commands after it. readyLimits: the limit of
// each "ready".
constexpr const wchar_t kFakeHost[] = LR"(
var sent = [];
var records = [];
var lastFields = null;
var answers = { next: null };
var later = [];
var readyLimits = [];
var quorvaneHost = {
  record: function (kind, name, value) { records.push(kind + " " + name + " " + value); },
  sleep: function () {},
  parameter: function (name) { return { server: "site.test", port: "", browser: "chromium" }[name]; },
  element: function () {},
  uuid: function () { return "element"; },
  openUrl: function (browser, url) { sent.push("open " + url); },
  mark: function () { sent.push("mark"); return 5; },
  command: function (fields) {
    lastFields = fields;
    sent.push(fields.op + " " + fields.page + (fields.after !== undefined ? " after " + fields.after : ""));
    if (fields.op === "ready") readyLimits.push(fields.timeout);
    if (answers.next) { var a = answers.next; answers.next = later.length ? later.shift() : null; return a; }
    if (fields.op === "ready") return { ok: true, page: "p2", mark: 6 };
    if (fields.op === "click") return { ok: true, navigating: true, mark: 7, page: fields.page };
    return { ok: true, value: "v", mark: 3, page: fields.page };
  }
};
function commands() { var all = sent.join("; "); sent = []; return all; }
)";

std::wstring api_source() {
  std::ifstream in(QUORVANE_API_JS, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return Tavrin::Platform::from_utf8(text.str());
}

class ApiPages : public ScriptFixture {
 protected:
  void SetUp() override {
    ScriptFixture::SetUp();
    const std::wstring api = api_source();
    ASSERT_FALSE(api.empty());
    add_code(kFakeHost);
    add_code(api);
    add_code(L"var page = new QuorvanePage('p1', null); commands();");
  }
};

// Commands that read the page send the command alone, with no mark first.
TEST_F(ApiPages, ReadingCommandsSendOneCommandEach) {
  EXPECT_EQ(eval_text(L"page.eval('1 + 1')"), L"v");
  EXPECT_EQ(eval_text(L"commands()"), L"eval p1");
  eval(L"page.title(), page.url()");
  EXPECT_EQ(eval_text(L"commands()"), L"info p1; info p1");
  EXPECT_EQ(eval_text(L"page.element('#a').text()"), L"v");
  eval(L"page.element('#a').exists(), page.element('#a').count(), page.element('#a').attr('id')");
  EXPECT_EQ(eval_text(L"commands()"), L"text p1; exists p1; count p1; attr p1");
}

// A command that navigates waits for a page registered after the mark its
// answer carried, and the next command goes to that page.
TEST_F(ApiPages, NavigationIsFollowedFromTheAnswersMark) {
  eval(L"page.element('#go').click()");
  EXPECT_EQ(eval_text(L"commands()"), L"click p1; ready  after 7");
  EXPECT_EQ(eval_text(L"page.uuid"), L"p2");
  eval(L"page.eval('1')");
  EXPECT_EQ(eval_text(L"commands()"), L"eval p2");
  // An eval that navigated (the page unloaded meanwhile) is followed too.
  add_code(L"answers.next = { ok: true, navigated: true, mark: 9, page: 'p2' };");
  eval(L"page.eval('location.href = \"/next\"')");
  EXPECT_EQ(eval_text(L"commands()"), L"eval p2; ready  after 9");
}

// A page gone before it took the command: the command goes to the page
// that registered in its place, after the page's own last mark; not to an
// older page of the run (another window).
TEST_F(ApiPages, GonePageHandsTheCommandToThePageInItsPlace) {
  eval(L"page.eval('1')");
  add_code(L"commands(); answers.next = { ok: false, gone: true, error: 'gone', page: '' };");
  EXPECT_EQ(eval_text(L"page.eval('1')"), L"v");
  EXPECT_EQ(eval_text(L"commands()"), L"eval p1; ready  after 3; eval p2");
}

// How long the page in the place of one that went away may take to come:
// the navigation limit when the page said it was leaving; when it went
// without a word (its browser killed, its window closed) only what is left
// of the command's own limit, and for a wait, of the wait's.
TEST_F(ApiPages, APageGoneWithoutAWordIsFollowedWithinTheCommandsLimit) {
  add_code(L"pageTimeouts({ action: 2000 }); answers.next = { ok: true, navigated: true, mark: 9, page: 'p1' };");
  eval(L"page.eval('1')");
  add_code(L"answers.next = { ok: true, navigating: true, mark: 9, page: 'p2' };");
  eval(L"page.eval('1')");
  add_code(L"answers.next = { ok: true, navigating: true, mark: 9, page: 'p2' };");
  eval(L"page.element('#a').waitText('v', 1500)");
  EXPECT_EQ(eval_text(L"commands()"), L"eval p1; ready  after 9; eval p2; ready  after 9; waitText p2; ready  after 9; "
                                      L"waitText p2");
  const int without_a_word = std::stoi(eval_text(L"String(readyLimits[0])"));
  EXPECT_LE(without_a_word, 2000);
  EXPECT_GT(without_a_word, 1000);
  EXPECT_EQ(eval_text(L"String(readyLimits[1])"), L"30000");
  EXPECT_LE(std::stoi(eval_text(L"String(readyLimits[2])")), 1500);
}

// When no page comes in the place of one gone without a word, the command
// throws that the page went away.
TEST_F(ApiPages, APageGoneForGoodFailsTheCommand) {
  add_code(L"answers.next = { ok: true, navigated: true, mark: 9, page: 'p1' };"
           L"later.push({ ok: false, error: 'no page was there within 10000 ms' });");
  // The wait has what is left of the command's 10 s: a millisecond may
  // have passed since the command was sent.
  const std::wstring message =
      eval_text(L"(function () { try { page.eval('1'); return 'returned'; } catch (e) { return e.message; } })()");
  EXPECT_TRUE(std::regex_match(message, std::wregex(L"eval: the page went away while it ran the command; waited "
                                                    L"(10000|99[0-9][0-9]) ms for a new page to load \\(no page "
                                                    L"was there within 10000 ms\\)")))
      << Tavrin::Platform::to_utf8(message);
}

// open() has no command to carry a mark: it takes one before the browser
// starts and waits for a page after it.
TEST_F(ApiPages, OpenTakesAMarkFirst) {
  EXPECT_EQ(eval_text(L"open('/index.html').uuid"), L"p2");
  EXPECT_EQ(eval_text(L"commands()"), L"mark; open http://site.test/index.html; ready  after 5");
}

// A wait whose page navigated before it held is sent again to the page
// that loaded; close() stays, whatever its answer says.
TEST_F(ApiPages, WaitsGoOnOnThePageThatLoaded) {
  add_code(L"answers.next = { ok: true, navigating: true, mark: 8, page: 'p1' };");
  EXPECT_EQ(eval_text(L"page.element('#a').waitText('v')"), L"v");
  EXPECT_EQ(eval_text(L"commands()"), L"waitText p1; ready  after 8; waitText p2");
  add_code(L"answers.next = { ok: true, navigated: true, mark: 9, page: 'p2' };");
  eval(L"page.close()");
  EXPECT_EQ(eval_text(L"commands()"), L"close p2");
  EXPECT_EQ(eval_text(L"page.uuid"), L"p2");
}

// A wait's text or regular expression reaches the page as {text} or
// {source, flags}.
TEST_F(ApiPages, WaitsSendWhatTheyWaitFor) {
  eval(L"page.element('#a').waitText(/^Go+d$/i)");
  EXPECT_EQ(eval_text(L"lastFields.match.source + ' ' + lastFields.match.flags"), L"^Go+d$ i");
  eval(L"page.element('#a').waitValue('x')");
  EXPECT_EQ(eval_text(L"lastFields.match.text"), L"x");
  eval(L"page.element('li').waitCount(3)");
  EXPECT_EQ(eval_text(L"lastFields.op + ' ' + lastFields.arg"), L"waitCount 3");
}

// Assertions given a function call it until they hold; one that never
// holds fails with the last value seen, or the last error thrown.
TEST_F(ApiPages, AssertionsGivenAFunctionRetry) {
  add_code(L"var n = 0;");
  EXPECT_EQ(eval_text(L"String(assertEqual(function () { return ++n; }, 3, 'third'))"), L"true");
  EXPECT_EQ(eval_text(L"String(n)"), L"3");
  add_code(L"records = [];");
  EXPECT_EQ(eval_text(L"String(assertEqual(function () { return 'x'; }, 'y', 'never', 30))"), L"false");
  EXPECT_NE(eval_text(L"records.join('|')").find(L"got 'x'"), std::wstring::npos);
  EXPECT_EQ(eval_text(L"String(assertMatch(function () { throw new Error('boom'); }, /a/, 'throws', 30))"), L"false");
  EXPECT_NE(eval_text(L"records.join('|')").find(L"got 'error: boom'"), std::wstring::npos);
  EXPECT_EQ(eval_text(L"String(assert(function () { return n++ > 5; }, 'later'))"), L"true");
  // A value, not a function, is checked once as before.
  EXPECT_EQ(eval_text(L"String(assertEqual(2, 2, 'plain'))"), L"true");
}

// Page commands inside a retrying assertion keep within its time.
TEST_F(ApiPages, CommandsInsideARetryKeepWithinItsTime) {
  eval(L"assert(function () { page.element('#a').text(); return true; }, 'read', 300)");
  EXPECT_LE(std::stoi(eval_text(L"String(lastFields.timeout)")), 300);
  eval(L"page.element('#a').text()");
  EXPECT_EQ(eval_text(L"String(lastFields.timeout)"), L"10000");
}

}  // namespace
