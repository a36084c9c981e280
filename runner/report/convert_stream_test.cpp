// Placement of records in the report: each row of the decision table,
// statistics placed by name, and the closing order at the end of the log.
#include "runner/report/convert_stream.h"

#include <sstream>

#include <gtest/gtest.h>

#include "runner/report/testing/well_formed.h"

namespace Tavrin::Report {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

// One log line and what its node writes when it is placed.
struct Rec {
  std::string line, xml;
};
const Rec kSuite{"suite: source=[[[s]]]\n", R"(<suite source="s" browser="" host="" date="">)"};
const Rec kFile{"testfile: source=[[[f]]]\n", R"(<testfile source="f" date="">)"};
const Rec kTest{"test: value=[[[t]]]\n", R"(<test name="t" date="">)"};
const Rec kPage{"page: uuid=[[[p]]]\n", R"(<page uuid="p" date="">)"};
const Rec kElem{"element: name=[[[e]]] uuid=[[[x]]]\n", R"(<element name="e" uuid="x" date="">)"};
const Rec kAct{"action: name=[[[a]]] value=[[[v]]] uuid=[[[x]]]\n", R"(<action name="a" date="">v)"};
const Rec kPageAct{"action: name=[[[a]]] value=[[[v]]]\n", R"(<action name="a" date="">v)"};
const Rec kScript{"script: name=[[[s]]] value=[[[v]]] uuid=[[[x]]]\n", R"(<script name="s" date="">v)"};
const Rec kShot{"screenshot: value=[[[i.png]]] uuid=[[[x]]]\n", R"(<screenshot date="">i.png</screenshot>)"};
const Rec kAssert{"assert: name=[[[ok]]] value=[[[v]]] uuid=[[[x]]]\n", R"(<assert name="ok" date="">v)"};
const Rec kResult{"result: name=[[[r]]] value=[[[1]]]\n", R"(<result r="1" date="">)"};
const Rec kParam{"param: name=[[[p]]] value=[[[v]]]\n", R"(<param name="p">v</param>)"};
const Rec kInfo{"info: name=[[[i]]] value=[[[v]]]\n", R"(<info name="i">v</info>)"};

Rec stats(const std::string& target) {
  return {"stats: name=[[[" + target + "]]] value=[[[3]]]\n", "<stats name=\"" + target + "\" date=\"\">3"};
}

class ConvertTest : public ::testing::Test {
 protected:
  // The report of `log` after its XML declaration. Every report must be
  // well-formed.
  static std::string report(const std::string& log) {
    std::istringstream in(log);
    std::ostringstream out;
    EXPECT_EQ(ConvertStream(in, out), StreamStatus::kOk);
    const std::string text = out.str();
    EXPECT_EQ(xml_error(text), "") << text;
    EXPECT_EQ(text.substr(0, kDeclaration.size()), kDeclaration);
    return text.substr(std::min(text.size(), kDeclaration.size()));
  }
};

TEST_F(ConvertTest, EmptyLogGivesTheDeclarationOnly) {
  std::istringstream in("");
  std::ostringstream out;
  EXPECT_EQ(ConvertStream(in, out), StreamStatus::kOk);
  EXPECT_EQ(out.str(), kDeclaration);
  EXPECT_EQ(report("\n\nnot a record\n test: leading blank\n"), "");
}

// Everything still open is closed at the end of the log, innermost first.
TEST_F(ConvertTest, EndOfLogClosesTheWholeChain) {
  EXPECT_EQ(report(kSuite.line + kFile.line + kTest.line + kPage.line + kElem.line + kAct.line + kResult.line),
            kSuite.xml + kFile.xml + kTest.xml + kPage.xml + kElem.xml + kAct.xml + kResult.xml +
                "</result></action></element></page></test></testfile></suite>");
  EXPECT_EQ(report(kTest.line), kTest.xml + "</test>");
}

// Root: adopts whatever is delegated to it; writes through what is passed down.
TEST_F(ConvertTest, RootRow) {
  EXPECT_EQ(report(kInfo.line + kPage.line + kInfo.line), kInfo.xml + kPage.xml + kInfo.xml + "</page>");
  EXPECT_EQ(report(kResult.line + kResult.line), kResult.xml + kResult.xml + "</result></result>");
}

TEST_F(ConvertTest, SuiteRow) {
  // R: a second suite is a second top-level element.
  EXPECT_EQ(report(kSuite.line + kTest.line + kSuite.line),
            kSuite.xml + kTest.xml + "</test></suite>" + kSuite.xml + "</suite>");
  // A: a test file closes the previous one with everything in it.
  EXPECT_EQ(report(kSuite.line + kFile.line + kTest.line + kFile.line),
            kSuite.xml + kFile.xml + kTest.xml + "</test></testfile>" + kFile.xml + "</testfile></suite>");
  // D: without an open child the suite takes a page itself.
  EXPECT_EQ(report(kSuite.line + kPage.line), kSuite.xml + kPage.xml + "</page></suite>");
}

TEST_F(ConvertTest, TestfileRow) {
  EXPECT_EQ(report(kFile.line + kTest.line + kPage.line + kTest.line),
            kFile.xml + kTest.xml + kPage.xml + "</page></test>" + kTest.xml + "</test></testfile>");
  EXPECT_EQ(report(kFile.line + kFile.line), kFile.xml + "</testfile>" + kFile.xml + "</testfile>");
}

TEST_F(ConvertTest, TestRow) {
  EXPECT_EQ(report(kTest.line + kPage.line + kElem.line + kPage.line),
            kTest.xml + kPage.xml + kElem.xml + "</element></page>" + kPage.xml + "</page></test>");
  EXPECT_EQ(report(kFile.line + kTest.line + kTest.line),
            kFile.xml + kTest.xml + "</test>" + kTest.xml + "</test></testfile>");
  EXPECT_EQ(report(kTest.line + kElem.line), kTest.xml + kElem.xml + "</element></test>");
}

TEST_F(ConvertTest, PageRow) {
  // A for elements, R for pages.
  EXPECT_EQ(report(kPage.line + kElem.line + kAct.line + kElem.line + kPage.line),
            kPage.xml + kElem.xml + kAct.xml + "</action></element>" + kElem.xml + "</element></page>" +
                kPage.xml + "</page>");
  // U, empty uuid: the page takes the action and closes the element.
  EXPECT_EQ(report(kPage.line + kElem.line + kAct.line + kPageAct.line),
            kPage.xml + kElem.xml + kAct.xml + "</action></element>" + kPageAct.xml + "</action></page>");
  // U, uuid without an open child: refused, the test closes the page.
  EXPECT_EQ(report(kTest.line + kPage.line + kAct.line),
            kTest.xml + kPage.xml + "</page>" + kAct.xml + "</action></test>");
  // U, uuid with a page-level action open: that action refuses, the page
  // passes the refusal up, the test closes the page.
  EXPECT_EQ(report(kTest.line + kPage.line + kPageAct.line + kAct.line),
            kTest.xml + kPage.xml + kPageAct.xml + "</action></page>" + kAct.xml + "</action></test>");
  // U, uuid with an element open: the element takes script, screenshot, assert.
  EXPECT_EQ(report(kPage.line + kElem.line + kScript.line + kShot.line + kAssert.line),
            kPage.xml + kElem.xml + kScript.xml + "</script>" + kShot.xml + kAssert.xml +
                "</assert></element></page>");
  // D: a result offered to a page without open child.
  EXPECT_EQ(report(kPage.line + kResult.line), kPage.xml + kResult.xml + "</result></page>");
}

TEST_F(ConvertTest, ElementRow) {
  EXPECT_EQ(report(kElem.line + kAct.line + kAct.line + kElem.line),
            kElem.xml + kAct.xml + "</action>" + kAct.xml + "</action></element>" + kElem.xml + "</element>");
}

TEST_F(ConvertTest, ActionAndAssertRows) {
  // A: each result closes the one before; D: a script goes down to the
  // deepest open node.
  EXPECT_EQ(report(kAct.line + kResult.line + kResult.line + kScript.line),
            kAct.xml + kResult.xml + "</result>" + kResult.xml + kScript.xml + "</script></result></action>");
  EXPECT_EQ(report(kAct.line + kAct.line), kAct.xml + "</action>" + kAct.xml + "</action>");
  EXPECT_EQ(report(kAssert.line + kResult.line + kResult.line + kAct.line + kAssert.line),
            kAssert.xml + kResult.xml + "</result>" + kResult.xml + kAct.xml + "</action></result></assert>" +
                kAssert.xml + "</assert>");
}

TEST_F(ConvertTest, ScriptAndScreenshotRows) {
  EXPECT_EQ(report(kScript.line + kAct.line + kAssert.line + kScript.line),
            kScript.xml + kAct.xml + "</action>" + kAssert.xml + "</assert></script>" + kScript.xml + "</script>");
  EXPECT_EQ(report(kScript.line + kResult.line), kScript.xml + kResult.xml + "</result></script>");
  // The screenshot's element is complete; what it adopts follows it.
  EXPECT_EQ(report(kShot.line + kAct.line + kAssert.line + kShot.line + kShot.line),
            kShot.xml + kAct.xml + "</action>" + kAssert.xml + "</assert>" + kShot.xml + kShot.xml);
}

TEST_F(ConvertTest, ResultParamAndStatsRows) {
  EXPECT_EQ(report(kAct.line + kResult.line + kInfo.line + kParam.line),
            kAct.xml + kResult.xml + kInfo.xml + kParam.xml + "</result></action>");
  // Param: R for params; what follows it is written after "</param>".
  EXPECT_EQ(report(kPage.line + kParam.line + kInfo.line + kResult.line + kParam.line),
            kPage.xml + kParam.xml + kInfo.xml + kResult.xml + "</result>" + kParam.xml + "</page>");
  EXPECT_EQ(report(stats("nothing").line + kResult.line),
            stats("nothing").xml + kResult.xml + "</result></stats>");
}

TEST_F(ConvertTest, StatsArePlacedByName) {
  const std::string open = kSuite.line + kFile.line + kTest.line + kPage.line;
  const std::string opened = kSuite.xml + kFile.xml + kTest.xml + kPage.xml;
  EXPECT_EQ(report(open + stats("test").line),
            opened + "</page>" + stats("test").xml + "</stats></test></testfile></suite>");
  EXPECT_EQ(report(open + stats("TeSt").line),
            opened + "</page>" + stats("TeSt").xml + "</stats></test></testfile></suite>");
  EXPECT_EQ(report(open + stats("nothing").line),
            opened + stats("nothing").xml + "</stats></page></test></testfile></suite>");
  EXPECT_EQ(report(open + stats("node").line),
            opened + "</page></test></testfile></suite>" + stats("node").xml + "</stats>");
  // Nested results: the topmost open result takes the statistics.
  EXPECT_EQ(report(kTest.line + kResult.line + kResult.line + kResult.line + stats("result").line),
            kTest.xml + kResult.xml + kResult.xml + kResult.xml + "</result></result>" + stats("result").xml +
                "</stats></result></test>");
}

// Param and message content follows the CDATA rule; other content is escaped.
TEST_F(ConvertTest, CdataForParamAndMessageContent) {
  EXPECT_EQ(report("message: value=[[[a<b]]] date=[[[d]]]\n"), R"(<message date="d"><![CDATA[a<b]]></message>)");
  EXPECT_EQ(report("param: name=[[[n]]] value=[[[x]]>y]]]\n"),
            R"(<param name="n"><![CDATA[x]]]]><![CDATA[>y]]></param>)");
  EXPECT_EQ(report("info: name=[[[n]]] value=[[[a<b]]]\n"), R"(<info name="n">a&lt;b</info>)");
  EXPECT_EQ(report("message: value=[[[a & b]]]\n"), R"(<message date="">a &amp; b</message>)");
}

}  // namespace
}  // namespace Tavrin::Report
