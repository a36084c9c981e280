// A real browser through the proxy: headless Chromium loads a page whose
// policy forbids every script it does not know, and the agent still runs;
// a page that its origin lets be cached still carries the agent when revisited.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace Process = Tavrin::Platform::Process;

class ChromiumTest : public ProxyFixture {
 protected:
  // Loads `url` in headless Chromium through the proxy and returns the
  // document as it stands at the end; nothing when Chromium is missing.
  std::optional<std::string> dump_dom(const std::string& url) {
    Process::StartOptions options;
    options.arguments = {"chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                         "--user-data-dir=" + dir_.file("profile"), "--proxy-server=" + proxy_url(),
                         "--proxy-bypass-list=<-loopback>", "--virtual-time-budget=5000", "--dump-dom", url};
    options.output_file = dir_.file("dom.html");
    options.output = Process::StartOptions::Output::kDiscard;  // its own chatter on standard error
    std::optional<Process::Child> browser;
    try {
      browser.emplace(Process::start(options));
    } catch (const boost::system::system_error& e) {
      if (e.code().value() == ENOENT) return std::nullopt;
      throw;
    }
    // A cold start on a loaded machine is slow; past the bound the browser
    // is killed (with the Child) and the test fails.
    const std::optional<Process::ExitStatus> ended = browser->WaitFor(std::chrono::minutes(3));
    EXPECT_TRUE(ended.has_value()) << "chromium did not finish within three minutes";
    return quorvane_test::read_file(dir_.file("dom.html"));
  }
};

TEST_F(ChromiumTest, AgentRunsDespiteThePagesPolicy) {
  package_ = write_package(
      "document.addEventListener('DOMContentLoaded', function () {"
      " document.body.setAttribute('data-agent', 'ran'); });");
  TestOrigin origin([](const SeenRequest&) {
    Reply reply;
    reply.fields = {{"Content-Type", "text/html"},
                    {"Content-Security-Policy", "default-src 'none'; script-src 'strict-dynamic' 'nonce-page'"}};
    reply.body =
        "<!DOCTYPE html><html><head><title>csp</title></head><body><p>page</p>"
        "<script nonce=\"page\">document.body.setAttribute('data-page', 'ran');</script></body></html>";
    return reply;
  });
  start_proxy();
  const std::optional<std::string> dom = dump_dom("http://127.0.0.1:" + std::to_string(origin.port()) + "/");
  if (!dom) GTEST_SKIP() << "chromium is not installed";
  EXPECT_NE(dom->find("data-agent=\"ran\""), std::string::npos) << *dom;
  EXPECT_NE(dom->find("data-page=\"ran\""), std::string::npos) << "the page's own script must still run";
}

// An origin that lets its page be cached for an hour: the page is loaded
// a second time (a second frame of the same address), and that copy still
// carries the agent, because the proxy made the page uncacheable and the
// browser asked again without a condition.
TEST_F(ChromiumTest, CachedPageRevisitedStillCarriesTheAgent) {
  package_ = write_package(
      "document.addEventListener('DOMContentLoaded', function () {"
      " document.body.setAttribute('data-agent', 'ran'); });");
  std::atomic<int> page_requests{0};
  std::atomic<int> conditional_requests{0};
  TestOrigin origin([&](const SeenRequest& request) {
    Reply reply;
    reply.fields = {{"Content-Type", "text/html"}};
    if (request.target == "/cached") {
      ++page_requests;
      if (request.has("If-None-Match") || request.has("If-Modified-Since")) ++conditional_requests;
      reply.fields.push_back({"Cache-Control", "max-age=3600"});
      reply.fields.push_back({"ETag", "\"v1\""});
      reply.fields.push_back({"Last-Modified", "Tue, 01 Dec 2026 10:00:00 GMT"});
      reply.body = "<!DOCTYPE html><html><head><title>cached</title></head><body><p>cached</p></body></html>";
    } else {
      reply.body =
          "<!DOCTYPE html><html><head><title>top</title></head><body><script>"
          "function agentOf(f) { return f.contentDocument.body.getAttribute('data-agent') || 'none'; }"
          "var first = document.createElement('iframe');"
          "first.onload = function () {"
          "  var second = document.createElement('iframe');"
          "  second.onload = function () {"
          "    document.body.setAttribute('data-frames', agentOf(first) + ',' + agentOf(second)); };"
          "  second.src = '/cached'; document.body.appendChild(second); };"
          "first.src = '/cached'; document.body.appendChild(first);"
          "</script></body></html>";
    }
    return reply;
  });
  start_proxy();
  const std::optional<std::string> dom = dump_dom("http://127.0.0.1:" + std::to_string(origin.port()) + "/");
  if (!dom) GTEST_SKIP() << "chromium is not installed";
  EXPECT_NE(dom->find("data-frames=\"ran,ran\""), std::string::npos) << *dom;
  EXPECT_EQ(page_requests.load(), 2) << "the second copy came from the browser's cache";
  EXPECT_EQ(conditional_requests.load(), 0);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
