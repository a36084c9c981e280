// Requests answered by a script's handler function, at the wire: the
// proxy holds the request (its body read) until the script answers, then
// applies what the handler gave; a handler that threw answers 500, a
// request the script did not take in time 504 (and the script hears of
// it), a run that ends 503.
#include <future>
#include <thread>

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"
#include "proxy/network/run_network.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace json = boost::json;
using namespace std::chrono_literals;

class HandlerRoutingTest : public ProxyFixture {
 protected:
  void SetUp() override {
    ProxySettings settings = default_settings();
    settings.networks = networks_;
    start_proxy(settings);
    port_ = server_->open_run_port("run-h");
  }

  CurlResult through(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"-s", "--max-time", "20", "--proxy", "http://127.0.0.1:" + std::to_string(port_)});
    return curl(arguments, false);
  }
  void route_handler(const std::string& glob, int limit_ms = 10000) {
    network()->routes.add(Network::read_route_rule(R"({"pattern": {"glob": ")" + glob +
                                                    R"("}, "label": "the label", "handler": {"owner": "script-1", "id": "7", "limit": )" +
                                                    std::to_string(limit_ms) + "}}"));
  }
  std::shared_ptr<Network::RunNetwork> network() { return networks_->of("run-h"); }
  // The script's side: takes the next request due and answers it with
  // what `handler` makes of it (an action's JSON, or an error).
  std::future<std::string> serve_one(std::function<std::pair<std::string, std::string>(const json::object&)> handler) {
    return std::async(std::launch::async, [this, handler] {
      const auto due = network()->handlers.wait("script-1", Network::HandlerQueue::Clock::now() + 15s);
      if (!due.held) return std::string("nothing came");
      const json::object request = json::parse(due.held->request).as_object();
      auto [action, error] = handler(request);
      network()->handlers.answer("script-1", due.held->id,
                                 error.empty() ? Network::read_handler_action(action, "the action") : std::nullopt, error);
      return due.held->handler + " " + due.held->label;
    });
  }
  std::string origin_url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(origin_.port()) + path;
  }

  std::shared_ptr<Network::RunNetworks> networks_ = std::make_shared<Network::RunNetworks>();
  TestOrigin origin_{[](const SeenRequest& request) {
    Reply reply;
    reply.fields = {{"Content-Type", "text/plain"}};
    reply.body = "origin: " + request.method + " " + request.target + " [" + request.body + "]";
    return reply;
  }};
  std::uint16_t port_ = 0;
};

// The handler reads the posted body and answers by it; the origin sees
// nothing. Returning nothing lets the request go on with its body whole,
// also a chunked one.
TEST_F(HandlerRoutingTest, AnswersByTheBodyOrLetsTheRequestGoOn) {
  route_handler("**/api/*");
  auto served = serve_one([](const json::object& request) {
    EXPECT_EQ(request.at("method"), "POST");
    EXPECT_EQ(request.at("headers").at("x-mark"), "m");
    const std::string posted(request.at("postData").as_string());
    return std::make_pair(R"({"status": 201, "json": {"echo": ")" + posted + R"("}})", std::string());
  });
  const CurlResult answered = through({"-H", "X-Mark: m", "--data-binary", "n=3", origin_url("/api/items")});
  EXPECT_EQ(served.get(), "7 the label");
  EXPECT_EQ(answered.status, 201u);
  EXPECT_EQ(answered.body, R"({"echo":"n=3"})");
  EXPECT_TRUE(origin_.requests().empty());

  auto untouched = serve_one([](const json::object&) { return std::make_pair(std::string(), std::string()); });
  const CurlResult on = through({"-H", "Transfer-Encoding: chunked", "--data-binary", "a=1&b=2", origin_url("/api/x")});
  EXPECT_EQ(untouched.get(), "7 the label");
  EXPECT_EQ(on.status, 200u);
  EXPECT_EQ(on.body, "origin: POST /api/x [a=1&b=2]");
  const json::array log = json::parse(network()->log.select("{}")).as_array();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1].at("routed"), "the label");
  EXPECT_EQ(log[1].at("postData"), "a=1&b=2");

  // Another run's request is none of this run's handlers' business.
  const std::uint16_t other = server_->open_run_port("run-other");
  const CurlResult elsewhere =
      curl({"-s", "--max-time", "20", "--proxy", "http://127.0.0.1:" + std::to_string(other), origin_url("/api/y")}, false);
  EXPECT_EQ(elsewhere.body, "origin: GET /api/y []");
  EXPECT_TRUE(network()->handlers.wait("script-1", Network::HandlerQueue::Clock::now()).empty());
}

// A handler that threw answers 500 with its error; a bad action the same.
TEST_F(HandlerRoutingTest, AHandlerThatThrowsAnswers500) {
  route_handler("**/api/*");
  auto threw = serve_one([](const json::object&) { return std::make_pair(std::string(), std::string("boom (line 12)")); });
  const CurlResult failed = through({origin_url("/api/items")});
  threw.get();
  EXPECT_EQ(failed.status, 500u);
  EXPECT_NE(failed.body.find("boom (line 12)"), std::string::npos) << failed.body;
  EXPECT_TRUE(origin_.requests().empty());
}

// A request the script does not take within the rule's limit is answered
// 504; the script's next wait brings the note of it. A run that ends
// answers what it still holds at once.
TEST_F(HandlerRoutingTest, ARequestNotTakenInTimeAndTheRunsEnd) {
  route_handler("**/slow", 300);
  const CurlResult late = through({origin_url("/slow")});
  EXPECT_EQ(late.status, 504u);
  const auto due = network()->handlers.wait("script-1", Network::HandlerQueue::Clock::now());
  EXPECT_FALSE(due.held);
  ASSERT_EQ(due.missed.size(), 1u);
  EXPECT_NE(due.missed[0].find("GET " + origin_url("/slow")), std::string::npos) << due.missed[0];

  route_handler("**/held", 60000);
  auto request = std::async(std::launch::async, [this] { return through({origin_url("/held")}); });
  // Held until the run goes.
  ASSERT_TRUE(network()->handlers.wait("script-1", Network::HandlerQueue::Clock::now() + 10s).held);
  networks_->drop("run-h");
  EXPECT_EQ(request.get().status, 503u);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
