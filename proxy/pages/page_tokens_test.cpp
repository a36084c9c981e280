// Page tokens: each one new and unguessable in form, admitted only for the
// run and origin it was issued for, and the least recently used one
// forgotten first once there are too many.
#include "proxy/pages/page_tokens.h"

#include <set>
#include <stdexcept>

#include <gtest/gtest.h>

namespace Tavrin::Proxy {
namespace {

TEST(PageTokensTest, TokensAreNewEachTimeAndHex) {
  PageTokens tokens;
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    const std::string token = tokens.issue("run-a", "http://app.test");
    ASSERT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos) << token;
    seen.insert(token);
  }
  EXPECT_EQ(seen.size(), 1000u);
  // The main port's documents get none.
  EXPECT_THROW(tokens.issue("", "http://app.test"), std::invalid_argument);
}

TEST(PageTokensTest, AdmittedOnlyForTheirRunAndOrigin) {
  PageTokens tokens;
  const std::string token = tokens.issue("run-a", "http://app.test");
  EXPECT_TRUE(tokens.admits(token, "run-a", "http://app.test"));
  EXPECT_FALSE(tokens.admits(token, "run-b", "http://app.test"));
  EXPECT_FALSE(tokens.admits(token, "", "http://app.test"));
  EXPECT_FALSE(tokens.admits(token, "run-a", "https://app.test"));
  EXPECT_FALSE(tokens.admits(token, "run-a", "http://app.test:8080"));
  EXPECT_FALSE(tokens.admits(token.substr(1), "run-a", "http://app.test"));
  EXPECT_FALSE(tokens.admits(std::string(32, '0'), "run-a", "http://app.test"));
  EXPECT_FALSE(tokens.admits("", "run-a", "http://app.test"));
  // Still admitted after the refusals.
  EXPECT_TRUE(tokens.admits(token, "run-a", "http://app.test"));
}

TEST(PageTokensTest, TheLeastRecentlyUsedGoesFirst) {
  PageTokens tokens(3);
  const std::string a = tokens.issue("r", "http://o");
  const std::string b = tokens.issue("r", "http://o");
  const std::string c = tokens.issue("r", "http://o");
  EXPECT_TRUE(tokens.admits(a, "r", "http://o"));  // a is now the most recent
  const std::string d = tokens.issue("r", "http://o");
  EXPECT_FALSE(tokens.admits(b, "r", "http://o"));
  EXPECT_TRUE(tokens.admits(a, "r", "http://o"));
  EXPECT_TRUE(tokens.admits(c, "r", "http://o"));
  EXPECT_TRUE(tokens.admits(d, "r", "http://o"));
}

}  // namespace
}  // namespace Tavrin::Proxy
