// Connections that leave HTTP: WebSocket upgrades through the proxy, and
// HTTPS, intercepted (and injected) or tunnelled as it is.
#include <chrono>
#include <thread>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <gtest/gtest.h>

#include "proxy/http/certificate_authority.h"
#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace beast = boost::beast;
const char kPage[] = "<html><head><title>secure</title></head><body>s</body></html>";

Reply html(const std::string& body) {
  Reply reply;
  reply.fields = {{"Content-Type", "text/html"}};
  reply.body = body;
  return reply;
}

class TunnelTest : public ProxyFixture {
 protected:
  // An authority of the test's own, which vouches for the TLS origins.
  CertificateAuthority& test_authority() {
    if (!test_authority_) test_authority_ = std::make_unique<CertificateAuthority>(dir_.file("test-authority"));
    return *test_authority_;
  }
  std::unique_ptr<TestOrigin> tls_origin(const std::string& body) {
    CertificateAuthority& authority = test_authority();
    return std::make_unique<TestOrigin>([body](const SeenRequest&) { return html(body); },
                                        authority.issue_leaf_pem("127.0.0.1") + authority.certificate_pem(),
                                        authority.leaf_key_pem());
  }
  std::unique_ptr<CertificateAuthority> test_authority_;
};

// A WebSocket handshake in absolute form through the proxy is tunnelled,
// and messages go both ways.
TEST_F(TunnelTest, WebSocketEchoThroughTheProxy) {
  TestOrigin origin([](const SeenRequest&) { return html(""); });
  start_proxy();
  boost::asio::io_context io;
  beast::websocket::stream<boost::asio::ip::tcp::socket> ws(io);
  ws.next_layer().connect({boost::asio::ip::address_v4::loopback(), proxy_port()});
  const std::string authority = "127.0.0.1:" + std::to_string(origin.port());
  ws.handshake(authority, "http://" + authority + "/ws");
  for (const std::string& text : {std::string("hello"), std::string(200000, 'w')}) {
    ws.write(boost::asio::buffer(text));
    beast::flat_buffer echoed;
    ws.read(echoed);
    EXPECT_TRUE(beast::buffers_to_string(echoed.data()) == text);
  }
  ws.close(beast::websocket::close_code::normal);
}

// A tunnelled connection stays open while bytes cross it, and is closed
// once nothing has crossed either way for the idle time.
TEST_F(TunnelTest, IdleTunnelsAreClosed) {
  TestOrigin origin([](const SeenRequest&) { return html(""); });
  ProxySettings settings = default_settings();
  // Ten times the pause between messages: a loaded machine may stretch a
  // pause of 100 ms several times over.
  settings.tunnel_idle_timeout = std::chrono::milliseconds(1000);
  start_proxy(settings);
  boost::asio::io_context io;
  beast::websocket::stream<boost::asio::ip::tcp::socket> ws(io);
  ws.next_layer().connect({boost::asio::ip::address_v4::loopback(), proxy_port()});
  const std::string authority = "127.0.0.1:" + std::to_string(origin.port());
  ws.handshake(authority, "http://" + authority + "/ws");
  // Busy for one and a half idle times: every message is still echoed.
  for (int i = 0; i < 15; ++i) {
    ws.write(boost::asio::buffer(std::string("ping")));
    beast::flat_buffer echoed;
    ws.read(echoed);
    ASSERT_EQ(beast::buffers_to_string(echoed.data()), "ping");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // Quiet well past the idle time: the proxy has closed the tunnel, so
  // nothing comes back.
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  beast::error_code ec;
  ws.write(boost::asio::buffer(std::string("late")), ec);
  beast::flat_buffer late;
  if (!ec) ws.read(late, ec);
  EXPECT_TRUE(ec) << "the idle tunnel still echoed: " << beast::buffers_to_string(late.data());
}

// An HTTPS page is intercepted with the proxy's own authority (which the
// client trusts), fetched from an origin verified against the test's
// authority, and injected.
TEST_F(TunnelTest, HttpsPageIsInterceptedAndInjected) {
  auto origin = tls_origin(kPage);
  ProxySettings settings = default_settings();
  settings.upstream_ca_file = test_authority().certificate_file();
  start_proxy(settings);
  const std::string proxy_authority = dir_.file("authority") + "/authority.pem";
  const CurlResult result = curl({"--cacert", proxy_authority, "-H", "Accept: text/html",
                                  "https://127.0.0.1:" + std::to_string(origin->port()) + "/"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.status, 200u);
  EXPECT_NE(result.body.find("<head>" + agent_element()), std::string::npos) << result.body;
  EXPECT_EQ(curl({"--cacert", proxy_authority,
                  "https://127.0.0.1:" + std::to_string(origin->port()) + "/quorvane/special/file/api.js"})
                .body,
            kAgentSource);
}

// An origin whose certificate no trusted authority signed gives a page
// that says so.
TEST_F(TunnelTest, UntrustedOriginGivesAPageThatSaysWhy) {
  auto origin = tls_origin(kPage);
  start_proxy();  // the test authority is not trusted
  const CurlResult result = curl({"--cacert", dir_.file("authority") + "/authority.pem",
                                  "https://127.0.0.1:" + std::to_string(origin->port()) + "/"});
  EXPECT_EQ(result.status, 502u);
  EXPECT_NE(result.body.find("could not be verified"), std::string::npos) << result.body;
}

// With interception off, CONNECT is a plain tunnel: the client sees the
// origin's own certificate and the page as it is.
TEST_F(TunnelTest, PlainTunnelWhenInterceptionIsOff) {
  auto origin = tls_origin(kPage);
  ProxySettings settings = default_settings();
  settings.intercept_https = false;
  start_proxy(settings);
  const CurlResult result = curl({"--cacert", test_authority().certificate_file().string(), "-H",
                                  "Accept: text/html", "https://127.0.0.1:" + std::to_string(origin->port()) + "/"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.body, kPage);
  EXPECT_FALSE(std::filesystem::exists(dir_.file("authority") + "/authority.pem"));
}

// The authority is made once, kept with a private key only the user can
// read, and found again by the next server.
TEST_F(TunnelTest, AuthorityIsMadeOnceAndKeptPrivate) {
  const std::string folder = dir_.file("home-authority");
  std::string spki;
  {
    CertificateAuthority first(folder);
    spki = first.authority_spki_sha256();
  }
  CertificateAuthority again(folder);
  EXPECT_EQ(again.authority_spki_sha256(), spki);
  EXPECT_NE(again.leaf_spki_sha256(), spki);
  const auto permissions = std::filesystem::status(folder + "/authority-key.pem").permissions();
  EXPECT_EQ(permissions & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
  EXPECT_NE(again.certificate_pem().find("BEGIN CERTIFICATE"), std::string::npos);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
