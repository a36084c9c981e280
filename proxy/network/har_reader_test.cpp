// Reading an archive for replay: what the proxy writes reads back, in each
// of its ways with bodies, and every fault names the file and the first
// entry at fault.
#include "proxy/network/har_reader.h"

#include <fstream>

#include <gtest/gtest.h>

#include "proxy/network/har_writer.h"
#include "proxy/network/url_pattern.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Network {
namespace {

std::vector<LoggedRequest> recorded() {
  LoggedRequest post;
  post.url = "http://a.test/api/items?x=1";
  post.method = "POST";
  post.headers = {{"content-type", "application/json"}};
  post.post_data = R"({"name":"x"})";
  post.status = 201;
  post.response_headers = {{"content-type", "application/json"}, {"content-length", "8"}};
  post.response_body = R"({"id":1})";
  post.ended = true;
  LoggedRequest image = post;
  image.url = "http://a.test/logo.png";
  image.method = "GET";
  image.post_data.reset();
  image.response_headers = {{"content-type", "image/png"}};
  image.response_body = std::string("\x89PNG\r\n\x1a\n\0\xff", 10);
  LoggedRequest failed = image;
  failed.url = "http://a.test/gone";
  failed.status = 0;
  failed.response_headers.clear();
  failed.response_body.clear();
  failed.failure = "refused";
  return {post, image, failed};
}

TEST(HarReader, ReadsWhatTheProxyWritesInEachWayWithBodies) {
  quorvane_test::TempDir dir;
  for (const HarContent content : {HarContent::kEmbed, HarContent::kAttach, HarContent::kOmit}) {
    const std::string file = dir.file("run" + std::to_string(static_cast<int>(content)) + ".har");
    write_har(recorded(), file, content);
    const auto entries = read_har_file(file);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].method, "POST");
    EXPECT_EQ(entries[0].url, "http://a.test/api/items?x=1");
    EXPECT_EQ(entries[0].status, 201);
    EXPECT_EQ(entries[0].headers.at(0), (std::pair<std::string, std::string>{"content-type", "application/json"}));
    EXPECT_EQ(entries[0].post_type, "application/json");
    EXPECT_EQ(entries[1].post_data, std::string()) << "no postData: an empty body";
    EXPECT_EQ(entries[2].status, 0);
    EXPECT_EQ(entries[2].failure, "refused");
    if (content == HarContent::kOmit) {
      EXPECT_FALSE(entries[0].post_data) << "a body left out is unknown";
      EXPECT_EQ(entries[0].body, "");
    } else {
      EXPECT_EQ(entries[0].post_data, R"({"name":"x"})");
      EXPECT_EQ(entries[0].body, R"({"id":1})");
      EXPECT_EQ(entries[1].body, recorded()[1].response_body) << "binary bodies whole";
    }
  }
}

std::string fault(const std::string& text, const std::string& file = "/x/run.har") {
  try {
    read_har(text, file);
  } catch (const BadInput& e) {
    return e.what();
  }
  return "accepted";
}

// One entry with a field taken out or changed.
std::string with(const std::string& from, const std::string& to) {
  quorvane_test::TempDir dir;
  write_har({recorded()[0]}, dir.file("one.har"), HarContent::kEmbed);
  std::ifstream in(dir.file("one.har"));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto at = text.find(from);
  if (at == std::string::npos) return "the sample lacks " + from;
  return text.replace(at, from.size(), to);
}

TEST(HarReader, FaultsNameTheFileAndTheFirstEntryAtFault) {
  EXPECT_EQ(fault("{\"log\": ").rfind("routeFromHar(): the HAR /x/run.har is not JSON: ", 0), 0u);
  EXPECT_EQ(fault("[]"), "routeFromHar(): the HAR /x/run.har is not an object");
  EXPECT_EQ(fault("{}"), "routeFromHar(): the HAR /x/run.har: the archive lacks \"log\"");
  EXPECT_EQ(fault(R"({"log": {"version": "1.2", "creator": {}, "entries": {}}})"),
            "routeFromHar(): the HAR /x/run.har: log.entries is not a list");
  EXPECT_EQ(fault(with(R"("url":)", R"("address":)")),
            "routeFromHar(): the HAR /x/run.har: log.entries[0].request lacks \"url\"");
  EXPECT_EQ(fault(with(R"("status":201)", R"("status":"201")")),
            "routeFromHar(): the HAR /x/run.har: log.entries[0].response.status is not a number");
  EXPECT_EQ(fault(with(R"("mimeType":"application/json","params")", R"("params")")),
            "routeFromHar(): the HAR /x/run.har: log.entries[0].request.postData lacks \"mimeType\"");
  EXPECT_EQ(fault(with(R"("timings":{)", R"("timing":{)")),
            "routeFromHar(): the HAR /x/run.har: log.entries[0] lacks \"timings\"");
  EXPECT_EQ(fault(with(R"("name":"content-type")", R"("name":7)")),
            "routeFromHar(): the HAR /x/run.har: log.entries[0].request.headers[0].name is not a text");
  EXPECT_EQ(fault(with(R"("url":"http://a.test)", R"("url":"ftp://a.test)")),
            "routeFromHar(): the HAR /x/run.har: log.entries[0].request.url \"ftp://a.test/api/items?x=1\" is not an "
            "http or https URL");
  // The second entry is at fault, the first is well: the message names it.
  const std::string good = with("", "");
  const auto entries_at = good.find("\"entries\":[") + 11;
  const auto first_end = good.rfind("]}}");
  const std::string first = good.substr(entries_at, first_end - entries_at);
  std::string second = first;
  second.replace(second.find("\"method\":\"POST\","), 16, "");
  const std::string two = good.substr(0, entries_at) + first + "," + second + good.substr(first_end);
  EXPECT_EQ(fault(two), "routeFromHar(): the HAR /x/run.har: log.entries[1].request lacks \"method\"");
}

TEST(HarReader, AttachedBodiesMustBeThere) {
  quorvane_test::TempDir dir;
  const std::string file = dir.file("att.har");
  write_har(recorded(), file, HarContent::kAttach);
  std::filesystem::remove(dir.file("att_files/2.body"));
  try {
    read_har_file(file);
    FAIL() << "accepted";
  } catch (const BadInput& e) {
    EXPECT_NE(std::string(e.what()).find("log.entries[0].response.content._file "), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("att_files/2.body is not there"), std::string::npos) << e.what();
  }
  EXPECT_THROW(read_har_file(dir.file("none.har")), BadInput);
}

}  // namespace
}  // namespace Tavrin::Proxy::Network
