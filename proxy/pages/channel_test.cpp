// The pages' command channel over HTTP: only requests that carry the
// server's secret and come from the page's own origin reach the registry;
// a command put in reaches the page's held poll, and its answer comes back
// with the command.
#include <future>

#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/pages/page_registry.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

constexpr const char kSecret[] = "0123456789abcdef0123456789abcdef";

class ChannelTest : public ProxyFixture {
 protected:
  void SetUp() override {
    quorvane_test::write_file(dir() + "/index.html", "<html><head></head><body>x</body></html>");
    ProxySettings settings = default_settings();
    settings.sites["app.test"] = dir();
    settings.pages = pages_;
    settings.channel_secret = kSecret;
    start_proxy(settings);
  }

  CurlResult post(const std::string& path, const std::string& body, const std::string& origin = "http://app.test") {
    return curl({"-s", "-X", "POST", "-H", "Origin: " + origin, "--data-binary", body, "http://app.test" + path});
  }

  std::shared_ptr<PageRegistry> pages_ = std::make_shared<PageRegistry>();
};

// The injected script's address carries the secret behind "#".
TEST_F(ChannelTest, InjectedPagesCarryTheSecret) {
  const CurlResult page = curl({"-s", "-H", "Sec-Fetch-Dest: document", "http://app.test/index.html"});
  EXPECT_NE(page.body.find(std::string("/quorvane/special/file/api.js#") + kSecret + "\""), std::string::npos)
      << page.body;
}

// Without the secret, with a wrong one, or from another origin: refused,
// and no page is registered.
TEST_F(ChannelTest, RequestsWithoutTheSecretAreRefused) {
  const std::string body = R"({"page":"p1","url":"http://app.test/","title":"A"})";
  EXPECT_EQ(post("/quorvane/special/channel/", body).status, 403u);
  EXPECT_EQ(post("/quorvane/special/channel/0123456789abcdef0123456789abcdee", body).status, 403u);
  EXPECT_EQ(post(std::string("/quorvane/special/channel/") + kSecret + "0", body).status, 403u);
  EXPECT_EQ(post(std::string("/quorvane/special/channel/") + kSecret, body, "http://evil.test").status, 403u);
  EXPECT_EQ(pages_->page_count(), 0u);
}

// A poll with the secret registers the page; a command sent meanwhile is
// handed to the held poll, and the next poll's answer completes it.
TEST_F(ChannelTest, CommandReachesTheHeldPollAndItsAnswerComesBack) {
  const std::string path = std::string("/quorvane/special/channel/") + kSecret;
  std::future<CurlResult> held = std::async(std::launch::async, [&] {
    return post(path, R"({"page":"p1","url":"http://app.test/","title":"A","top":true})");
  });
  std::future<CommandAnswer> answer =
      std::async(std::launch::async, [&] { return pages_->run(LR"({"id":"c1","op":"eval","expression":"1"})"); });
  const CurlResult command = held.get();
  EXPECT_EQ(command.status, 200u);
  EXPECT_NE(command.body.find("\"c1\""), std::string::npos) << command.body;
  std::future<CurlResult> next = std::async(std::launch::async, [&] {
    return post(path, R"({"page":"p1","url":"http://app.test/","title":"A","answer":{"id":"c1","ok":true,"value":1}})");
  });
  const CommandAnswer got = answer.get();
  EXPECT_EQ(got.page, L"p1");
  EXPECT_EQ(got.title, L"A");
  EXPECT_NE(got.text.find(L"\"value\":1"), std::wstring::npos);
  pages_->gone("p1");  // ends the next poll's hold soon enough for the test
  next.wait();
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
