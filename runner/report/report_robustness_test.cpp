// The converter on logs that are not what a well-behaved writer produces:
// invalid bytes, unterminated and huge lines, text that XML cannot take
// as it is, chains nested without limit, failing streams.
#include <random>
#include <sstream>
#include <streambuf>

#include <gtest/gtest.h>

#include "runner/report/convert_stream.h"
#include "runner/report/testing/well_formed.h"

namespace Tavrin::Report {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>";

std::string convert(const std::string& log) {
  std::istringstream in(log);
  std::ostringstream out;
  EXPECT_EQ(ConvertStream(in, out), StreamStatus::kOk);
  return out.str();
}

// The report after its declaration; the report must be well-formed.
std::string body(const std::string& log) {
  const std::string report = convert(log);
  EXPECT_EQ(xml_error(report), "") << report.substr(0, 200);
  return report.substr(std::min(report.size(), kDeclaration.size()));
}

TEST(LogLines, FinalLineWithoutLineFeedIsDropped) {
  EXPECT_EQ(body("info: name=[[[a]]] value=[[[1]]]\ninfo: name=[[[b]]] value=[[[2]]]"), R"(<info name="a">1</info>)");
}

TEST(LogLines, CarriageReturnBeforeLineFeedIsIgnored) {
  EXPECT_EQ(body("info: name=[[[a]]] value=[[[1]]]\r\ninfo: name=[[[b]]] value=[[[x[\\r][\\n]y]]]\r\n"),
            "<info name=\"a\">1</info><info name=\"b\">x\r\ny</info>");
}

TEST(LogLines, ByteOrderMarkHidesTheFirstLine) {
  EXPECT_EQ(body("\xEF\xBB\xBFinfo: name=[[[a]]]\ninfo: name=[[[b]]]\n"), R"(<info name="b"></info>)");
}

// Ill-formed UTF-8 becomes U+FFFD; the lines after it are converted too.
TEST(LogLines, InvalidUtf8DoesNotEndTheConversion) {
  EXPECT_EQ(body("info: name=[[[a\xFF" "b]]] value=[[[\xE2\x82]]]\ninfo: name=[[[c]]]\n"),
            "<info name=\"a\xEF\xBF\xBD" "b\">\xEF\xBF\xBD</info><info name=\"c\"></info>");
}

// Lines longer than one read of the log, and a ten-megabyte value.
TEST(LogLines, LongLinesAcrossReads) {
  const std::string value(3'000'000, 'v');
  EXPECT_EQ(body("info: name=[[[a]]] value=[[[" + value + "]]]\ninfo: name=[[[b]]]\n"),
            "<info name=\"a\">" + value + "</info><info name=\"b\"></info>");
  const std::string huge(10'000'000, '<');
  EXPECT_EQ(body("message: value=[[[" + huge + "]]]\n"), "<message date=\"\"><![CDATA[" + huge + "]]></message>");
}

TEST(XmlSafety, ResultNamesBecomeValidAttributeNames) {
  EXPECT_EQ(body("result: value=[[[failed]]] date=[[[d]]]\n"), R"(<result _="failed" date="d"></result>)");
  EXPECT_EQ(body("result: name=[[[status]]] value=[[[failed]]]\n"), R"(<result status="failed" date=""></result>)");
  EXPECT_EQ(body("result: name=[[[first try]]] value=[[[1]]]\nresult: name=[[[2nd]]] value=[[[2]]]\n"),
            R"(<result first_try="1" date=""><result _nd="2" date=""></result></result>)");
  EXPECT_EQ(body("result: name=[[[date]]] value=[[[1]]] date=[[[d]]]\n"), R"(<result date_="1" date="d"></result>)");
}

TEST(XmlSafety, ValuesAreEscapedWhereXmlRequires) {
  EXPECT_EQ(body("suite: source=[[[a\"b.js]]] browser=[[[<ff>]]] host=[[[x&y]]]\n"),
            R"(<suite source="a&quot;b.js" browser="&lt;ff&gt;" host="x&amp;y" date=""></suite>)");
  EXPECT_EQ(body("action: name=[[[click]]] value=[[[a > b & \"c\"]]]\n"),
            R"(<action name="click" date="">a &gt; b &amp; "c"</action>)");
}

// Consecutive results nest in each other without limit: placing and closing
// them must neither recurse per level nor walk the whole chain per record.
TEST(DeepChains, HundredsOfThousandsOfLevels) {
  constexpr int kLevels = 300'000;
  std::string log;
  for (int i = 0; i < kLevels; ++i) log += "result: \n";
  std::string expected(kDeclaration);
  for (int i = 0; i < kLevels; ++i) expected += R"(<result _="" date="">)";
  for (int i = 0; i < kLevels; ++i) expected += "</result>";
  EXPECT_EQ(convert(log), expected);

  // Statistics placed by name in a deep chain of results and statistics.
  std::string mixed;
  std::string mixed_expected(kDeclaration);
  for (int i = 0; i < kLevels / 2; ++i) {
    mixed += "result: \nstats: name=[[[nothing]]]\n";
    mixed_expected += R"(<result _="" date=""><stats name="nothing" date="">)";
  }
  for (int i = 1; i < kLevels / 2; ++i) mixed_expected += "</stats></result>";
  mixed_expected += R"(<stats name="stats" date=""><assert name="" date=""></assert></stats></stats></result>)";
  EXPECT_EQ(convert(mixed + "stats: name=[[[stats]]]\nassert: \n"), mixed_expected);
}

// Random logs of records with hostile names and values: every report is
// well-formed.
TEST(XmlSafety, RandomHostileLogsGiveWellFormedReports) {
  const std::vector<std::string> kinds = {"suite", "testfile", "test", "page", "element", "action",
                                          "script", "screenshot", "assert", "result", "param", "info",
                                          "error", "verbose", "message", "stats"};
  const std::vector<std::string> pieces = {"a", " ", "<", ">", "&", "\"", "'", "]]>", "]", "[\\r]", "[\\n]",
                                           "\x01", "\xFF", "\xE2\x82", "\xEF\xBF\xBF", ":", "1", "=", "\t",
                                           "\xC3\xA9", "date", "xmlns", "test", "node"};
  std::mt19937 random(42);
  auto text = [&](int max) {
    std::string t;
    for (int n = std::uniform_int_distribution<int>(0, max)(random); n > 0; --n)
      t += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
    return t;
  };
  for (int round = 0; round < 300; ++round) {
    std::string log;
    for (int line = 0; line < 60; ++line) {
      log += kinds[std::uniform_int_distribution<std::size_t>(0, kinds.size() - 1)(random)] + ": ";
      for (const char* name : {"name", "value", "uuid", "date", "source", "browser", "host"})
        if (random() % 2) log += std::string(name) + "=[[[" + text(4) + "]]] ";
      log += "\n";
    }
    const std::string report = convert(log);
    ASSERT_EQ(xml_error(report), "") << log;
  }
}

// A stream buffer that gives `good` bytes and then fails.
class FailingBuf : public std::streambuf {
 public:
  explicit FailingBuf(std::string good) : good_(std::move(good)) {
    setg(good_.data(), good_.data(), good_.data() + good_.size());
  }

 protected:
  int_type underflow() override { throw std::ios_base::failure("device error"); }

 private:
  std::string good_;
};

TEST(Streams, ReadAndWriteFailuresAreReported) {
  FailingBuf failing("test: value=[[[t]]]\n");
  std::istream in(&failing);
  std::ostringstream out;
  EXPECT_EQ(ConvertStream(in, out), StreamStatus::kReadFailed);

  std::istringstream log("test: value=[[[t]]]\n");
  std::ostringstream broken;
  broken.setstate(std::ios::badbit);
  EXPECT_EQ(ConvertStream(log, broken), StreamStatus::kWriteFailed);
}

}  // namespace
}  // namespace Tavrin::Report
