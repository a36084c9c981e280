// A run's network control at the wire: requests through a run's port are
// kept with their bodies, answers and times; rules answer, fail, delay and
// change requests and answers in the proxy; another run sees and routes
// none of it.
#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"
#include "proxy/network/run_network.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace json = boost::json;

std::string text(const json::value& value) { return value.is_string() ? std::string(value.as_string()) : "(not a text)"; }

class RoutingTest : public ProxyFixture {
 protected:
  void SetUp() override {
    ProxySettings settings = default_settings();
    settings.networks = networks_;
    start_proxy(settings);
    port_a_ = server_->open_run_port("run-a");
    port_b_ = server_->open_run_port("run-b");
  }

  CurlResult through(std::uint16_t port, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"-s", "--max-time", "20", "--proxy", "http://127.0.0.1:" + std::to_string(port)});
    return curl(arguments, false);
  }
  void route(const std::string& run, const std::string& rule) {
    networks_->of(run)->routes.add(Network::read_route_rule(rule));
  }
  json::array logged(const std::string& run, const std::string& query = "{}") {
    return json::parse(networks_->of(run)->log.select(query)).as_array();
  }
  std::string origin_url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(origin_.port()) + path;
  }

  std::shared_ptr<Network::RunNetworks> networks_ = std::make_shared<Network::RunNetworks>();
  TestOrigin origin_{[](const SeenRequest& request) {
    Reply reply;
    reply.fields = {{"Content-Type", "text/plain"}, {"X-Origin", "1"}};
    reply.body = "origin says hello to " + request.method + " " + request.target + " [" + request.body + "]";
    return reply;
  }};
  std::uint16_t port_a_ = 0;
  std::uint16_t port_b_ = 0;
};

// A request no rule takes goes on as ever and is kept with its body, its
// answer and its times; the other run's log stays empty.
TEST_F(RoutingTest, UnmatchedRequestsAreKeptPerRun) {
  route("run-a", R"({"pattern": {"glob": "**/nothing"}, "action": {"body": "x"}})");
  const CurlResult posted = through(port_a_, {"--data-binary", "a=1&b=2", origin_url("/form")});
  EXPECT_EQ(posted.body, "origin says hello to POST /form [a=1&b=2]");
  const json::array a = logged("run-a");
  ASSERT_EQ(a.size(), 1u);
  const json::object& r = a[0].as_object();
  EXPECT_EQ(text(r.at("url")), origin_url("/form"));
  EXPECT_EQ(r.at("method"), "POST");
  EXPECT_EQ(r.at("postData"), "a=1&b=2");
  EXPECT_EQ(r.at("status"), 200);
  EXPECT_EQ(r.at("responseHeaders").at("x-origin"), "1");
  EXPECT_EQ(text(r.at("body")), posted.body);
  EXPECT_TRUE(r.at("routed").is_null());
  EXPECT_TRUE(r.at("ended").as_bool());
  EXPECT_GE(r.at("timing").at("wait").as_double(), 0);
  EXPECT_GE(r.at("timing").at("receive").as_double(), 0);
  EXPECT_EQ(logged("run-b").size(), 0u);
  // The main port belongs to no run: nothing is kept, nothing routed.
  curl({"-s", "--proxy", proxy_url(), origin_url("/main")}, false);
  EXPECT_EQ(logged("run-a").size(), 1u);
}

// Answers made in the proxy: a stub with its headers, JSON, a CORS
// preflight and the answer's CORS fields; the origin never sees them; a
// rule of one run does not touch another's requests.
TEST_F(RoutingTest, StubbedAnswersStayInTheProxy) {
  route("run-a", R"({"pattern": {"glob": "**/api/*"}, "label": "**/api/*", "action": {"status": 201, "json": {"ok": true}, "headers": {"X-Stub": "yes"}}})");
  const CurlResult stub = through(port_a_, {"-H", "Origin: http://page.test", origin_url("/api/items")});
  EXPECT_EQ(stub.status, 201u);
  EXPECT_EQ(stub.body, R"({"ok":true})");
  EXPECT_EQ(stub.field("X-Stub"), "yes");
  EXPECT_EQ(stub.field("Content-Type"), "application/json");
  EXPECT_EQ(stub.field("Access-Control-Allow-Origin"), "http://page.test");
  const CurlResult preflight = through(port_a_, {"-X", "OPTIONS", "-H", "Origin: http://page.test", "-H",
                                                 "Access-Control-Request-Method: GET", origin_url("/api/items")});
  EXPECT_EQ(preflight.status, 204u);
  EXPECT_EQ(preflight.field("Access-Control-Allow-Methods"), "GET");
  EXPECT_TRUE(origin_.requests().empty());
  EXPECT_EQ(logged("run-a")[0].at("routed"), "**/api/*");

  EXPECT_EQ(through(port_b_, {origin_url("/api/items")}).body, "origin says hello to GET /api/items []");
}

// The request goes on changed: a header set, one removed, the method and
// the body replaced; the real answer comes back changed: status, a header
// and its text.
TEST_F(RoutingTest, RequestAndAnswerChanged) {
  route("run-a", R"({"pattern": {"glob": "**/change"}, "action": {"continue": {"method": "PUT", "postData": "new body", "headers": {"X-Added": "1", "X-Drop": null}}}})");
  through(port_a_, {"-H", "X-Drop: 2", "--data-binary", "old", origin_url("/change")});
  const auto seen = origin_.requests();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].method, "PUT");
  EXPECT_EQ(seen[0].body, "new body");
  EXPECT_EQ(seen[0].field("X-Added"), "1");
  EXPECT_FALSE(seen[0].has("X-Drop"));

  route("run-a", R"({"pattern": {"glob": "**/answer"}, "action": {"response": {"status": 202, "headers": {"X-Origin": null, "X-New": "n"}, "replace": [["hello", "goodbye"], [{"regex": "GET|answer", "flags": "g"}, "?"]]}}})");
  const CurlResult changed = through(port_a_, {origin_url("/answer")});
  EXPECT_EQ(changed.status, 202u);
  EXPECT_EQ(changed.body, "origin says goodbye to ? /? []");
  EXPECT_EQ(changed.field("Content-Length"), std::to_string(changed.body.size()));
  EXPECT_EQ(changed.field("X-New"), "n");
  EXPECT_EQ(changed.field("X-Origin"), "");
}

// Failures at the wire: the client sees a reset, an empty answer, a broken
// framing, no answer at all; each is kept as its kind. times: the rule
// holds once, then the request reaches the origin.
TEST_F(RoutingTest, AbortsAtTheWireAndTimes) {
  for (const char* kind : {"reset", "refused", "empty", "malformed"}) {
    route("run-a", std::string(R"({"pattern": {"glob": "**/fail"}, "times": 1, "action": {"abort": ")") + kind +
                       R"("}})");
    const CurlResult failed = through(port_a_, {origin_url("/fail")});
    EXPECT_NE(failed.exit_code, 0) << kind;
    EXPECT_EQ(text(logged("run-a").back().at("failure")), kind);
  }
  EXPECT_EQ(through(port_a_, {origin_url("/fail")}).body, "origin says hello to GET /fail []");
  route("run-a", R"({"pattern": {"glob": "**/hang"}, "action": {"abort": "timeout"}})");
  EXPECT_EQ(through(port_a_, {"--max-time", "1", origin_url("/hang")}).exit_code, 28);
}

// A delay alone lets the real answer through, later; a rule without a
// label is named by its pattern.
TEST_F(RoutingTest, DelayedRealAnswer) {
  route("run-a", R"({"pattern": {"glob": "**/slow"}, "action": {"delay": 300}})");
  EXPECT_EQ(through(port_a_, {origin_url("/slow")}).body, "origin says hello to GET /slow []");
  const json::array ended = logged("run-a", R"({"ended": true})");
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].at("routed"), R"({"glob":"**/slow"})");
  EXPECT_EQ(origin_.requests().size(), 1u);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
