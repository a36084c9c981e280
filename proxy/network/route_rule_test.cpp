// Reading a route from a script's JSON: each kind of action, and every
// fault refused before anything is added, naming what is wrong.
#include "proxy/network/route_rule.h"

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include <boost/json/parse.hpp>

#include <gtest/gtest.h>

#include "proxy/network/route_table.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Network {
namespace {

std::string fault(const std::string& json) {
  try {
    read_route_rule(json);
  } catch (const BadInput& e) {
    return e.what();
  }
  return "accepted";
}

const std::string kPattern = R"("pattern": {"glob": "**/api/*"})";

TEST(RouteRule, AnswersMadeHere) {
  auto rule = read_route_rule("{" + kPattern + R"(, "action": {"status": 201, "headers": {"X-A": "1"}, "body": "ok"}})");
  ASSERT_TRUE(rule->action.fulfil);
  EXPECT_EQ(rule->action.fulfil->status, 201);
  EXPECT_EQ(rule->action.fulfil->body, "ok");
  EXPECT_EQ(rule->action.fulfil->content_type, "text/plain; charset=utf-8");
  EXPECT_EQ(rule->action.fulfil->headers.at(0).first, "X-A");

  rule = read_route_rule("{" + kPattern + R"(, "action": {"json": [1, {"a": "b"}]}, "times": 2})");
  EXPECT_EQ(rule->action.fulfil->body, R"([1,{"a":"b"}])");
  EXPECT_EQ(rule->action.fulfil->content_type, "application/json");
  EXPECT_EQ(rule->times, 2u);

  rule = read_route_rule("{" + kPattern + R"(, "action": {"base64": "SGk/IQ=="}})");
  EXPECT_EQ(rule->action.fulfil->body, "Hi?!");

  quorvane_test::TempDir dir;
  const std::string file = dir.file("list.json");
  std::ofstream(file) << "[]";
  rule = read_route_rule("{" + kPattern + R"(, "action": {"file": ")" + file + R"("}})");
  EXPECT_EQ(rule->action.fulfil->body, "[]");
  EXPECT_EQ(rule->action.fulfil->content_type, "application/json");
}

TEST(RouteRule, AbortsDelaysAndChanges) {
  auto rule = read_route_rule("{" + kPattern + R"(, "action": {"abort": "malformed"}})");
  EXPECT_EQ(rule->action.abort, AbortKind::kMalformed);
  rule = read_route_rule("{" + kPattern + R"(, "action": {"delay": 300}})");
  EXPECT_EQ(rule->action.delay.count(), 300);
  EXPECT_FALSE(rule->action.fulfil);
  rule = read_route_rule("{" + kPattern +
                         R"(, "action": {"continue": {"headers": {"x-test": "1", "cookie": null}, "method": "PUT"}}})");
  ASSERT_TRUE(rule->action.changes);
  EXPECT_EQ(rule->action.changes->method, "PUT");
  EXPECT_EQ(rule->action.changes->headers.at(1).second, std::nullopt);
  rule = read_route_rule("{" + kPattern +
                         R"(, "action": {"response": {"status": 203, "replace": [["Alpha", "Beta"], [{"regex": "b+", "flags": "g"}, "B"]]}}})");
  EXPECT_EQ(replace_all("Alpha abba Alpha", rule->action.response->replace), "Beta aBa Beta");
}

// Each fault of the input names the argument and what is wrong with it.
TEST(RouteRule, BadInputIsRefusedWithItsFault) {
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"abort": "later"}})"),
            "route(): the action.abort \"later\" is not one of reset, refused, timeout, empty, malformed");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"stauts": 200}})"),
            "route(): the action has an unknown key \"stauts\"");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"body": "x", "json": 1}})"),
            "route(): the action gives more than one of body, json, file and base64");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"body": "x", "abort": "reset"}})"),
            "route(): the action mixes an answer, an abort and changes of the real request; give one");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {}})"),
            "route(): the action does nothing: give an answer, an abort, a delay, a throttle, continue or response");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"file": "/no/such/file.json"}})"),
            "route(): the action.file /no/such/file.json is not there");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"status": 42}})"), "route(): the action.status is 42, less than 100");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"base64": "a*b"}})"),
            "route(): the action.base64 is not base64: it holds '*'");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"body": "x"}, "times": 0})"), "route(): times is 0, less than 1");
  EXPECT_EQ(fault(R"({"pattern": 7, "action": {"body": "x"}})"),
            "route(): the pattern is not a URL glob, a RegExp or {url, method}");
  EXPECT_EQ(fault("{" + kPattern + R"(, "action": {"continue": {"url": "ftp://x/"}}})"),
            "route(): the action.continue.url ftp://x/ is not an absolute http or https URL");
}

// Newest first; a rule with times holds for that many matches, then the
// older one takes over; removal goes by the pattern as written.
TEST(RouteTable, NewestFirstTimesAndRemoval) {
  RouteTable table;
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(table.take("http://a/api/x", "GET"), nullptr);
  table.add(read_route_rule(R"({"pattern": {"glob": "**/api/*"}, "action": {"body": "old"}})"));
  table.add(read_route_rule(R"({"pattern": {"glob": "**/api/x"}, "action": {"body": "new"}, "times": 1})"));
  EXPECT_EQ(table.peek("http://a/api/x", "GET")->action.fulfil->body, "new");
  EXPECT_EQ(table.take("http://a/api/x", "GET")->action.fulfil->body, "new");
  EXPECT_EQ(table.take("http://a/api/x", "GET")->action.fulfil->body, "old");
  EXPECT_EQ(table.take("http://a/other", "GET"), nullptr);
  EXPECT_EQ(table.remove(UrlPattern::from_json(boost::json::parse(R"({"glob":"**/api/*"})"), "p").key()), 1u);
  EXPECT_EQ(table.take("http://a/api/y", "GET"), nullptr);
  table.clear();
  EXPECT_TRUE(table.empty());
}

// The event loops match requests side by side: a rule with `times` still
// answers exactly that many, and rules added or removed meanwhile leave
// every match whole.
TEST(RouteTable, TimesHoldWhenLoopsTakeAtOnce) {
  RouteTable table;
  table.add(read_route_rule(R"({"pattern": {"glob": "**/api/*"}, "action": {"body": "fallback"}})"));
  table.add(read_route_rule(R"({"pattern": {"glob": "**/api/x"}, "action": {"body": "limited"}, "times": 500})"));
  std::atomic<int> limited{0};
  std::atomic<int> fallback{0};
  std::vector<std::thread> loops;
  for (int t = 0; t < 4; ++t) {
    loops.emplace_back([&] {
      for (int i = 0; i < 1000; ++i) {
        const auto rule = table.take("http://a/api/x", "GET");
        ASSERT_NE(rule, nullptr);
        ++(rule->action.fulfil->body == "limited" ? limited : fallback);
      }
    });
  }
  loops.emplace_back([&] {
    for (int i = 0; i < 200; ++i) {
      table.add(read_route_rule(R"({"pattern": {"glob": "**/elsewhere"}, "action": {"status": 404}})"));
      table.remove(UrlPattern::from_json(boost::json::parse(R"({"glob":"**/elsewhere"})"), "p").key());
    }
  });
  for (auto& loop : loops) loop.join();
  EXPECT_EQ(limited.load(), 500);
  EXPECT_EQ(fallback.load(), 3500);
  EXPECT_EQ(table.size(), 2u);
}

// A glob's text must be in the URL, wherever the stars put it.
TEST(RouteTable, GlobTextsAreFoundAnywhereTheStarsAllow) {
  RouteTable table;
  table.add(read_route_rule(R"({"pattern": {"glob": "**/none7/*"}, "action": {"status": 404}})"));
  table.add(read_route_rule(R"({"pattern": {"glob": "127.0.0.1:*/a?c"}, "action": {"status": 410}})"));
  EXPECT_EQ(table.take("http://127.0.0.1:8080/1k", "GET"), nullptr);
  EXPECT_EQ(table.take("http://127.0.0.1:8080/none7/x", "GET")->action.fulfil->status, 404);
  EXPECT_EQ(table.take("https://127.0.0.1:8443/abc", "GET")->action.fulfil->status, 410);
  EXPECT_EQ(table.take("https://127.0.0.1:8443/x/abc", "GET"), nullptr);
}

}  // namespace
}  // namespace Tavrin::Proxy::Network
