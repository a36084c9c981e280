#include "proxy/http/header_text.h"

#include <gtest/gtest.h>

namespace Tavrin::Proxy::Http {
namespace {

TEST(HeaderText, LowerCaseTouchesOnlyAsciiLetters) {
  EXPECT_EQ(lower_case("Content-TYPE: X-1"), "content-type: x-1");
  // UTF-8 bytes of a file name stay as they are, whatever the locale.
  EXPECT_EQ(lower_case("R\xC3\x89SUM\xC3\x89.txt"), "r\xC3\x89sum\xC3\x89.txt");
}

TEST(HeaderText, MediaTypeWithoutParametersOrBlanks) {
  EXPECT_EQ(media_type(" Text/HTML ; charset=UTF-8"), "text/html");
  EXPECT_EQ(media_type("application/json"), "application/json");
  EXPECT_EQ(media_type("\t;charset=utf-8"), "");
  EXPECT_EQ(media_type(""), "");
  EXPECT_EQ(trimmed(" \t a b \t"), "a b");
  EXPECT_EQ(trimmed(" \t "), "");
}

}  // namespace
}  // namespace Tavrin::Proxy::Http
