#include "platform/text.h"

#include <gtest/gtest.h>

using Tavrin::Platform::from_utf8;
using Tavrin::Platform::narrow_low8;
using Tavrin::Platform::to_utf8;

TEST(Utf8, RoundTripsOneToFourByteSequences) {
  const std::wstring text = L"a\u00e9\u20ac\U0001F600";
  EXPECT_EQ(to_utf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(from_utf8(to_utf8(text)), text);
}

TEST(Utf8, IllFormedBytesBecomeReplacementAndDecodingGoesOn) {
  // Stray continuation, overlong '/', cut-off three-byte sequence (one
  // replacement for the whole cut sequence), 0xFF.
  EXPECT_EQ(from_utf8("a\x80" "b"), L"a\uFFFDb");
  EXPECT_EQ(from_utf8("\xC0\xAF" "x"), L"\uFFFD\uFFFDx");
  EXPECT_EQ(from_utf8("\xE2\x82"), L"\uFFFD");
  EXPECT_EQ(from_utf8("\xFFz"), L"\uFFFDz");
  EXPECT_EQ(from_utf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
}

TEST(Utf8, UnencodableCodePointsBecomeReplacement) {
  EXPECT_EQ(to_utf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(to_utf8(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xEF\xBF\xBD");
}

TEST(NarrowLow8, KeepsLowByteOfEachUnit) {
  EXPECT_EQ(narrow_low8(L"ab\u0141"), std::string("ab\x41"));
}
