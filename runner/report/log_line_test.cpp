#include "runner/report/log_line.h"

#include <random>
#include <regex>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text.h"

namespace Tavrin::Report {
namespace {

using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

// What the scanner finds, names and values decoded (escapes left as they are).
Pairs scan(std::string_view text) {
  Pairs found;
  AttributeScanner scanner(text);
  RawAttribute attribute;
  while (scanner.Next(&attribute))
    found.emplace_back(Platform::from_utf8(attribute.name), Platform::from_utf8(attribute.value));
  return found;
}

// What the pattern itself finds in the decoded text, run by the standard
// library's ECMAScript engine.
Pairs scan_with_regex(std::string_view text) {
  static const std::wregex pattern(LR"(([^= ]*)=\[{3}(((?!\]{3}).)*)\]{3})");
  const std::wstring wide = Platform::from_utf8(text);
  Pairs found;
  for (std::wsregex_iterator it(wide.begin(), wide.end(), pattern), end; it != end; ++it)
    found.emplace_back((*it)[1].str(), (*it)[2].str());
  return found;
}

TEST(MatchPrefix, EveryKindWordFollowedByColonAndSpace) {
  for (int k = 0; k < kKindCount; ++k) {
    const auto kind = static_cast<Kind>(k);
    std::wstring_view word = kind_word(kind);
    const std::string line = std::string(word.begin(), word.end()) + ": name=[[[a]]]";
    EXPECT_EQ(match_prefix(line), kind) << line;
    EXPECT_EQ(prefix_length(kind), word.size() + 2);
  }
}

TEST(MatchPrefix, IgnoresLetterCase) {
  EXPECT_EQ(match_prefix("Test: name=[[[a]]]"), Kind::kTest);
  EXPECT_EQ(match_prefix("TESTFILE: "), Kind::kTestfile);
  EXPECT_EQ(match_prefix("sCrEeNsHoT: "), Kind::kScreenshot);
}

// The prefix must stand at the first byte, with exactly ": " after the word.
TEST(MatchPrefix, RejectsAnythingElse) {
  for (const char* line : {" test: name=[[[a]]]", "test:name=[[[a]]]", "test :", "tests: ", "test:", "",
                           "\tinfo: ", "\xEF\xBB\xBFsuite: ", "\xC4\xB1nfo: ", "teSt\xC3\xA9: "})
    EXPECT_FALSE(match_prefix(line)) << line;
  EXPECT_EQ(match_prefix("test:  "), Kind::kTest);  // the second blank belongs to the rest
}

TEST(AttributeScanner, ReadsNamesAndValuesAnywhereInTheLine) {
  EXPECT_EQ(scan("junk text label=[[[a]]]x=[[[b]]]"), (Pairs{{L"label", L"a"}, {L"x", L"b"}}));
  EXPECT_EQ(scan("my name=[[[v]]]"), (Pairs{{L"name", L"v"}}));
  EXPECT_EQ(scan("=[[[x]]]"), (Pairs{{L"", L"x"}}));
  EXPECT_EQ(scan("a=b=[[[c]]]"), (Pairs{{L"b", L"c"}}));
  EXPECT_EQ(scan("n=[[[]]] \xC3\xA9=[[[\xE6\x97\xA5]]]"), (Pairs{{L"n", L""}, {L"\u00e9", L"\u65e5"}}));
}

TEST(AttributeScanner, ValueRunsToTheFirstTripleClosingBracket) {
  EXPECT_EQ(scan("name=[[[a]] b]]]"), (Pairs{{L"name", L"a]] b"}}));
  EXPECT_EQ(scan("name=[[[a]]]]]]"), (Pairs{{L"name", L"a"}}));
  EXPECT_EQ(scan("a=[[[x=[[[y]]] z=[[[w]]]"), (Pairs{{L"a", L"x=[[[y"}, {L"z", L"w"}}));
  EXPECT_EQ(scan("a=[[[open b=[[[c]]]"), (Pairs{{L"a", L"open b=[[[c"}}));
}

// Ill-formed attributes are skipped and scanning goes on behind them. A value
// holds no line terminator: "." of the pattern does not match one.
TEST(AttributeScanner, SkipsIllFormedAttributes) {
  EXPECT_EQ(scan("name=[[value]] b=[[[c]]]"), (Pairs{{L"b", L"c"}}));
  EXPECT_EQ(scan("a=[[[never closed"), Pairs{});
  EXPECT_EQ(scan("a=[[[x\r]]] b=[[[y]]]"), (Pairs{{L"b", L"y"}}));
  EXPECT_EQ(scan("a=[[[x\xE2\x80\xA8]]]b=[[[y\xE2\x80\xA9]]] c=[[[z\xE2\x80\xAA]]]\r"),
            (Pairs{{L"c", L"z\u202a"}}));
  EXPECT_EQ(scan("a=[[[x\rb=[[[y]]]"), (Pairs{{L"[[[x\rb", L"y"}}));
}

// A value of ten million characters, and ten megabytes of openings that never
// close, which the regular-expression engine cannot take (it recurses per
// character) and a naive scanner takes in quadratic time.
TEST(AttributeScanner, HugeValuesInLinearTime) {
  const std::string big(10'000'000, 'v');
  const std::string line = "name=[[[" + big + "]]] uuid=[[[u]]]";
  AttributeScanner scanner(line);
  RawAttribute attribute;
  ASSERT_TRUE(scanner.Next(&attribute));
  EXPECT_EQ(attribute.value.size(), big.size());
  ASSERT_TRUE(scanner.Next(&attribute));
  EXPECT_EQ(attribute.value, "u");

  std::string open;
  for (int i = 0; i < 2'000'000; ++i) open += "a=[[[";
  EXPECT_EQ(scan(open), Pairs{});
  const Pairs closed = scan(open + "]]]");
  ASSERT_EQ(closed.size(), 1u);
  EXPECT_EQ(closed[0].second.size(), open.size() - 5);
}

// Random lines over the characters that matter to the pattern, ill-formed
// UTF-8 included: the scanner finds exactly what the regular expression
// finds in the decoded text.
TEST(AttributeScanner, AgreesWithTheRegularExpression) {
  const std::vector<std::string> pieces = {"a", "b", " ", "=", "[", "[", "[", "]", "]", "]", "\r",
                                           "\xE2\x80\xA8", "\xE2\x80", "\xA8", "\xC3\xA9", "\xFF"};
  std::mt19937 random(20110128);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1), length(0, 40);
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    for (std::size_t n = length(random); n > 0; --n) text += pieces[pick(random)];
    ASSERT_EQ(scan(text), scan_with_regex(text)) << "line of " << text.size() << " bytes, round " << round;
  }
}

TEST(UnescapeValue, DecodesAndRestoresCarriageReturnAndLineFeedOnly) {
  EXPECT_EQ(unescape_value("line1[\\n]line2"), L"line1\nline2");
  EXPECT_EQ(unescape_value("[\\r][\\n]"), L"\r\n");
  EXPECT_EQ(unescape_value("[[\\n]]\xC3\xA9[\\n"), L"[\n]\u00e9[\\n");
  EXPECT_EQ(unescape_value("[\\t] [\\r [\\N] \\n] [\xFF\\n]"), L"[\\t] [\\r [\\N] \\n] [\uFFFD\\n]");
}

TEST(Attributes, FirstOccurrenceOfEachNameWins) {
  Attributes a("name=[[[x]]] name=[[[y]]] value=[[[]]] value=[[[z]]] Date=[[[d]]]", {"name", "value", "date"});
  EXPECT_EQ(a.take("name"), L"x");
  EXPECT_EQ(a.take("value"), L"");
  EXPECT_EQ(a.take("date"), L"");  // names compare with exact case
  EXPECT_EQ(a.take("uuid"), L"");  // not asked for
}

TEST(Attributes, ValuesHaveTheirEscapesRestored) {
  Attributes a("value=[[[expected 'Welcome'[\\n]got 'Error']]]", {"value"});
  EXPECT_EQ(a.take("value"), L"expected 'Welcome'\ngot 'Error'");
}

}  // namespace
}  // namespace Tavrin::Report
