// A check, for tests, that a JSON value is an HTTP Archive as HAR 1.2
// requires it: every required field of the log, of each entry, its
// request, response, content, cache and timings, with the type it must
// have.
#ifndef QUORVANE_PROXY_NETWORK_TESTING_HAR_CHECK_H_
#define QUORVANE_PROXY_NETWORK_TESTING_HAR_CHECK_H_

#include <string>

#include <boost/json/value.hpp>
#include <gtest/gtest.h>

namespace Tavrin::Proxy::Network::Testing {

inline void expect_name_values(const boost::json::value& list, const char* where) {
  ASSERT_TRUE(list.is_array()) << where;
  for (const auto& item : list.as_array()) {
    EXPECT_TRUE(item.at("name").is_string()) << where;
    EXPECT_TRUE(item.at("value").is_string()) << where;
  }
}

// Every field HAR 1.2 requires, of the log, of each entry, its request,
// response, content, cache and timings, with the type it must have.
inline void expect_har_1_2(const boost::json::value& har) {
  const boost::json::object& log = har.at("log").as_object();
  EXPECT_EQ(log.at("version"), "1.2");
  EXPECT_TRUE(log.at("creator").at("name").is_string());
  EXPECT_TRUE(log.at("creator").at("version").is_string());
  ASSERT_TRUE(log.at("entries").is_array());
  for (const auto& e : log.at("entries").as_array()) {
    const std::string started(e.at("startedDateTime").as_string());
    EXPECT_EQ(started.size(), 24u) << started;  // 2025-12-09T17:06:40.123Z
    EXPECT_EQ(started.back(), 'Z');
    EXPECT_TRUE(e.at("time").is_number());
    const boost::json::object& request = e.at("request").as_object();
    EXPECT_TRUE(request.at("method").is_string());
    EXPECT_TRUE(request.at("url").is_string());
    EXPECT_TRUE(request.at("httpVersion").is_string());
    expect_name_values(request.at("cookies"), "request cookies");
    expect_name_values(request.at("headers"), "request headers");
    expect_name_values(request.at("queryString"), "query");
    EXPECT_TRUE(request.at("headersSize").is_int64());
    EXPECT_TRUE(request.at("bodySize").is_int64());
    if (request.contains("postData")) {
      EXPECT_TRUE(request.at("postData").at("mimeType").is_string());
    }
    const boost::json::object& response = e.at("response").as_object();
    EXPECT_TRUE(response.at("status").is_int64());
    EXPECT_TRUE(response.at("statusText").is_string());
    EXPECT_TRUE(response.at("httpVersion").is_string());
    expect_name_values(response.at("cookies"), "response cookies");
    expect_name_values(response.at("headers"), "response headers");
    EXPECT_TRUE(response.at("content").at("size").is_int64());
    EXPECT_TRUE(response.at("content").at("mimeType").is_string());
    EXPECT_TRUE(response.at("redirectURL").is_string());
    EXPECT_TRUE(response.at("headersSize").is_int64());
    EXPECT_TRUE(response.at("bodySize").is_int64());
    EXPECT_TRUE(e.at("cache").is_object());
    const boost::json::object& timings = e.at("timings").as_object();
    for (const char* name : {"send", "wait", "receive"}) EXPECT_GE(timings.at(name).as_double(), 0) << name;
    for (const char* name : {"blocked", "dns", "connect", "ssl"}) EXPECT_GE(timings.at(name).as_double(), -1) << name;
  }
}

}  // namespace Tavrin::Proxy::Network::Testing

#endif  // QUORVANE_PROXY_NETWORK_TESTING_HAR_CHECK_H_
