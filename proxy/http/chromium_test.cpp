// A real browser through the proxy: headless Chromium loads a page whose
// policy forbids every script it does not know, and the agent still runs.
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

class ChromiumTest : public ProxyFixture {};

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
  Process::StartOptions options;
  options.arguments = {"chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       "--user-data-dir=" + dir_.file("profile"), "--proxy-server=" + proxy_url(),
                       "--proxy-bypass-list=<-loopback>", "--virtual-time-budget=5000", "--dump-dom",
                       "http://127.0.0.1:" + std::to_string(origin.port()) + "/"};
  options.output_file = dir_.file("dom.html");
  options.output = Process::StartOptions::Output::kDiscard;  // its own chatter on standard error
  std::optional<Process::Child> browser;
  try {
    browser.emplace(Process::start(options));
  } catch (const boost::system::system_error& e) {
    if (e.code().value() == ENOENT) GTEST_SKIP() << "chromium is not installed";
    throw;
  }
  // A cold start on a loaded machine is slow; past the bound the browser
  // is killed (with the Child) and the test fails.
  const std::optional<Process::ExitStatus> ended = browser->WaitFor(std::chrono::minutes(3));
  ASSERT_TRUE(ended.has_value()) << "chromium did not finish within three minutes";
  const std::string dom = quorvane_test::read_file(dir_.file("dom.html"));
  EXPECT_NE(dom.find("data-agent=\"ran\""), std::string::npos) << dom;
  EXPECT_NE(dom.find("data-page=\"ran\""), std::string::npos) << "the page's own script must still run";
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
