#include "runner/report/utf8_decode.h"

#include <gtest/gtest.h>

namespace Tavrin::Report {
namespace {

// Multi-byte characters at every offset of the eight-byte ASCII fast path.
TEST(DecodeUtf8, WellFormedTextAroundTheAsciiFastPath) {
  for (std::size_t ascii = 0; ascii < 18; ++ascii) {
    const std::string prefix(ascii, 'a');
    EXPECT_EQ(decode_utf8(prefix + "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" + prefix),
              std::wstring(ascii, L'a') + L"\u00e9\u20ac\U0001F600" + std::wstring(ascii, L'a'));
  }
}

// Each maximal ill-formed subpart becomes one U+FFFD; decoding goes on.
TEST(DecodeUtf8, IllFormedSubpartsBecomeOneReplacementEach) {
  EXPECT_EQ(decode_utf8("a\x80" "b"), L"a\uFFFDb");                  // stray continuation
  EXPECT_EQ(decode_utf8("\xE2\x82" "A"), L"\uFFFDA");                // cut-off sequence
  EXPECT_EQ(decode_utf8("x\xF0\x9F\x98"), L"x\uFFFD");               // cut off by the end
  EXPECT_EQ(decode_utf8("\xC0\xAF"), L"\uFFFD\uFFFD");               // overlong "/"
  EXPECT_EQ(decode_utf8("\xE0\x80\xAF"), L"\uFFFD\uFFFD\uFFFD");     // overlong, three bytes
  EXPECT_EQ(decode_utf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");     // surrogate
  EXPECT_EQ(decode_utf8("\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(decode_utf8("\xFF\xFEz"), L"\uFFFD\uFFFDz");
  EXPECT_EQ(decode_utf8("\xED\x9F\xBF\xF4\x8F\xBF\xBF"), L"\uD7FF\U0010FFFF");  // the edges that are valid
}

}  // namespace
}  // namespace Tavrin::Report
