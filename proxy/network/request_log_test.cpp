// A run's request log: bounded, selected by pattern, start time and end,
// and a query that waits for the request it asks for.
#include "proxy/network/request_log.h"

#include <thread>

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace Tavrin::Proxy::Network {
namespace {

namespace json = boost::json;

TEST(RequestLog, KeepsTheNewestWithBoundedBodies) {
  RequestLog log(LogLimits{3, 4});
  for (int i = 0; i < 5; ++i) log.begin("http://a/" + std::to_string(i), "GET", {});
  const json::array all = json::parse(log.select(R"({})")).as_array();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].at("url"), "http://a/2");
  std::string body;
  bool cut = false;
  log.keep_body(body, cut, "abcdef");
  EXPECT_EQ(body, "abcd");
  EXPECT_TRUE(cut);
}

// The fields a script reads, filled in as the exchange goes; a query for
// ended requests sees one only once its answer has ended.
TEST(RequestLog, SelectsByPatternAndEnd) {
  RequestLog log;
  const auto post = log.begin("http://a/api/todos", "POST", {{"content-type", "application/json"}});
  log.begin("http://a/app.js", "GET", {});
  log.update(post, [](LoggedRequest& r) {
    r.post_data = R"({"title":"x"})";
    r.status = 201;
    r.response_headers = {{"x-b", "1"}, {"x-b", "2"}};
  });
  const char* query = R"({"pattern": {"glob": "**/api/*", "method": "POST"}, "ended": true})";
  EXPECT_EQ(json::parse(log.select(query)).as_array().size(), 0u);
  log.end(post);
  const json::array found = json::parse(log.select(query)).as_array();
  ASSERT_EQ(found.size(), 1u);
  const json::object& r = found[0].as_object();
  EXPECT_EQ(r.at("postData"), R"({"title":"x"})");
  EXPECT_EQ(r.at("status"), 201);
  EXPECT_EQ(r.at("headers").at("content-type"), "application/json");
  EXPECT_EQ(r.at("responseHeaders").at("x-b"), "1, 2");
  EXPECT_TRUE(r.at("routed").is_null());
  EXPECT_TRUE(r.at("failure").is_null());
  EXPECT_GT(r.at("timing").at("start").as_double(), 0);

  const double later = r.at("timing").at("start").as_double() + 60000;
  EXPECT_EQ(json::parse(log.select(R"({"since": )" + std::to_string(later) + "}")).as_array().size(), 0u);
}

// A waiting query returns as soon as a matching request comes, and empty
// at its limit.
TEST(RequestLog, WaitingQueryWakesForItsRequest) {
  RequestLog log;
  std::thread later([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    log.begin("http://a/other", "GET", {});
    log.begin("http://a/wanted", "GET", {});
  });
  const auto started = std::chrono::steady_clock::now();
  const json::array found =
      json::parse(log.select(R"({"pattern": {"glob": "**/wanted"}, "wait": 10000, "first": true})")).as_array();
  later.join();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(9));
  EXPECT_EQ(json::parse(log.select(R"({"pattern": {"glob": "**/none"}, "wait": 30})")).as_array().size(), 0u);
  EXPECT_THROW(log.select("[1]"), BadInput);
}

}  // namespace
}  // namespace Tavrin::Proxy::Network
