// The proxy never connects to itself: every spelling of a loopback or
// unspecified address, and every port it listens on (a run's included),
// is refused as a CONNECT target and as a destination.
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>

#include "proxy/http/request_target.h"
#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace asio = boost::asio;

TEST(NumericHostTest, EveryFormTheResolverReads) {
  const auto loopback = asio::ip::make_address("127.0.0.1");
  EXPECT_EQ(numeric_host_address("127.1"), loopback);
  EXPECT_EQ(numeric_host_address("2130706433"), loopback);
  EXPECT_EQ(numeric_host_address("0x7f.0.0.1"), loopback);
  EXPECT_EQ(numeric_host_address("0177.0.0.1"), loopback);
  EXPECT_EQ(numeric_host_address("::ffff:127.0.0.1"), loopback);
  EXPECT_EQ(numeric_host_address("::1"), asio::ip::make_address("::1"));
  EXPECT_FALSE(numeric_host_address("example.test"));
  EXPECT_TRUE(is_loopback_host("127.1"));
  EXPECT_TRUE(is_loopback_host("app.localhost"));
  EXPECT_FALSE(is_loopback_host("0.0.0.0"));
  EXPECT_FALSE(is_loopback_host("10.1.2.3"));
}


class OwnAddressTest : public ProxyFixture {
 protected:
  void SetUp() override {
    ProxySettings settings = default_settings();
    settings.intercept_https = false;
    start_proxy(settings);
    run_port_ = server_->open_run_port("own-address-test");
  }
  std::uint16_t run_port_ = 0;
};

TEST_F(OwnAddressTest, TunnelsToItselfAreRefusedInEverySpelling) {
  TestOrigin origin([](const SeenRequest&) { return Reply{}; });
  for (const std::uint16_t port : {proxy_port(), run_port_}) {
    for (const std::string host : {"127.1", "2130706433", "0x7f.1", "0.0.0.0", "[::ffff:127.0.0.1]", "[::1]", "[::]",
                                   "localhost", "127.0.0.1"}) {
      const std::string authority = host + ":" + std::to_string(port);
      const std::string answer =
          raw_exchange(proxy_port(), "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n");
      EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 400") << authority << "\n" << answer;
      EXPECT_NE(answer.find("itself"), std::string::npos) << authority;
    }
  }
  // Another port of the same address is an origin like any other.
  const std::string other = "127.1:" + std::to_string(origin.port());
  EXPECT_EQ(raw_exchange(proxy_port(), "CONNECT " + other + " HTTP/1.1\r\nHost: " + other + "\r\n\r\n").substr(0, 12),
            "HTTP/1.1 200");
}

TEST_F(OwnAddressTest, RequestsToItselfAreAnsweredNotForwarded) {
  for (const std::string host : {"0.0.0.0", "127.1", "2130706433"}) {
    const std::string url = "http://" + host + ":" + std::to_string(run_port_) + "/";
    const std::string answer =
        raw_exchange(proxy_port(), "GET " + url + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 400") << url << "\n" << answer;
  }
}

// Inside a tunnel to an origin, a request may still name the proxy: the
// address it resolves to is compared before connecting.
TEST_F(OwnAddressTest, ResolvedAddressesAreComparedBeforeConnecting) {
  TestOrigin origin([](const SeenRequest&) { return Reply{}; });
  const std::string authority = "127.0.0.1:" + std::to_string(origin.port());
  asio::io_context io;
  asio::ip::tcp::socket socket(io);
  socket.connect({asio::ip::address_v4::loopback(), proxy_port()});
  asio::write(socket, asio::buffer("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n"));
  std::string established;
  asio::read_until(socket, asio::dynamic_buffer(established), "\r\n\r\n");
  ASSERT_EQ(established.substr(0, 12), "HTTP/1.1 200") << established;
  const std::string self = "http://127.1:" + std::to_string(proxy_port()) + "/loop";
  asio::write(socket, asio::buffer("GET " + self + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
  std::string answer;
  boost::system::error_code ec;
  asio::read(socket, asio::dynamic_buffer(answer), ec);
  EXPECT_EQ(answer.substr(0, 12), "HTTP/1.1 502") << answer;
  EXPECT_NE(answer.find("itself"), std::string::npos) << answer;
  EXPECT_TRUE(origin.requests().empty());
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
