// The archive of a run's requests against HAR 1.2's required fields, field
// by field, and its three ways with bodies.
#include "proxy/network/har_writer.h"

#include <fstream>
#include <iterator>

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

#include "proxy/network/testing/har_check.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Network {
namespace {

namespace json = boost::json;

std::vector<LoggedRequest> sample() {
  LoggedRequest post;
  post.url = "http://a.test/api/items?x=1&y=two";
  post.method = "POST";
  post.headers = {{"content-type", "application/json"}, {"cookie", "s=1; t=2"}};
  post.post_data = R"({"name":"x"})";
  post.status = 201;
  post.response_headers = {{"content-type", "application/json"}, {"set-cookie", "u=3; Path=/"}};
  post.response_body = R"({"id":1})";
  post.upstream_version = "HTTP/1.1";
  post.started = std::chrono::system_clock::time_point(std::chrono::milliseconds(1765300000123));
  post.dns = 1;
  post.connect = 2;
  post.blocked = 0.5;
  post.sent = 3.5;
  post.sent_whole = 4;
  post.first = 10;
  post.done = 12;
  post.ended = true;
  LoggedRequest image = post;
  image.url = "http://a.test/logo.png";
  image.method = "GET";
  image.post_data.reset();
  image.headers = {};
  image.response_headers = {{"content-type", "image/png"}};
  image.response_body = std::string("\x89PNG\r\n\x1a\n\xff", 9);
  LoggedRequest failed = image;
  failed.url = "http://a.test/api/fail";
  failed.status = 0;
  failed.response_headers = {};
  failed.response_body.clear();
  failed.failure = "reset";
  failed.first = failed.done = -1;
  return {post, image, failed};
}

TEST(HarWriter, RequiredFieldsAndMeasuredTimes) {
  const json::value har = json::parse(har_text(sample(), HarContent::kEmbed));
  Testing::expect_har_1_2(har);
  const json::array& entries = har.at("log").at("entries").as_array();
  ASSERT_EQ(entries.size(), 3u);
  const json::object& post = entries[0].as_object();
  EXPECT_EQ(post.at("startedDateTime"), "2025-12-09T17:06:40.123Z");
  EXPECT_EQ(post.at("request").at("queryString").at(1).at("value"), "two");
  EXPECT_EQ(post.at("request").at("cookies").at(1).at("name"), "t");
  EXPECT_EQ(post.at("request").at("postData").at("text"), R"({"name":"x"})");
  EXPECT_EQ(post.at("response").at("statusText"), "Created");
  EXPECT_EQ(post.at("response").at("cookies").at(0).at("value"), "3");
  EXPECT_EQ(post.at("timings").at("dns"), 1.0);
  EXPECT_EQ(post.at("timings").at("ssl"), -1.0);
  EXPECT_EQ(post.at("timings").at("send"), 0.5);
  EXPECT_EQ(post.at("timings").at("wait"), 6.0);
  EXPECT_EQ(post.at("timings").at("receive"), 2.0);
  EXPECT_EQ(post.at("time"), 12.0);
  // Binary as base64; a failure as status 0 with the kind.
  EXPECT_EQ(entries[1].at("response").at("content").at("encoding"), "base64");
  EXPECT_EQ(entries[1].at("response").at("content").at("text"), "iVBORw0KGgr/");
  EXPECT_EQ(entries[2].at("response").at("status"), 0);
  EXPECT_EQ(entries[2].at("_error"), "reset");
}

TEST(HarWriter, BodiesOmittedOrAttached) {
  const json::value omitted = json::parse(har_text(sample(), HarContent::kOmit));
  Testing::expect_har_1_2(omitted);
  EXPECT_FALSE(omitted.at("log").at("entries").at(0).at("response").at("content").as_object().contains("text"));
  EXPECT_EQ(omitted.at("log").at("entries").at(0).at("response").at("content").at("size"), 8);

  quorvane_test::TempDir dir;
  write_har(sample(), dir.file("run/traffic.har"), HarContent::kAttach);
  std::ifstream in(dir.file("run/traffic.har"));
  const json::value attached = json::parse(std::string(std::istreambuf_iterator<char>(in), {}));
  Testing::expect_har_1_2(attached);
  const std::string file(attached.at("log").at("entries").at(1).at("response").at("content").at("_file").as_string());
  EXPECT_EQ(file, "traffic_files/3.body");
  std::ifstream body(dir.file("run/" + file), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(body), {}), std::string("\x89PNG\r\n\x1a\n\xff", 9));
  EXPECT_EQ(har_content_from("embed"), HarContent::kEmbed);
  EXPECT_EQ(har_content_from("inline"), std::nullopt);
}

}  // namespace
}  // namespace Tavrin::Proxy::Network
