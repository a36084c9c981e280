// Decoding bodies whole (a page to inject into) and piece by piece (a
// saved download): every coding, damage, and bombs that must not grow.
#include "proxy/http/body_decoding.h"

#include <gtest/gtest.h>

#include "proxy/http/testing/coded_bodies.h"

namespace Tavrin::Proxy::Http {
namespace {

using Testing::brotli;
using Testing::gzip;
using Testing::raw_deflate;
using Testing::zlib_wrapped;

TEST(BodyDecodingTest, CodingsDamageAndBombs) {
  const std::string page = "<html>" + std::string(10000, 'p') + "</html>";
  EXPECT_EQ(decode_content(page, "", 1 << 20), page);
  EXPECT_EQ(decode_content(zlib_wrapped(page), "Deflate", 1 << 20), page);
  EXPECT_EQ(decode_content(raw_deflate(page), "deflate", 1 << 20), page);
  EXPECT_EQ(decode_content(zlib_wrapped(zlib_wrapped(page)), "deflate, deflate", 1 << 20), page);
  EXPECT_EQ(decode_content(brotli(gzip(page)), "gzip, identity, br", 1 << 20), page);
  EXPECT_EQ(decode_content(gzip(page) + gzip("two"), "gzip", 1 << 20), page + "two") << "two gzip members";
  EXPECT_EQ(decode_content(page, "compress", 1 << 20), std::nullopt);
  std::string cut = zlib_wrapped(page);
  cut.resize(cut.size() / 2);
  EXPECT_EQ(decode_content(cut, "deflate", 1 << 20), std::nullopt);
  EXPECT_EQ(decode_content("garbage", "br", 1 << 20), std::nullopt);
  EXPECT_EQ(decode_content(zlib_wrapped(std::string(10 << 20, '\0')), "deflate", 1 << 20), std::nullopt)
      << "a small bomb must not grow past the cap";
}

// Feeds `coded` in pieces of `piece` bytes; what came out, or "failed".
std::string fed(ContentDecoder& decoder, const std::string& coded, std::size_t piece) {
  std::string out;
  const auto sink = [&](std::string_view bytes) {
    EXPECT_LE(bytes.size(), 64u * 1024) << "pieces stay small";
    out.append(bytes);
    return true;
  };
  for (std::size_t at = 0; at < coded.size(); at += piece) {
    if (!decoder.feed(std::string_view(coded).substr(at, piece), sink)) return "failed";
  }
  return decoder.finished() ? out : "unfinished";
}

TEST(BodyDecodingTest, PieceByPieceInEveryCoding) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i * 7919 % 10007) + "\n";
  const std::pair<const char*, std::string> cases[] = {
      {"gzip", gzip(text)},           {"X-Gzip", gzip(text)}, {"deflate", zlib_wrapped(text)},
      {"deflate", raw_deflate(text)}, {" br ", brotli(text)},
  };
  for (const auto& [encoding, coded] : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{1000}, coded.size()}) {
      auto decoder = ContentDecoder::for_encoding(encoding);
      ASSERT_TRUE(decoder) << encoding;
      EXPECT_EQ(fed(*decoder, coded, piece), text) << encoding << " in pieces of " << piece;
    }
  }
  auto members = ContentDecoder::for_encoding("gzip");
  EXPECT_EQ(fed(*members, gzip("one ") + gzip("two"), 5), "one two");
  for (const char* none : {"", "identity", "compress", "gzip, br"})
    EXPECT_FALSE(ContentDecoder::for_encoding(none)) << "'" << none << "' is no one coding to undo";
}

TEST(BodyDecodingTest, PieceByPieceDamageAndEnds) {
  const std::string text(100000, 'x');
  std::string cut = gzip(text);
  cut.resize(cut.size() - 10);
  auto decoder = ContentDecoder::for_encoding("gzip");
  EXPECT_EQ(fed(*decoder, cut, 4096), "unfinished") << "a body cut short never counts as whole";
  decoder = ContentDecoder::for_encoding("br");
  EXPECT_EQ(fed(*decoder, brotli(text) + "more", 4096), "failed") << "bytes past the end";
  decoder = ContentDecoder::for_encoding("deflate");
  EXPECT_EQ(fed(*decoder, zlib_wrapped(text) + "more", 4096), "failed");
  decoder = ContentDecoder::for_encoding("gzip");
  EXPECT_EQ(fed(*decoder, "this is no gzip data at all", 4), "failed");

  // A sink that stops: the decoder stops, with no more output.
  const std::string bomb = gzip(std::string(50 << 20, '\0'));
  decoder = ContentDecoder::for_encoding("gzip");
  std::size_t taken = 0;
  EXPECT_FALSE(decoder->feed(bomb, [&](std::string_view piece) {
    taken += piece.size();
    return taken < (1 << 20);
  }));
  EXPECT_LT(taken, 2u << 20);
  EXPECT_FALSE(decoder->finished());
}

}  // namespace
}  // namespace Tavrin::Proxy::Http
