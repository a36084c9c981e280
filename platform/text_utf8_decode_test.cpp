// The one UTF-8 decoder: bulk text, text in pieces (decode_utf8_sequence and
// the stream facet built on it), and the encoder that goes with it.
#include "platform/text.h"

#include <string>

#include "platform/utf8_codecvt.h"

#include <gtest/gtest.h>

namespace Tavrin::Platform {
namespace {

// Multi-byte characters at every offset of the eight-byte ASCII fast path.
TEST(DecodeUtf8, WellFormedTextAroundTheAsciiFastPath) {
  for (std::size_t ascii = 0; ascii < 18; ++ascii) {
    const std::string prefix(ascii, 'a');
    EXPECT_EQ(from_utf8(prefix + "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80" + prefix),
              std::wstring(ascii, L'a') + L"\u00e9\u20ac\U0001F600" + std::wstring(ascii, L'a'));
  }
}

// Each maximal ill-formed subpart becomes one U+FFFD; decoding goes on.
TEST(DecodeUtf8, IllFormedSubpartsBecomeOneReplacementEach) {
  EXPECT_EQ(from_utf8("a\x80" "b"), L"a\uFFFDb");                  // stray continuation
  EXPECT_EQ(from_utf8("\xE2\x82" "A"), L"\uFFFDA");                // cut-off sequence
  EXPECT_EQ(from_utf8("x\xF0\x9F\x98"), L"x\uFFFD");               // cut off by the end
  EXPECT_EQ(from_utf8("\xC0\xAF"), L"\uFFFD\uFFFD");               // overlong "/"
  EXPECT_EQ(from_utf8("\xE0\x80\xAF"), L"\uFFFD\uFFFD\uFFFD");     // overlong, three bytes
  EXPECT_EQ(from_utf8("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");     // surrogate
  EXPECT_EQ(from_utf8("\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
  EXPECT_EQ(from_utf8("\xFF\xFEz"), L"\uFFFD\uFFFDz");
  EXPECT_EQ(from_utf8("\xED\x9F\xBF\xF4\x8F\xBF\xBF"), L"\uD7FF\U0010FFFF");  // the edges that are valid
}

// The buffer form writes what the string form gives and says how much.
TEST(DecodeUtf8, IntoABufferCountsWhatItWrote) {
  const std::string bytes = "ab\xE2\x82\xAC\xE2\x82z";
  std::wstring buffer(bytes.size(), L'#');
  const std::size_t n = from_utf8(bytes, buffer.data());
  EXPECT_EQ(buffer.substr(0, n), L"ab\u20ac\uFFFDz");
  EXPECT_EQ(buffer.substr(n), std::wstring(bytes.size() - n, L'#'));
}

// One sequence at a time: a sequence that the end cuts is reported as cut,
// so that a reader can wait for more; an ill-formed one is not.
TEST(DecodeUtf8Sequence, TellsCutSequencesFromIllFormedOnes) {
  const Utf8Sequence ascii = decode_utf8_sequence("A\x80");
  EXPECT_EQ(ascii.code_point, U'A');
  EXPECT_EQ(ascii.length, 1u);
  EXPECT_FALSE(ascii.cut);

  const Utf8Sequence whole = decode_utf8_sequence("\xF0\x9F\x98\x80x");
  EXPECT_EQ(whole.code_point, U'\U0001F600');
  EXPECT_EQ(whole.length, 4u);
  EXPECT_FALSE(whole.cut);

  const Utf8Sequence cut = decode_utf8_sequence("\xF0\x9F\x98");
  EXPECT_EQ(cut.code_point, U'\uFFFD');
  EXPECT_EQ(cut.length, 3u);
  EXPECT_TRUE(cut.cut);

  const Utf8Sequence broken = decode_utf8_sequence("\xF0\x9F" "A");
  EXPECT_EQ(broken.code_point, U'\uFFFD');
  EXPECT_EQ(broken.length, 2u);
  EXPECT_FALSE(broken.cut);

  const Utf8Sequence overlong = decode_utf8_sequence("\xE0\x80");
  EXPECT_EQ(overlong.length, 1u);  // 0x80 cannot follow E0: not a prefix
  EXPECT_FALSE(overlong.cut);
}

// The encoder writes one to four bytes, and U+FFFD for what UTF-8 cannot
// carry.
TEST(EncodeUtf8, WritesOneToFourBytes) {
  char bytes[4];
  const auto encoded = [&](char32_t c) { return std::string(bytes, encode_utf8(c, bytes)); };
  EXPECT_EQ(encoded(U'A'), "A");
  EXPECT_EQ(encoded(0x7FF), "\xDF\xBF");
  EXPECT_EQ(encoded(0xFFFF), "\xEF\xBF\xBF");
  EXPECT_EQ(encoded(0x10FFFF), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(encoded(0xDFFF), "\xEF\xBF\xBD");
  EXPECT_EQ(encoded(0x110000), "\xEF\xBF\xBD");
}

class Utf8CodecvtTest : public ::testing::Test {
 protected:
  // Decodes `bytes` through the facet in pieces of `piece` bytes, as a
  // stream's buffer hands them over, carrying what a piece leaves unread.
  std::wstring read_in_pieces(const std::string& bytes, std::size_t piece) {
    std::wstring text;
    std::string pending;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      pending += bytes.substr(at, piece);
      wchar_t out[16];
      const char* from_next = nullptr;
      wchar_t* to_next = nullptr;
      const auto result = facet_.in(state, pending.data(), pending.data() + pending.size(), from_next, out,
                                    out + 16, to_next);
      EXPECT_NE(result, std::codecvt_base::error);
      text.append(out, to_next);
      pending.erase(0, static_cast<std::size_t>(from_next - pending.data()));
    }
    return text;
  }
  Utf8Codecvt facet_{1};  // the test owns it, not a locale
};

// Sequences cut by a piece's end are decoded once the rest arrives; the
// replacement rule is the decoder's, one U+FFFD per maximal ill-formed
// subpart, whatever the piece size.
TEST_F(Utf8CodecvtTest, DecodesAcrossPiecesWithTheDecodersRule) {
  const std::string bytes = "a\xE2\x82\xAC\xF0\x9F\x98\x80\xE2\x82" "b\xC0\xAF\xFF" "c";
  const std::wstring expected = L"a\u20ac\U0001F600\uFFFDb\uFFFD\uFFFD\uFFFDc";
  EXPECT_EQ(from_utf8(bytes), expected);
  for (std::size_t piece = 1; piece <= bytes.size(); ++piece) EXPECT_EQ(read_in_pieces(bytes, piece), expected) << piece;
}

// Writing: what the encoder writes, and a full buffer is reported as partial.
TEST_F(Utf8CodecvtTest, EncodesAndStopsAtAFullBuffer) {
  const std::wstring text = L"a\u20ac\U0001F600";
  std::mbstate_t state{};
  char out[8];
  const wchar_t* from_next = nullptr;
  char* to_next = nullptr;
  EXPECT_EQ(facet_.out(state, text.data(), text.data() + text.size(), from_next, out, out + 8, to_next),
            std::codecvt_base::ok);
  EXPECT_EQ(std::string(out, to_next), to_utf8(text));
  EXPECT_EQ(facet_.out(state, text.data(), text.data() + text.size(), from_next, out, out + 5, to_next),
            std::codecvt_base::partial);
  EXPECT_EQ(from_next, text.data() + 2);  // the four-byte sequence does not fit after four bytes
  EXPECT_EQ(std::string(out, to_next), "a\xE2\x82\xAC");
}

}  // namespace
}  // namespace Tavrin::Platform
