// URL patterns as routes and request queries use them: globs with their
// three wildcards and the scheme left out, regular expressions with flags,
// methods; and the bad patterns refused with what is wrong.
#include "proxy/network/url_pattern.h"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace Tavrin::Proxy::Network {
namespace {

UrlPattern pattern(const char* json) { return UrlPattern::from_json(boost::json::parse(json), "the pattern"); }

TEST(UrlPattern, GlobWildcards) {
  const UrlPattern one = pattern(R"({"glob": "http://a.test/api/*"})");
  EXPECT_TRUE(one.matches("http://a.test/api/todos", "GET"));
  EXPECT_FALSE(one.matches("http://a.test/api/todos/1", "GET")) << "* stops at /";
  EXPECT_FALSE(one.matches("https://a.test/api/todos", "GET")) << "a scheme given is kept";

  const UrlPattern deep = pattern(R"({"glob": "**/api/**"})");
  EXPECT_TRUE(deep.matches("http://a.test/api/todos/1?x=2", "GET"));
  EXPECT_FALSE(deep.matches("http://a.test/app/todos", "GET"));

  // A star backtracks past a text that occurs more than once.
  const UrlPattern again = pattern(R"({"glob": "http://a.test/*b/c"})");
  EXPECT_TRUE(again.matches("http://a.test/abbb/c", "GET"));
  EXPECT_FALSE(again.matches("http://a.test/ab/x/b/c", "GET"));
  EXPECT_TRUE(pattern(R"({"glob": "**b/c"})").matches("http://a.test/ab/x/b/c", "GET"));
  EXPECT_FALSE(pattern(R"({"glob": "http://a.test/*"})").matches("http://a.test/x/", "GET"));

  const UrlPattern single = pattern(R"({"glob": "http://a.test/t?.json"})");
  EXPECT_TRUE(single.matches("http://a.test/t1.json", "GET"));
  EXPECT_FALSE(single.matches("http://a.test/t12.json", "GET"));
  EXPECT_FALSE(single.matches("http://a.test/t1xjson", "GET")) << "a dot is itself";
}

// Without a scheme a glob matches both http and https, and the whole URL
// must match (no partial match).
TEST(UrlPattern, GlobWithoutSchemeMatchesBoth) {
  const UrlPattern p = pattern(R"({"glob": "a.test/api/todos"})");
  EXPECT_TRUE(p.matches("http://a.test/api/todos", "GET"));
  EXPECT_TRUE(p.matches("https://a.test/api/todos", "GET"));
  EXPECT_FALSE(p.matches("http://a.test/api/todos/2", "GET"));
  EXPECT_FALSE(p.matches("http://b.a.test/api/todos", "GET"));
}

TEST(UrlPattern, RegexSearchesWithFlagsAndMethodNarrows) {
  const UrlPattern p = pattern(R"({"regex": "/API/todos/\\d+$", "flags": "i", "method": "put"})");
  EXPECT_TRUE(p.matches("http://a.test/api/todos/12", "PUT"));
  EXPECT_FALSE(p.matches("http://a.test/api/todos/12", "GET"));
  EXPECT_FALSE(p.matches("http://a.test/api/todos/x", "PUT"));
  EXPECT_TRUE(pattern(R"({"method": "POST"})").matches("http://any/", "POST"));
  EXPECT_EQ(pattern(R"({"glob":"x"})").key(), pattern(R"({ "glob" : "x" })").key());
}

TEST(UrlPattern, BadPatternsAreRefusedByName) {
  auto fault = [](const char* json) {
    try {
      pattern(json);
    } catch (const BadInput& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(fault("42"), "the pattern is not a URL glob, a RegExp or {url, method}");
  EXPECT_EQ(fault(R"({"glob": ""})"), "the pattern is an empty glob");
  EXPECT_EQ(fault(R"({"glob": 3})"), "the pattern: \"glob\" is not a text");
  EXPECT_EQ(fault("{}"), "the pattern names no URL (a glob or a RegExp) and no method");
  EXPECT_NE(fault(R"({"regex": "(unclosed"})").find("is not a regular expression"), std::string::npos);
}

}  // namespace
}  // namespace Tavrin::Proxy::Network
