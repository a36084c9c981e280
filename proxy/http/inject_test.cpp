// Injection over real traffic: documents get the agent whatever coding the
// origin sends, never from a cache, with their policy still in force;
// other answers pass untouched.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "proxy/http/testing/coded_bodies.h"
#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

const char kPage[] = "<!DOCTYPE html><html><head><title>t</title></head><body>page</body></html>";
const std::vector<std::string> kAsDocument = {"-H", "Accept: text/html,application/xhtml+xml"};

Reply page(const std::string& body, const std::string& type = "text/html; charset=utf-8") {
  Reply reply;
  reply.fields = {{"Content-Type", type}, {"ETag", "\"v1\""}, {"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}};
  reply.body = body;
  return reply;
}

class InjectTest : public ProxyFixture {
 protected:
  std::string url(const TestOrigin& origin, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(origin.port()) + path;
  }
  CurlResult get(const std::string& address, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = kAsDocument;
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(address);
    return curl(args);
  }
};

// A document gets the agent's element right after <head>, a new length, no
// validators and no-store; the origin was asked for an identity body and
// without conditions.
TEST_F(InjectTest, DocumentGetsTheAgentAndIsNeverCached) {
  TestOrigin origin([](const SeenRequest&) { return page(kPage); });
  start_proxy();
  const CurlResult result = get(url(origin, "/"), {"-H", "If-None-Match: \"v1\"", "-H",
                                                   "If-Modified-Since: Mon, 01 Jan 2024 00:00:00 GMT", "-H",
                                                   "Accept-Encoding: gzip, br"});
  const std::string expected = std::string(kPage).insert(std::string(kPage).find("<head>") + 6, agent_element());
  EXPECT_EQ(result.body, expected);
  EXPECT_EQ(result.field("Content-Length"), std::to_string(expected.size()));
  EXPECT_EQ(result.field("Cache-Control"), "no-store");
  EXPECT_EQ(result.field("ETag"), "");
  EXPECT_EQ(result.field("Last-Modified"), "");
  const SeenRequest seen = origin.requests().at(0);
  EXPECT_FALSE(seen.has("If-None-Match"));
  EXPECT_FALSE(seen.has("If-Modified-Since"));
  EXPECT_EQ(seen.field("Accept-Encoding"), "identity");
  // The agent itself comes from the package on the page's own origin.
  const CurlResult agent = curl({url(origin, "/quorvane/special/file/api.js")});
  EXPECT_EQ(agent.body, kAgentSource);
  EXPECT_EQ(agent.field("Content-Type"), "text/javascript");
  EXPECT_EQ(origin.requests().size(), 1u);
}

// Compressed pages that arrive anyway are decoded and sent uncompressed.
TEST_F(InjectTest, GzipAndBrotliPagesAreDecodedAndInjected) {
  TestOrigin origin([](const SeenRequest& r) {
    Reply reply = page(r.target == "/gz" ? gzip(kPage) : brotli(kPage));
    reply.fields.emplace_back("Content-Encoding", r.target == "/gz" ? "gzip" : "br");
    reply.chunked = r.target == "/br";
    return reply;
  });
  start_proxy();
  for (const char* path : {"/gz", "/br"}) {
    const CurlResult result = get(url(origin, path));
    EXPECT_NE(result.body.find("<head>" + agent_element()), std::string::npos) << path;
    EXPECT_EQ(result.body.find("<!DOCTYPE html>"), 0u) << path;
    EXPECT_EQ(result.field("Content-Encoding"), "") << path;
    EXPECT_EQ(result.field("Content-Length"), std::to_string(result.body.size())) << path;
  }
}

// Answers that are no documents, or no HTML, or not to be shown, pass as
// they came.
TEST_F(InjectTest, OnlyDocumentsAreInjected) {
  TestOrigin origin([](const SeenRequest& r) {
    if (r.target == "/json") return page("{\"a\":\"</head>\"}", "application/json");
    if (r.target == "/attachment") {
      Reply reply = page(kPage);
      reply.fields.emplace_back("Content-Disposition", "attachment; filename=a.html");
      return reply;
    }
    if (r.target == "/redirect") {
      Reply reply = page(kPage);
      reply.status = 302;
      reply.fields.emplace_back("Location", "/");
      return reply;
    }
    if (r.target == "/missing") {
      Reply reply = page(kPage);
      reply.status = 404;
      return reply;
    }
    return page(kPage);
  });
  start_proxy();
  EXPECT_EQ(get(url(origin, "/json")).body, "{\"a\":\"</head>\"}");
  EXPECT_EQ(get(url(origin, "/attachment")).body, kPage);
  EXPECT_EQ(get(url(origin, "/redirect")).body, kPage);
  EXPECT_NE(get(url(origin, "/missing")).body.find(agent_element()), std::string::npos);
  EXPECT_EQ(curl({"-H", "Accept: */*", url(origin, "/")}).body, kPage);
  EXPECT_EQ(get(url(origin, "/"), {"-H", "Sec-Fetch-Dest: script"}).body, kPage);
  EXPECT_EQ(get(url(origin, "/"), {"-H", "X-Requested-With: XMLHttpRequest"}).body, kPage);
  EXPECT_NE(curl({"-H", "Sec-Fetch-Dest: iframe", url(origin, "/")}).body.find(agent_element()), std::string::npos);
}

// Every policy header lets scripts with the page's nonce run, and the
// agent's element carries that nonce; the rest of the policy stays.
TEST_F(InjectTest, ContentSecurityPolicyAllowsTheAgent) {
  TestOrigin origin([](const SeenRequest&) {
    Reply reply = page(kPage);
    reply.fields.emplace_back("Content-Security-Policy", "default-src 'self'; script-src 'none'; img-src *");
    reply.fields.emplace_back("Content-Security-Policy", "default-src https://cdn.test");
    return reply;
  });
  start_proxy();
  const CurlResult result = get(url(origin, "/"));
  const std::size_t at = result.body.find("nonce=\"");
  ASSERT_NE(at, std::string::npos) << result.body;
  const std::string nonce = result.body.substr(at + 7, result.body.find('"', at + 7) - at - 7);
  EXPECT_EQ(nonce.size(), 24u);
  EXPECT_NE(result.headers.find("Content-Security-Policy: default-src 'self'; script-src 'nonce-" + nonce +
                                "'; img-src *"),
            std::string::npos)
      << result.headers;
  EXPECT_NE(result.headers.find("Content-Security-Policy: default-src https://cdn.test 'nonce-" + nonce + "'"),
            std::string::npos)
      << result.headers;
}

// An XHTML page stays well-formed XML after injection.
TEST_F(InjectTest, XhtmlStaysWellFormed) {
  const std::string xhtml =
      "<?xml version=\"1.0\"?><html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>x</title></head>"
      "<body><p>x</p></body></html>";
  TestOrigin origin([&](const SeenRequest&) { return page(xhtml, "application/xhtml+xml"); });
  start_proxy();
  const CurlResult result = get(url(origin, "/"));
  EXPECT_NE(result.body.find(agent_element()), std::string::npos);
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(result.body.c_str())) << result.body;
}

// A page above the cap passes unchanged, headers and all, with a note.
TEST_F(InjectTest, PageAboveTheCapPassesUnchanged) {
  const std::string big = "<html><head></head><body>" + std::string(5000, 'x') + "</body></html>";
  TestOrigin origin([&](const SeenRequest&) {
    Reply reply = page(big);
    reply.chunked = true;
    return reply;
  });
  ProxySettings settings = default_settings();
  settings.inject_max_bytes = 1000;
  start_proxy(settings);
  const CurlResult result = get(url(origin, "/"));
  EXPECT_TRUE(result.body == big) << result.body.size();
  EXPECT_EQ(result.field("ETag"), "\"v1\"");
  ASSERT_FALSE(notes_.empty());
  EXPECT_NE(notes_.back().find("larger than 1000 bytes"), std::string::npos);
}

// A package rebuilt on disk is served without a restart, and pages ask
// for its files at a new address: a browser that kept the old files does
// not run them.
TEST_F(InjectTest, PackageIsReloadedWhenItChanges) {
  TestOrigin origin([](const SeenRequest&) { return page(kPage); });
  start_proxy();
  const std::string before = package_version();
  ASSERT_EQ(before.size(), 16u);
  EXPECT_EQ(curl({"http://any.host.test/quorvane/special/file/api.js?v=" + before}).body, kAgentSource);
  EXPECT_EQ(curl({"http://any.host.test/quorvane/special/file/none.js"}).status, 404u);
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  write_package("window.quorvaneAgent = 2;");
  std::filesystem::last_write_time(package_, std::filesystem::file_time_type::clock::now() + std::chrono::seconds(5));
  EXPECT_EQ(curl({"http://any.host.test/quorvane/special/file/api.js"}).body, "window.quorvaneAgent = 2;");
  const std::string after = package_version();
  EXPECT_NE(after, before);
  const std::string document = get(url(origin, "/")).body;
  EXPECT_NE(document.find("api.js?v=" + after + "\""), std::string::npos) << document;
  // The old address still gets the file, but not to keep.
  const CurlResult old = curl({"http://any.host.test/quorvane/special/file/api.js?v=" + before});
  EXPECT_EQ(old.body, "window.quorvaneAgent = 2;");
  EXPECT_EQ(old.field("Cache-Control"), "no-store");
}

// The browser may keep a package file asked for at the address pages are
// given; at any other address it is never kept.
TEST_F(InjectTest, PackageFilesAreKeptOnlyAtTheVersionedAddress) {
  start_proxy();
  const std::string file = "http://any.host.test/quorvane/special/file/api.js";
  const CurlResult versioned = curl({file + "?v=" + package_version()});
  EXPECT_EQ(versioned.body, kAgentSource);
  EXPECT_EQ(versioned.field("Cache-Control"), "private, max-age=31536000, immutable");
  for (const std::string& other : {file, file + "?v=0123456789abcdef", file + "?v=" + package_version() + "&x=1"}) {
    const CurlResult answer = curl({other});
    EXPECT_EQ(answer.body, kAgentSource) << other;
    EXPECT_EQ(answer.field("Cache-Control"), "no-store") << other;
  }
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
