// Matching a run's requests against an archive's entries: the URL and its
// query in any order, ignoreQuery, the page's own header fields and
// ignoreHeaders, bodies exact, as JSON and as multipart parts, repeats in
// recorded order, and the options refused when they are none of the above.
#include "proxy/network/har_replay.h"

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

#include "proxy/network/route_rule.h"
#include "proxy/network/url_pattern.h"

namespace Tavrin::Proxy::Network {
namespace {

HarEntry entry(std::string method, std::string url, std::string answer, std::optional<std::string> body = "",
               Fields headers = {}) {
  HarEntry out;
  out.method = std::move(method);
  out.url = std::move(url);
  out.post_data = std::move(body);
  out.headers = std::move(headers);
  out.status = 200;
  out.response_headers = {{"content-type", "text/plain"}, {"content-length", "99"}, {"content-encoding", "gzip"}};
  out.body = std::move(answer);
  return out;
}

HarOptions options(const std::string& json) { return read_har_options(boost::json::parse(json)); }

// The body of the answer, or "none".
std::string ask(HarReplay& replay, const std::string& method, const std::string& url, const std::string& body = "",
                const Fields& headers = {}) {
  const auto answer = replay.answer(method, url, headers, body);
  return answer ? answer->body : "none";
}

TEST(HarReplay, UrlAndQueryInAnyOrder) {
  HarReplay replay({entry("GET", "http://A.test:80/list?b=2&a=1&a=0#top", "list"),
                    entry("GET", "https://a.test/q?text=a%20b", "found")},
                   {}, "x.har");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/list?a=1&b=2&a=0"), "list");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/list?a=0&a=1&b=2"), "list");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/list?a=1&b=2"), "none") << "a parameter missing";
  EXPECT_EQ(ask(replay, "GET", "http://a.test/list?a=1&b=3&a=0"), "none") << "a value changed";
  EXPECT_EQ(ask(replay, "POST", "http://a.test/list?b=2&a=1&a=0"), "none") << "another method";
  EXPECT_EQ(ask(replay, "GET", "http://a.test/list/?b=2&a=1&a=0"), "none") << "another path";
  EXPECT_EQ(ask(replay, "GET", "https://a.test:443/q?text=a+b"), "found") << "decoded alike, default port";
  EXPECT_EQ(ask(replay, "GET", "http://a.test/q?text=a+b"), "none") << "another scheme";
  EXPECT_TRUE(replay.knows("GET", "https://a.test/q"));
  EXPECT_FALSE(replay.knows("PUT", "https://a.test/q"));
}

TEST(HarReplay, IgnoreQueryLeavesNamesOrAllOut) {
  const auto entries = [] { return std::vector<HarEntry>{entry("GET", "http://a.test/list?page=2&t=111", "page 2")}; };
  HarReplay strict(entries(), {}, "x.har");
  EXPECT_EQ(ask(strict, "GET", "http://a.test/list?page=2&t=222"), "none");
  HarReplay named(entries(), options(R"({"ignoreQuery": ["t"]})"), "x.har");
  EXPECT_EQ(ask(named, "GET", "http://a.test/list?t=222&page=2"), "page 2");
  EXPECT_EQ(ask(named, "GET", "http://a.test/list?page=2"), "page 2");
  EXPECT_EQ(ask(named, "GET", "http://a.test/list?page=3&t=111"), "none");
  HarReplay all(entries(), options(R"({"ignoreQuery": true})"), "x.har");
  EXPECT_EQ(ask(all, "GET", "http://a.test/list?page=9"), "page 2");
  EXPECT_EQ(ask(all, "GET", "http://a.test/other?page=2"), "none") << "the path still counts";
}

TEST(HarReplay, HeadersThePageSetCountTheBrowsersOwnDoNot) {
  const auto entries = [] {
    return std::vector<HarEntry>{
        entry("GET", "http://a.test/me", "ann", "", {{"authorization", "Bearer ann"}, {"user-agent", "Chrome"},
                                                     {"cookie", "s=1"}, {"sec-fetch-mode", "cors"}}),
        entry("GET", "http://a.test/me", "bob", "", {{"authorization", "Bearer bob"}})};
  };
  HarReplay replay(entries(), {}, "x.har");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/me", "", {{"authorization", "Bearer bob"}, {"user-agent", "Firefox"}}),
            "bob");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/me", "", {{"authorization", "Bearer ann"}}), "ann")
      << "user agent, cookie and sec-* are the browser's";
  EXPECT_EQ(ask(replay, "GET", "http://a.test/me", "", {{"authorization", "Bearer eve"}}), "none");
  HarReplay ignoring(entries(), options(R"({"ignoreHeaders": ["Authorization"]})"), "x.har");
  EXPECT_EQ(ask(ignoring, "GET", "http://a.test/me", "", {}), "ann");
  HarReplay all(entries(), options(R"({"ignoreHeaders": true})"), "x.har");
  EXPECT_EQ(ask(all, "GET", "http://a.test/me", "", {{"authorization", "Bearer eve"}}), "ann");
}

TEST(HarReplay, BodiesExactAsJsonOrIgnored) {
  const auto entries = [] {
    return std::vector<HarEntry>{entry("POST", "http://a.test/save", "saved a", R"({"a": 1, "b": [true, null]})"),
                                 entry("POST", "http://a.test/save", "saved text", "plain"),
                                 entry("POST", "http://a.test/any", "unknown body", std::nullopt)};
  };
  HarReplay exact(entries(), {}, "x.har");
  EXPECT_EQ(ask(exact, "POST", "http://a.test/save", R"({"a": 1, "b": [true, null]})"), "saved a");
  EXPECT_EQ(ask(exact, "POST", "http://a.test/save", R"({"b":[true,null],"a":1})"), "none") << "bytes differ";
  EXPECT_EQ(ask(exact, "POST", "http://a.test/save", "plain"), "saved text");
  EXPECT_EQ(ask(exact, "POST", "http://a.test/save", ""), "none");
  EXPECT_EQ(ask(exact, "POST", "http://a.test/any", "whatever"), "unknown body") << "a body left out takes any";
  HarReplay json(entries(), options(R"({"body": "json"})"), "x.har");
  EXPECT_EQ(ask(json, "POST", "http://a.test/save", R"({"b":[true,null],"a":1.0})"), "saved a");
  EXPECT_EQ(ask(json, "POST", "http://a.test/save", R"({"b":[null,true],"a":1})"), "none") << "list order counts";
  EXPECT_EQ(ask(json, "POST", "http://a.test/save", R"({"a":1,"b":[true,null],"c":0})"), "none");
  EXPECT_EQ(ask(json, "POST", "http://a.test/save", "plain"), "saved text") << "no JSON: compared as bytes";
  HarReplay ignore(entries(), options(R"({"body": "ignore"})"), "x.har");
  EXPECT_EQ(ask(ignore, "POST", "http://a.test/save", "anything"), "saved a");
}

std::string multipart(const std::string& boundary, const std::string& name, const std::string& file) {
  return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"title\"\r\n\r\n" + name + "\r\n--" + boundary +
         "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.txt\"\r\nContent-Type: text/plain\r\n\r\n" +
         file + "\r\n--" + boundary + "--\r\n";
}

TEST(HarReplay, MultipartBodiesCompareTheirPartsNotTheBoundary) {
  const Fields recorded_type{{"content-type", "multipart/form-data; boundary=----Chrome123"}};
  HarReplay replay({entry("POST", "http://a.test/up", "uploaded", multipart("----Chrome123", "x", "one\r\ntwo"),
                          recorded_type)},
                   {}, "x.har");
  const Fields type{{"content-type", "multipart/form-data; boundary=---------------------------9051914041544"}};
  EXPECT_EQ(ask(replay, "POST", "http://a.test/up", multipart("---------------------------9051914041544", "x", "one\r\ntwo"),
                type),
            "uploaded");
  EXPECT_EQ(ask(replay, "POST", "http://a.test/up", multipart("zzz", "x", "one\r\nTWO"), type), "none")
      << "a part's content differs";
  EXPECT_EQ(ask(replay, "POST", "http://a.test/up", multipart("zzz", "y", "one\r\ntwo"), type), "none");
  EXPECT_EQ(ask(replay, "POST", "http://a.test/up", multipart("zzz", "x", "one\r\ntwo"),
                {{"content-type", "text/plain"}}),
            "none")
      << "another media type";
  EXPECT_EQ(same_parts("--a\r\n\r\nx\r\n--a--", "--b\r\n\r\nx\r\n--b--"), true);
  EXPECT_EQ(same_parts("--a\r\n\r\nx\r\n--a--", "not multipart"), std::nullopt);
  EXPECT_EQ(same_parts("--a\r\n\r\nx\r\n--a\r\n\r\ny\r\n--a--", "--b\r\n\r\nx\r\n--b--"), false) << "a part more";
}

TEST(HarReplay, RepeatsGetTheEntriesInRecordedOrderThenTheLast) {
  HarReplay replay({entry("GET", "http://a.test/n", "1"), entry("GET", "http://a.test/other", "o"),
                    entry("GET", "http://a.test/n", "2"), entry("GET", "http://a.test/n", "3")},
                   {}, "x.har");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/n"), "1");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/n"), "2");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/other"), "o");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/n"), "3");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/n"), "3");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/other"), "o");
}

TEST(HarReplay, AnswersWithoutTheFramingAndFailuresAsRecorded) {
  HarEntry failed = entry("GET", "http://a.test/gone", "");
  failed.status = 0;
  failed.failure = "empty";
  HarEntry changed = entry("GET", "http://a.test/etag", "fresh");
  HarEntry revalidated = entry("GET", "http://a.test/etag", "");
  revalidated.status = 304;
  HarReplay replay({entry("GET", "http://a.test/a", "text"), failed, revalidated, changed}, {}, "x.har");
  const auto answer = replay.answer("GET", "http://a.test/a", {}, "");
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->headers, (Fields{{"content-type", "text/plain"}})) << "length and encoding are set anew";
  const auto gone = replay.answer("GET", "http://a.test/gone", {}, "");
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->status, 0);
  EXPECT_EQ(gone->failure, "empty");
  EXPECT_EQ(ask(replay, "GET", "http://a.test/etag"), "fresh") << "a 304 answers only a conditional request";
  EXPECT_EQ(replay.answer("GET", "http://a.test/etag", {{"if-none-match", "\"1\""}}, "")->status, 304);
}

std::string option_fault(const std::string& json) {
  try {
    options(json);
  } catch (const BadInput& e) {
    return e.what();
  }
  return "accepted";
}

TEST(HarReplay, OptionsThatAreNoneOfTheAboveAreRefused) {
  EXPECT_EQ(option_fault(R"({"body": "loose"})"),
            R"(routeFromHar(): the options.body "loose" is not one of exact, ignore, json)");
  EXPECT_EQ(option_fault(R"({"notFound": "continue"})"),
            R"(routeFromHar(): the options.notFound "continue" is not one of abort, fallback)");
  EXPECT_EQ(option_fault(R"({"ignoreQuery": "t"})"), "routeFromHar(): the options.ignoreQuery is not true or a list of names");
  EXPECT_EQ(option_fault(R"({"ignoreHeaders": [1]})"), "routeFromHar(): the options.ignoreHeaders holds 1, not a name");
  EXPECT_EQ(option_fault(R"({"notfound": "abort"})"), R"(routeFromHar(): the options have an unknown key "notfound")");
  EXPECT_TRUE(options(R"({"notFound": "fallback"})").fallback);
  // Through a rule: the fault refuses the rule whole.
  EXPECT_THROW(read_route_rule(R"({"pattern": {"glob": "**"}, "har": {"file": "/no/such.har"}})"), BadInput);
}

}  // namespace
}  // namespace Tavrin::Proxy::Network
