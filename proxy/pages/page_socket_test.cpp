// The pages' command channel over WebSocket, as browsers reach it: through
// a CONNECT tunnel to port 80 (or an absolute-form upgrade), with the run's
// secret and the page's own Origin. And plain HTTP inside such tunnels,
// served like any other request.
#include <future>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"
#include "proxy/pages/page_registry.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

constexpr const char kSecret[] = "0123456789abcdef0123456789abcdef";
const std::string kChannel = std::string("/quorvane/special/channel/") + kSecret;
constexpr const char kHello[] = R"({"page":"p1","url":"http://app.test/","title":"A","top":true})";

class PageSocketTest : public ProxyFixture {
 protected:
  void SetUp() override {
    quorvane_test::write_file(dir() + "/index.html", "<html><head></head><body>x</body></html>");
    settings_ = default_settings();
    settings_.sites["app.test"] = dir();
    settings_.pages = pages_;
    settings_.channel_secret = kSecret;
  }

  // A connection to the proxy with a tunnel to `authority` opened on it;
  // the bytes after the tunnel's answer are left in `rest`.
  void open_tunnel(tcp::socket& socket, const std::string& authority, std::string& rest) {
    socket.connect({asio::ip::address_v4::loopback(), proxy_port()});
    socket.set_option(tcp::no_delay(true));
    asio::write(socket, asio::buffer("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n"));
    const std::size_t end = asio::read_until(socket, asio::dynamic_buffer(rest), "\r\n\r\n");
    ASSERT_EQ(rest.rfind("HTTP/1.1 200", 0), 0u) << rest;
    rest.erase(0, end);
  }

  // Upgrades `ws` on `target`, the way the agent's page would; the
  // handshake's answer is returned (101 when the socket opened).
  unsigned upgrade(websocket::stream<tcp::socket>& ws, const std::string& target,
                   const std::string& origin = "http://app.test") {
    ws.set_option(websocket::stream_base::decorator(
        [origin](websocket::request_type& request) { request.set(beast::http::field::origin, origin); }));
    websocket::response_type response;
    beast::error_code ec;
    ws.handshake(response, "app.test", target, ec);
    return response.result_int();
  }

  // A socket to the channel inside a CONNECT tunnel to app.test:80.
  void open_channel(websocket::stream<tcp::socket>& ws, const std::string& path = kChannel,
                    const std::string& origin = "http://app.test", unsigned* status = nullptr) {
    std::string rest;
    open_tunnel(ws.next_layer(), "app.test:80", rest);
    ASSERT_TRUE(rest.empty());
    const unsigned got = upgrade(ws, path, origin);
    if (status)
      *status = got;
    else
      ASSERT_EQ(got, 101u);
  }

  std::string read_frame(websocket::stream<tcp::socket>& ws) {
    beast::flat_buffer frame;
    ws.read(frame);
    return beast::buffers_to_string(frame.data());
  }

  std::future<CommandAnswer> run_async(const std::wstring& command) {
    return std::async(std::launch::async, [this, command] { return pages_->run(command); });
  }

  std::shared_ptr<PageRegistry> pages_ = std::make_shared<PageRegistry>();
  ProxySettings settings_;
  asio::io_context io_;
};

// Without the secret, with a wrong one, or from another origin, the
// upgrade is refused with 403, in a tunnel and in absolute form alike; no
// page is registered.
TEST_F(PageSocketTest, UpgradesWithoutTheSecretOrFromAnotherOriginAreRefused) {
  start_proxy(settings_);
  for (const auto& [path, origin] : std::vector<std::pair<std::string, std::string>>{
           {"/quorvane/special/channel/", "http://app.test"},
           {"/quorvane/special/channel/0123456789abcdef0123456789abcdee", "http://app.test"},
           {kChannel + "0", "http://app.test"},
           {kChannel, "http://evil.test"}}) {
    websocket::stream<tcp::socket> ws(io_);
    unsigned status = 0;
    open_channel(ws, path, origin, &status);
    EXPECT_EQ(status, 403u) << path << " from " << origin;
  }
  websocket::stream<tcp::socket> direct(io_);
  direct.next_layer().connect({asio::ip::address_v4::loopback(), proxy_port()});
  EXPECT_EQ(upgrade(direct, "http://app.test" + kChannel, "http://evil.test"), 403u);
  EXPECT_EQ(pages_->page_count(), 0u);
}

// The socket's first frame registers the page; commands reach it one after
// another as soon as they are put in, and the answers in its frames
// complete them by id.
TEST_F(PageSocketTest, CommandsReachThePageAndTheirAnswersComeBack) {
  start_proxy(settings_);
  websocket::stream<tcp::socket> ws(io_);
  open_channel(ws);
  ws.text(true);
  ws.write(asio::buffer(std::string(kHello)));
  for (const std::string id : {"c1", "c2"}) {
    auto answer = run_async(L"{\"id\":\"" + std::wstring(id.begin(), id.end()) + L"\",\"op\":\"eval\",\"expression\":\"1\"}");
    const std::string command = read_frame(ws);
    EXPECT_NE(command.find("\"" + id + "\""), std::string::npos) << command;
    ws.write(asio::buffer(R"({"page":"p1","url":"http://app.test/b","title":"B","answer":{"id":")" + id +
                          R"(","ok":true,"value":1}})"));
    const CommandAnswer got = answer.get();
    EXPECT_EQ(got.page, L"p1");
    EXPECT_EQ(got.title, L"B");
    EXPECT_NE(got.text.find(L"\"value\":1"), std::wstring::npos) << got.text;
  }
  ws.close(websocket::close_code::normal);
}

// In absolute form through the proxy (no tunnel) the socket serves as well.
TEST_F(PageSocketTest, AbsoluteFormUpgradeOpensTheChannel) {
  start_proxy(settings_);
  websocket::stream<tcp::socket> ws(io_);
  ws.next_layer().connect({asio::ip::address_v4::loopback(), proxy_port()});
  ASSERT_EQ(upgrade(ws, "http://app.test" + kChannel), 101u);
  ws.write(asio::buffer(std::string(kHello)));
  auto answer = run_async(LR"({"id":"c1","op":"info"})");
  EXPECT_NE(read_frame(ws).find("\"c1\""), std::string::npos);
  ws.write(asio::buffer(std::string(R"({"page":"p1","answer":{"id":"c1","ok":true,"value":null}})")));
  EXPECT_NE(answer.get().text.find(L"\"ok\":true"), std::wstring::npos);
}

// A socket that closes while its page runs a command ends the command with
// the "navigated" answer; the page is gone for later commands.
TEST_F(PageSocketTest, ClosedSocketEndsThePagesCommand) {
  start_proxy(settings_);
  {
    websocket::stream<tcp::socket> ws(io_);
    open_channel(ws);
    ws.write(asio::buffer(std::string(kHello)));
    auto answer = run_async(LR"({"id":"c1","op":"click","selector":"a"})");
    EXPECT_NE(read_frame(ws).find("\"c1\""), std::string::npos);
    ws.close(websocket::close_code::going_away);
    const CommandAnswer got = answer.get();
    EXPECT_NE(got.text.find(L"\"navigated\":true"), std::wstring::npos) << got.text;
  }
  const CommandAnswer later = pages_->run(LR"({"id":"c2","op":"info","page":"p1"})");
  EXPECT_NE(later.text.find(L"\"gone\":true"), std::wstring::npos) << later.text;
}

// A command put in before the page's first frame waits for it and is sent
// as soon as the page registers.
TEST_F(PageSocketTest, CommandWaitingForThePageIsSentOnItsFirstFrame) {
  start_proxy(settings_);
  auto answer = run_async(LR"({"id":"c1","op":"info","pageWait":5000})");
  websocket::stream<tcp::socket> ws(io_);
  open_channel(ws);
  ws.write(asio::buffer(std::string(kHello)));
  EXPECT_NE(read_frame(ws).find("\"c1\""), std::string::npos);
  ws.write(asio::buffer(std::string(R"({"page":"p1","answer":{"id":"c1","ok":true,"value":null}})")));
  EXPECT_EQ(answer.get().page, L"p1");
}

// Plain HTTP inside a CONNECT tunnel to a port without TLS is served: a
// local site's page gets the injected script, and other hosts are
// forwarded to.
TEST_F(PageSocketTest, PlainHttpInsideATunnelIsServed) {
  TestOrigin origin([](const SeenRequest& seen) {
    Reply reply;
    reply.fields = {{"Content-Type", "text/plain"}};
    reply.body = "origin saw " + seen.target;
    return reply;
  });
  start_proxy(settings_);
  tcp::socket site(io_);
  std::string answer;
  open_tunnel(site, "app.test:80", answer);
  asio::write(site, asio::buffer(std::string(
                        "GET /index.html HTTP/1.1\r\nHost: app.test\r\nSec-Fetch-Dest: document\r\n\r\n")));
  beast::flat_buffer buffer;
  beast::http::response<beast::http::string_body> page;
  beast::http::read(site, buffer, page);
  EXPECT_EQ(page.result_int(), 200u);
  EXPECT_NE(page.body().find(std::string("api.js#") + kSecret), std::string::npos) << page.body();

  tcp::socket forwarded(io_);
  const std::string authority = "127.0.0.1:" + std::to_string(origin.port());
  std::string rest;
  open_tunnel(forwarded, authority, rest);
  asio::write(forwarded, asio::buffer("GET /x?y HTTP/1.1\r\nHost: " + authority + "\r\n\r\n"));
  beast::http::response<beast::http::string_body> reply;
  beast::flat_buffer reply_buffer;
  beast::http::read(forwarded, reply_buffer, reply);
  EXPECT_EQ(reply.result_int(), 200u);
  EXPECT_EQ(reply.body(), "origin saw /x?y");
}

// With the socket switched off, the agent is told to long-poll.
TEST_F(PageSocketTest, SwitchedOffTheAgentIsToldToPoll) {
  settings_.page_socket = false;
  start_proxy(settings_);
  const CurlResult page = curl({"-s", "-H", "Sec-Fetch-Dest: document", "http://app.test/index.html"});
  EXPECT_NE(page.body.find(std::string("api.js#") + kSecret + ";poll\""), std::string::npos) << page.body;
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
