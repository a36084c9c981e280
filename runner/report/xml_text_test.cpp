#include "runner/report/xml_text.h"

#include <sstream>

#include <gtest/gtest.h>

namespace Tavrin::Report {
namespace {

class XmlWriterTest : public ::testing::Test {
 protected:
  // What the writer made of the calls in `write`.
  template <class Write>
  std::string written(Write write) {
    std::ostringstream out;
    {
      XmlWriter writer(out);
      write(writer);
    }
    return out.str();
  }
  std::string text(std::wstring_view t) { return written([&](XmlWriter& w) { w.Text(t); }); }
  std::string attribute(std::wstring_view t) { return written([&](XmlWriter& w) { w.Attribute(t); }); }
  std::string cdata(std::wstring_view t) { return written([&](XmlWriter& w) { w.CdataText(t); }); }
};

TEST_F(XmlWriterTest, TextWithoutSpecialCharactersComesOutByteForByte) {
  const std::wstring plain = L"C:\\Results\\shot 1.png 'x' \"y\" \t\r\n \u00e9\u20ac\U0001F600 ]]";
  const std::string utf8 = "C:\\Results\\shot 1.png 'x' \"y\" \t\r\n \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 ]]";
  EXPECT_EQ(text(plain), utf8);
  EXPECT_EQ(cdata(plain), utf8);
  EXPECT_EQ(attribute(L"guest 'x' \u00e9"), "guest 'x' \xC3\xA9");
}

TEST_F(XmlWriterTest, EscapesWhatItsPlaceRequires) {
  EXPECT_EQ(text(L"a & b < c > \"d\""), "a &amp; b &lt; c &gt; \"d\"");
  EXPECT_EQ(attribute(L"a & b < c > \"d\""), "a &amp; b &lt; c &gt; &quot;d&quot;");
  EXPECT_EQ(text(L"x]]>y"), "x]]&gt;y");
}

// Param and message content: "<" or ">" selects a CDATA section, in which
// "]]>" is split; "&" alone is escaped.
TEST_F(XmlWriterTest, CdataRule) {
  EXPECT_EQ(cdata(L"a<b"), "<![CDATA[a<b]]>");
  EXPECT_EQ(cdata(L"a & b"), "a &amp; b");
  EXPECT_EQ(cdata(L"<x a=\"1\">&amp;</x>"), "<![CDATA[<x a=\"1\">&amp;</x>]]>");
  EXPECT_EQ(cdata(L"x]]>y]]]>"), "<![CDATA[x]]]]><![CDATA[>y]]]]]><![CDATA[>]]>");
  EXPECT_EQ(cdata(L"]>]]"), "<![CDATA[]>]]]]>");
}

TEST_F(XmlWriterTest, CharactersXmlCannotCarryBecomeReplacement) {
  std::wstring bad = L"a\x01\x1F\x7F";
  bad += static_cast<wchar_t>(0xFFFE);
  bad += static_cast<wchar_t>(0xFFFF);
  bad += static_cast<wchar_t>(0xD800);
  bad += static_cast<wchar_t>(0x110000);
  bad += L'\0';
  const std::string fffd = "\xEF\xBF\xBD";
  const std::string expected = "a" + fffd + fffd + "\x7F" + fffd + fffd + fffd + fffd + fffd;
  EXPECT_EQ(text(bad), expected);
  EXPECT_EQ(attribute(bad), expected);
  EXPECT_EQ(cdata(bad + L"<"), "<![CDATA[" + expected + "<]]>");
}

// Output far larger than the buffer, with the widest expansion at the
// buffer's edges.
TEST_F(XmlWriterTest, LongOutputCrossesTheBuffer) {
  const std::wstring long_text(300'000, L']');
  const std::string out = cdata(long_text + L">" + std::wstring(100'000, L'&') + L"<");
  EXPECT_EQ(out, "<![CDATA[" + std::string(300'000, ']') + "]]><![CDATA[>" + std::string(100'000, '&') + "<]]>");
  const std::string amps = written([](XmlWriter& w) {
    w.Markup("<a>");
    w.Text(std::wstring(200'000, L'&'));
    w.Markup("</a>");
  });
  std::string expected = "<a>";
  for (int i = 0; i < 200'000; ++i) expected += "&amp;";
  EXPECT_EQ(amps, expected + "</a>");
}

TEST_F(XmlWriterTest, FailingStreamIsReported) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  XmlWriter writer(out);
  writer.Markup("<a/>");
  EXPECT_TRUE(writer.ok());  // still buffered
  writer.Flush();
  EXPECT_FALSE(writer.ok());
}

TEST(XmlName, ValidNamesStayAsTheyAre) {
  for (const wchar_t* name : {L"status", L"_x", L"a-b.c1", L"\u00e9t\u00e9", L"\u65e5\u672c", L"xmlnsx", L"Date"})
    EXPECT_EQ(xml_name(name), name);
}

TEST(XmlName, InvalidCharactersBecomeUnderscore) {
  EXPECT_EQ(xml_name(L""), L"_");
  EXPECT_EQ(xml_name(L"my status"), L"my_status");
  EXPECT_EQ(xml_name(L"1st"), L"_st");
  EXPECT_EQ(xml_name(L"-a.b"), L"_a.b");
  EXPECT_EQ(xml_name(L"a:b"), L"a_b");
  EXPECT_EQ(xml_name(L"a\"=<>&'"), L"a______");
  EXPECT_EQ(xml_name(L"xmlns"), L"xmlns_");
  EXPECT_EQ(xml_name(L"\u00b7x\u00d7"), L"_x_");  // middle dot may not lead; times sign never
}

}  // namespace
}  // namespace Tavrin::Report
