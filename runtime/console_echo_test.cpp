// The console echo as a run shows it: LogNode and LogElement called by name
// on an object created by class id, and the bytes that reach standard
// output compared in full.
#include "runtime/console_echo.h"

#include <gtest/gtest.h>

#include "runtime/testing/echo_fixture.h"
#include "runtime/testing/private_copy.h"

namespace {

using namespace Tavrin::Platform::Com;
using Tavrin::Runtime::announced_path;
using Tavrin::Runtime::script_directory;
using Tavrin::Runtime::script_file_name;
using Tavrin::Runtime::shown_value;
using Tavrin::Runtime::Testing::echo_config;
using Tavrin::Runtime::Testing::EchoTest;
using Tavrin::Runtime::Testing::InPrivateCopy;

const std::string kAll = echo_config(std::nullopt);

// The lines a top-level run prints before its first event.
const std::string kAnnouncement =
    "testfile: source=\"main.js\"\n"
    "info: path=\"/tests/main.js\"\n";

using Echo = EchoTest;

// The first event of a top-level run announces the test file; later ones
// print only their own lines.
TEST_F(Echo, TopLevelRunAnnouncesItsTestFileOnce) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Node(L"", L"assert", L"title", L"ok");
  Node(L"", L"message", L"text", L"two\nlines");
  EXPECT_EQ(Transcript(), kAnnouncement +
                              "assert: title=\"ok\"\n"
                              "message: text=\"two\nlines\"\n");
}

// An unknown kind word (custom) has no channel and prints no event line,
// but the announcement and the pending page header still come.
TEST_F(Echo, CustomTypePrintsNoLineButHeaders) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Page(L"p-1", L"http://one/", L"One");
  Node(L"", L"custom", L"n", L"v");
  Node(L"", L"assert", L"a", L"b");
  EXPECT_EQ(Transcript(), kAnnouncement +
                              "page: uuid=\"p-1\"\n"
                              "info: title=\"One\"\n"
                              "info: url=\"http://one/\"\n"
                              "assert: a=\"b\"\n");
}

// Kind words are compared exactly: "Assert" is no channel.
TEST_F(Echo, KindWordsAreCaseSensitive) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Node(L"", L"Assert", L"title", L"ok");
  Node(L"", L"assert ", L"title", L"ok");
  EXPECT_EQ(Transcript(), kAnnouncement);
}

// console_log_level "testfile" also enables "test": headers and test
// events show, the rest (info, page, assert) does not.
TEST_F(Echo, TestfileLevelShowsHeadersAndTestEvents) {
  if (!InPrivateCopy(echo_config("testfile"))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Page(L"p-1", L"http://one/", L"One");
  Node(L"", L"test", L"name", L"login");
  Node(L"", L"assert", L"a", L"b");
  Node(L"", L"testfile", L"source", L"x.js");
  EXPECT_EQ(Transcript(),
            "testfile: source=\"main.js\"\n"
            "test: name=\"login\"\n"
            "testfile: source=\"x.js\"\n");
}

// Without console_log_level every channel shows.
TEST_F(Echo, AbsentLevelShowsEverything) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Node(L"", L"verbose", L"v", L"1");
  Node(L"", L"script", L"s", L"2");
  EXPECT_EQ(Transcript(), kAnnouncement +
                              "verbose: v=\"1\"\n"
                              "script: s=\"2\"\n");
}

// An empty console_log_level shows nothing at all.
TEST_F(Echo, EmptyLevelShowsNothing) {
  if (!InPrivateCopy(echo_config(""))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Page(L"p-1", L"http://one/", L"One");
  Element(L"Login", L"e-1");
  Node(L"", L"assert", L"title", L"ok");
  EXPECT_EQ(Transcript(), "");
}

// With the maximum 50 a value of 60 characters shows its first 50 and
// "..."; one of exactly 50 shows whole.
TEST_F(Echo, LongValuesAreCut) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  const std::wstring sixty = L"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX";
  ASSERT_EQ(sixty.size(), 60u);
  Node(L"", L"param", L"p", sixty);
  Node(L"", L"param", L"q", sixty.substr(0, 50));
  EXPECT_EQ(Transcript(), kAnnouncement +
                              "param: p=\"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN...\"\n"
                              "param: q=\"0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN\"\n");
}

// A short value in doubled quotes loses one quote at each end, so the line
// shows two on each side; a long one is trimmed and then cut.
TEST_F(Echo, DoubledQuotesLoseOneQuoteEachEnd) {
  if (!InPrivateCopy(echo_config(std::nullopt, 6))) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Node(L"", L"assert", L"a", L"\"\"ok\"\"");
  Node(L"", L"assert", L"b", L"\"\"abcdefgh\"\"");
  Node(L"", L"assert", L"c", L"\"\"ok\"");
  EXPECT_EQ(Transcript(),
            "testfile: source=\"main.js\"\n"
            "info: path=\"/tests...\"\n"  // the path event is cut like any value
            "assert: a=\"\"ok\"\"\n"
                              "assert: b=\"\"abcde...\"\n"
                              "assert: c=\"\"\"ok\"\"\n");
}

// An element line is printed when the element an event concerns changes,
// not for every event; a known uuid keeps its first name; an unknown uuid
// prints no element line.
TEST_F(Echo, ElementLinesOnlyOnChange) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Element(L"Login", L"e-1");
  Node(L"e-1", L"action", L"click", L"");
  Node(L"e-1", L"assert", L"visible", L"true");
  Element(L"Other", L"e-2");
  Node(L"e-1", L"action", L"type", L"abc");
  Element(L"Renamed", L"e-1");
  Node(L"e-9", L"action", L"click", L"");
  EXPECT_EQ(Transcript(), kAnnouncement +
                              "element: name=\"Login\" uuid=\"e-1\"\n"
                              "action: click=\"\"\n"
                              "assert: visible=\"true\"\n"
                              "element: name=\"Other\" uuid=\"e-2\"\n"
                              "element: name=\"Login\" uuid=\"e-1\"\n"
                              "action: type=\"abc\"\n"
                              "action: click=\"\"\n");
}

// LogElement with an empty uuid prints at most the announcement and leaves
// the page pending for the next event.
TEST_F(Echo, ElementWithEmptyUuidOnlyAnnounces) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Page(L"p-1", L"http://one/", L"One");
  Element(L"Nameless", L"");
  const std::string after_element = kAnnouncement;
  Node(L"", L"assert", L"a", L"b");
  EXPECT_EQ(Transcript(), after_element +
                              "page: uuid=\"p-1\"\n"
                              "info: title=\"One\"\n"
                              "info: url=\"http://one/\"\n"
                              "assert: a=\"b\"\n");
}

// The page header comes once per new page, before the next LogElement with
// a uuid or the next event that is not suite, testfile or test; an event
// about an element does not bring it.
TEST_F(Echo, PageHeaderBeforeTheNextPageEvent) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  Element(L"Login", L"e-1");
  Page(L"p-1", L"http://one/", L"One");
  Node(L"", L"suite", L"s", L"1");
  Node(L"", L"test", L"t", L"2");
  Node(L"e-1", L"action", L"click", L"");
  Element(L"Login", L"e-1");
  Page(L"p-1", L"http://one/", L"One");  // the same page again: nothing new
  Node(L"", L"assert", L"a", L"b");
  Page(L"p-2", L"http://two/", L"Two");
  Node(L"", L"result", L"r", L"ok");
  EXPECT_EQ(Transcript(), kAnnouncement +
                              "element: name=\"Login\" uuid=\"e-1\"\n"
                              "suite: s=\"1\"\n"
                              "test: t=\"2\"\n"
                              "action: click=\"\"\n"
                              "page: uuid=\"p-1\"\n"
                              "info: title=\"One\"\n"
                              "info: url=\"http://one/\"\n"
                              "assert: a=\"b\"\n"
                              "page: uuid=\"p-2\"\n"
                              "info: title=\"Two\"\n"
                              "info: url=\"http://two/\"\n"
                              "result: r=\"ok\"\n");
}

// A nested run (suite not "0") never prints a test-file header of its own;
// pages and elements still show.
TEST_F(Echo, NestedRunPrintsNoTestFileHeader) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create(L"1"));
  Node(L"", L"assert", L"a", L"b");
  Page(L"p-1", L"http://one/", L"One");
  Element(L"Login", L"e-1");
  EXPECT_EQ(Transcript(),
            "assert: a=\"b\"\n"
            "page: uuid=\"p-1\"\n"
            "info: title=\"One\"\n"
            "info: url=\"http://one/\"\n"
            "element: name=\"Login\" uuid=\"e-1\"\n");
}

// Japanese text and an emoji leave the process as UTF-8, in names, values,
// element names and the script's file name; the cut counts characters.
TEST_F(Echo, NonAsciiLeavesAsUtf8) {
  if (!InPrivateCopy(echo_config(std::nullopt, 4))) return;
  ASSERT_NO_FATAL_FAILURE(Create(L"0", L"/tests/\u30c6\u30b9\u30c8.js"));
  Node(L"", L"message", L"\u540d\u524d", L"\u65e5\u672c\U0001F600");
  Element(L"\u30dc\u30bf\u30f3", L"e-1");
  Node(L"", L"message", L"m", L"\u3042\u3044\u3046\u3048\u304a");
  EXPECT_EQ(Transcript(),
            "testfile: source=\"テスト.js\"\n"
            "info: path=\"/tes...\"\n"
            "message: 名前=\"日本😀\"\n"
            "element: name=\"ボタン\" uuid=\"e-1\"\n"
            "message: m=\"あいうえ...\"\n");
}

// Null strings give E_POINTER and print nothing; empty ones are accepted.
TEST_F(Echo, NullStringsArePointerErrors) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create());
  auto direct = Direct();
  Bstr text(L"x");
  EXPECT_EQ(direct->LogNode(nullptr, text.get(), text.get(), text.get()), E_POINTER);
  EXPECT_EQ(direct->LogNode(text.get(), nullptr, text.get(), text.get()), E_POINTER);
  EXPECT_EQ(direct->LogNode(text.get(), text.get(), nullptr, text.get()), E_POINTER);
  EXPECT_EQ(direct->LogNode(text.get(), text.get(), text.get(), nullptr), E_POINTER);
  EXPECT_EQ(direct->LogElement(nullptr, text.get()), E_POINTER);
  EXPECT_EQ(direct->LogElement(text.get(), nullptr), E_POINTER);
  direct = nullptr;
  EXPECT_EQ(Transcript(), "");
}

// Without the run parameter suite the announcement cannot be decided: the
// call fails with "Unable to log message" before printing anything.
TEST_F(Echo, MissingSuiteIsALoggingFailure) {
  if (!InPrivateCopy(kAll)) return;
  ASSERT_NO_FATAL_FAILURE(Create(std::nullopt));
  std::wstring description;
  EXPECT_EQ(Failure(L"LogNode", {Variant(L""), Variant(L"assert"), Variant(L"a"), Variant(L"b")}, &description),
            E_FAIL);
  EXPECT_EQ(description, L"Unable to log message");
  EXPECT_EQ(Failure(L"LogElement", {Variant(L"n"), Variant(L"e-1")}, &description), E_FAIL);
  Call(L"PutParameter", {Variant(L"suite"), Variant(L"0")});
  Node(L"", L"assert", L"a", L"b");
  EXPECT_EQ(Transcript(), kAnnouncement + "assert: a=\"b\"\n");
}

// Values are shortened by character count; the doubled-quote rule needs a
// doubled quote at both ends.
TEST(ShownValue, Rules) {
  EXPECT_EQ(shown_value(L"abc", 3), L"abc");
  EXPECT_EQ(shown_value(L"abcd", 3), L"abc...");
  EXPECT_EQ(shown_value(L"\"\"abc", 10), L"\"\"abc");
  EXPECT_EQ(shown_value(L"abc\"\"", 10), L"abc\"\"");
  EXPECT_EQ(shown_value(L"\"\"\"\"", 10), L"\"\"");
  EXPECT_EQ(shown_value(L"\"\"abc\"", 4), L"\"abc...");
  EXPECT_EQ(shown_value(L"abc", 0), L"...");
  EXPECT_EQ(shown_value(L"abc", -5), L"...");
  EXPECT_EQ(shown_value(L"", 0), L"");
}

// Folder and file name of a script path, backslash first for the folder;
// the announced path joins them with the native separator.
TEST(ScriptPath, FolderFileNameAndAnnouncedPath) {
  EXPECT_EQ(script_directory(L"/a/b/main.js"), L"/a/b");
  EXPECT_EQ(script_directory(L"C:\\a/b\\main.js"), L"C:\\a/b");
  EXPECT_EQ(script_directory(L"main.js"), L"main.js");
  EXPECT_EQ(script_file_name(L"/a/b/main.js"), L"main.js");
  EXPECT_EQ(script_file_name(L"C:\\a\\main.js"), L"main.js");
  EXPECT_EQ(script_file_name(L"main.js"), L"main.js");
  EXPECT_EQ(script_file_name(L"/a/"), L"");
  EXPECT_EQ(announced_path(L"/a/b/main.js", L"main.js"), L"/a/b/main.js");
  EXPECT_EQ(announced_path(L"/a/b/main.js", L"sub\\login.js"), L"/a/b/sub/login.js");
  EXPECT_EQ(announced_path(L"/a/b/main.js", L"/c/login.js"), L"/c/login.js");
  EXPECT_EQ(announced_path(L"/main.js", L"main.js"), L"/main.js");
  EXPECT_EQ(announced_path(L"main.js", L"main.js"), L"main.js");
  EXPECT_EQ(announced_path(L"", L"x.js"), L"x.js");
}

}  // namespace
