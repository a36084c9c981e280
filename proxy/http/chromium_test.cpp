// A real browser through the proxy: headless Chromium loads a page whose
// policy forbids every script it does not know, and the agent still runs.
#include <sstream>

#include <boost/process/child.hpp>
#include <boost/process/io.hpp>
#include <boost/process/search_path.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace bp = boost::process;

class ChromiumTest : public ProxyFixture {};

TEST_F(ChromiumTest, AgentRunsDespiteThePagesPolicy) {
  const auto chromium = bp::search_path("chromium");
  if (chromium.empty()) GTEST_SKIP() << "chromium is not installed";
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
  bp::ipstream out;
  bp::child browser(chromium, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
                    "--user-data-dir=" + dir_.file("profile"), "--proxy-server=" + proxy_url(),
                    "--proxy-bypass-list=<-loopback>", "--virtual-time-budget=5000", "--dump-dom",
                    "http://127.0.0.1:" + std::to_string(origin.port()) + "/", bp::std_out > out,
                    bp::std_err > bp::null);
  std::ostringstream dom;
  dom << out.rdbuf();
  browser.wait();
  EXPECT_NE(dom.str().find("data-agent=\"ran\""), std::string::npos) << dom.str();
  EXPECT_NE(dom.str().find("data-page=\"ran\""), std::string::npos) << "the page's own script must still run";
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
