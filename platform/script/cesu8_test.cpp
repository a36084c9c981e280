#include "platform/script/cesu8_internal.h"

#include <gtest/gtest.h>

namespace Tavrin::Platform::Script {
namespace {

// A character outside the BMP goes to the engine as a surrogate pair of
// three-byte sequences and comes back as one character.
TEST(EngineText, AstralCharacterRoundTrips) {
  const std::wstring text = L"a\U0001F600b";
  const std::string bytes = to_engine_text(text);
  EXPECT_EQ(bytes, "a\xED\xA0\xBD\xED\xB8\x80" "b");
  EXPECT_EQ(from_engine_text(bytes), text);
}

TEST(EngineText, BmpTextIsPlainUtf8) {
  EXPECT_EQ(to_engine_text(L"h\u00E9\u20AC"), "h\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(from_engine_text("h\xC3\xA9\xE2\x82\xAC"), L"h\u00E9\u20AC");
}

// Four-byte UTF-8 (which the engine also accepts) reads as one character.
TEST(EngineText, FourByteSequenceReadsAsOneCharacter) {
  EXPECT_EQ(from_engine_text("\xF0\x9F\x98\x80"), L"\U0001F600");
}

TEST(EngineText, LoneSurrogatesAndMalformedBytesBecomeReplacement) {
  EXPECT_EQ(from_engine_text("\xED\xA0\xBD" "x"), L"\uFFFDx");  // high surrogate alone
  EXPECT_EQ(from_engine_text("\xED\xB8\x80"), L"\uFFFD");         // low surrogate alone
  EXPECT_EQ(from_engine_text("\x80" "a"), L"\uFFFDa");
  EXPECT_EQ(from_engine_text("\xE2\x82"), L"\uFFFD\uFFFD");        // cut off
}

TEST(EngineText, ZeroCharacterIsKept) {
  const std::wstring text(L"a\0b", 3);
  EXPECT_EQ(from_engine_text(to_engine_text(text)), text);
}

}  // namespace
}  // namespace Tavrin::Platform::Script
