// The pages' command channel over WebSocket, as browsers reach it: through
// a CONNECT tunnel to port 80 (or an absolute-form upgrade) on a run's
// port, with the document's page token as the second subprotocol and the
// page's own Origin. And plain HTTP inside such tunnels, served like any
// other request.
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
#include "proxy/pages/testing/answered.h"
#include "proxy/pages/page_registry.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

using Tavrin::Proxy::Testing::Answered;

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

const std::string kChannel = "/quorvane/special/channel/";
constexpr const char kHello[] = R"({"page":"p1","url":"http://app.test/","title":"A","top":true})";

class PageSocketTest : public ProxyFixture {
 protected:
  void SetUp() override {
    quorvane_test::write_file(dir() + "/index.html", "<html><head></head><body>x</body></html>");
    settings_ = default_settings();
    settings_.sites["app.test"] = dir();
    settings_.pages = pages_;
  }

  // Starts the proxy, opens run-a's port and takes a token of a document
  // served over it.
  void start() {
    start_proxy(settings_);
    run_port_ = open_browser_run_port("run-a");
    const std::string key = agent_key_over(run_port_, "http://app.test/index.html");
    ASSERT_GE(key.size(), 32u);
    token_ = key.substr(0, 32);  // without ";poll"
  }

  // A connection to the proxy with a tunnel to `authority` opened on it;
  // the bytes after the tunnel's answer are left in `rest`.
  void open_tunnel(tcp::socket& socket, const std::string& authority, std::string& rest) {
    socket.connect({asio::ip::address_v4::loopback(), run_port_});
    socket.set_option(tcp::no_delay(true));
    asio::write(socket, asio::buffer("CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n\r\n"));
    const std::size_t end = asio::read_until(socket, asio::dynamic_buffer(rest), "\r\n\r\n");
    ASSERT_EQ(rest.rfind("HTTP/1.1 200", 0), 0u) << rest;
    rest.erase(0, end);
  }

  // Upgrades `ws` on `target`, the way the agent's page would; the
  // handshake's answer is returned (101 when the socket opened).
  unsigned upgrade(websocket::stream<tcp::socket>& ws, const std::string& target,
                   const std::string& origin = "http://app.test", std::string protocols = "") {
    if (protocols.empty()) protocols = "quorvane, " + token_;
    ws.set_option(websocket::stream_base::decorator([origin, protocols](websocket::request_type& request) {
      request.set(beast::http::field::origin, origin);
      request.set(beast::http::field::sec_websocket_protocol, protocols);
    }));
    websocket::response_type response;
    beast::error_code ec;
    ws.handshake(response, "app.test", target, ec);
    return response.result_int();
  }

  // A socket to the channel inside a CONNECT tunnel to app.test:80.
  void open_channel(websocket::stream<tcp::socket>& ws, const std::string& path = kChannel,
                    const std::string& origin = "http://app.test", unsigned* status = nullptr,
                    const std::string& protocols = "") {
    std::string rest;
    open_tunnel(ws.next_layer(), "app.test:80", rest);
    ASSERT_TRUE(rest.empty());
    const unsigned got = upgrade(ws, path, origin, protocols);
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

  std::future<Answered> run_async(const std::wstring& command) {
    return std::async(std::launch::async, [this, command]() -> Answered { return pages_->run(command); });
  }

  std::shared_ptr<PageRegistry> pages_ = std::make_shared<PageRegistry>();
  ProxySettings settings_;
  std::uint16_t run_port_ = 0;
  std::string token_;
  asio::io_context io_;
};

// Without a token, with a made-up one, with the token not second after
// "quorvane", from another origin, over the main port or another run's:
// the upgrade is refused with 403, in a tunnel and in absolute form alike;
// no page is registered. The upgrade the agent makes is accepted with the
// subprotocol "quorvane".
TEST_F(PageSocketTest, UpgradesWithoutTheRunsTokenAreRefused) {
  start();
  const std::string made_up(32, 'a');
  for (const auto& [origin, protocols] : std::vector<std::pair<std::string, std::string>>{
           {"http://app.test", "quorvane"},
           {"http://app.test", "quorvane, " + made_up},
           {"http://app.test", token_ + ", quorvane"},
           {"http://app.test", "quorvane, " + token_ + ", x"},
           {"http://evil.test", "quorvane, " + token_}}) {
    websocket::stream<tcp::socket> ws(io_);
    unsigned status = 0;
    open_channel(ws, kChannel, origin, &status, protocols);
    EXPECT_EQ(status, 403u) << protocols << " from " << origin;
  }
  const std::uint16_t other_run = open_browser_run_port("run-b");
  for (const std::uint16_t port : {proxy_port(), other_run}) {
    websocket::stream<tcp::socket> direct(io_);
    direct.next_layer().connect({asio::ip::address_v4::loopback(), port});
    EXPECT_EQ(upgrade(direct, "http://app.test" + kChannel), 403u) << port;
  }
  EXPECT_EQ(pages_->page_count(), 0u);

  websocket::stream<tcp::socket> ws(io_);
  std::string rest;
  open_tunnel(ws.next_layer(), "app.test:80", rest);
  ws.set_option(websocket::stream_base::decorator([this](websocket::request_type& request) {
    request.set(beast::http::field::origin, "http://app.test");
    request.set(beast::http::field::sec_websocket_protocol, "quorvane, " + token_);
  }));
  websocket::response_type response;
  ws.handshake(response, "app.test", kChannel);
  EXPECT_EQ(response[beast::http::field::sec_websocket_protocol], "quorvane");
}

// A frame that names a page registered with another token is dropped: the
// page stays with its own socket.
TEST_F(PageSocketTest, FramesNamingAnotherTokensPageAreDropped) {
  start();
  websocket::stream<tcp::socket> own(io_);
  open_channel(own);
  own.write(asio::buffer(std::string(kHello)));
  ASSERT_TRUE(quorvane_test::wait_until([&] { return pages_->page_count() == 1; }, std::chrono::seconds(10)));
  const std::string first_token = token_;
  token_ = agent_key_over(run_port_, "http://app.test/index.html");
  ASSERT_NE(token_, first_token);
  websocket::stream<tcp::socket> thief(io_);
  open_channel(thief);
  thief.write(asio::buffer(std::string(kHello)));
  ASSERT_TRUE(quorvane_test::wait_until([&] { return has_note("a page of another token"); }, std::chrono::seconds(10)));
  auto answer = run_async(LR"({"id":"c1","op":"info","page":"p1","run":"run-a"})");
  EXPECT_NE(read_frame(own).find("\"c1\""), std::string::npos);
  own.write(asio::buffer(std::string(R"({"page":"p1","answer":{"id":"c1","ok":true,"value":null}})")));
  EXPECT_NE(answer.get().text.find(L"\"ok\":true"), std::wstring::npos);
  EXPECT_EQ(pages_->page_count(), 1u);
}

// The socket's first frame registers the page; commands reach it one after
// another as soon as they are put in, and the answers in its frames
// complete them by id.
TEST_F(PageSocketTest, CommandsReachThePageAndTheirAnswersComeBack) {
  start();
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
    const Answered got = answer.get();
    EXPECT_EQ(got.page, L"p1");
    EXPECT_EQ(got.title, L"B");
    EXPECT_NE(got.text.find(L"\"value\":1"), std::wstring::npos) << got.text;
  }
  ws.close(websocket::close_code::normal);
}

// In absolute form through the proxy (no tunnel) the socket serves as well.
TEST_F(PageSocketTest, AbsoluteFormUpgradeOpensTheChannel) {
  start();
  websocket::stream<tcp::socket> ws(io_);
  ws.next_layer().connect({asio::ip::address_v4::loopback(), run_port_});
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
  start();
  {
    websocket::stream<tcp::socket> ws(io_);
    open_channel(ws);
    ws.write(asio::buffer(std::string(kHello)));
    auto answer = run_async(LR"({"id":"c1","op":"click","selector":"a"})");
    EXPECT_NE(read_frame(ws).find("\"c1\""), std::string::npos);
    ws.close(websocket::close_code::going_away);
    const Answered got = answer.get();
    EXPECT_NE(got.text.find(L"\"navigated\":true"), std::wstring::npos) << got.text;
  }
  const Answered later = pages_->run(LR"({"id":"c2","op":"info","page":"p1"})");
  EXPECT_NE(later.text.find(L"\"gone\":true"), std::wstring::npos) << later.text;
}

// A socket dropped without a close frame (its browser killed) fails the
// command its page runs at once, not at the command's limit, and so every
// later command that names the page: nothing will come in its place.
TEST_F(PageSocketTest, SocketDroppedWithoutACloseFrameFailsThePagesCommands) {
  start();
  websocket::stream<tcp::socket> ws(io_);
  open_channel(ws);
  ws.write(asio::buffer(std::string(kHello)));
  auto answer = run_async(LR"({"id":"c1","op":"click","selector":"a","timeout":600000})");
  EXPECT_NE(read_frame(ws).find("\"c1\""), std::string::npos);
  ws.next_layer().close();
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "waits for its limit";
  const Answered got = answer.get();
  EXPECT_NE(got.text.find(L"went away with its browser"), std::wstring::npos) << got.text;
  EXPECT_EQ(got.text.find(L"navigated"), std::wstring::npos) << got.text;

  const Answered later = pages_->run(LR"({"id":"c2","op":"info","page":"p1","timeout":600000})");
  EXPECT_NE(later.text.find(L"went away with its browser"), std::wstring::npos) << later.text;
  EXPECT_EQ(later.text.find(L"\"gone\""), std::wstring::npos) << later.text;
}

// A command put in before the page's first frame waits for it and is sent
// as soon as the page registers.
TEST_F(PageSocketTest, CommandWaitingForThePageIsSentOnItsFirstFrame) {
  start();
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
  start();
  tcp::socket site(io_);
  std::string answer;
  open_tunnel(site, "app.test:80", answer);
  asio::write(site, asio::buffer(std::string(
                        "GET /index.html HTTP/1.1\r\nHost: app.test\r\nSec-Fetch-Dest: document\r\n\r\n")));
  beast::flat_buffer buffer;
  beast::http::response<beast::http::string_body> page;
  beast::http::read(site, buffer, page);
  EXPECT_EQ(page.result_int(), 200u);
  EXPECT_EQ(agent_key_in(page.body()).size(), 32u) << page.body();

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
  start();
  const std::string key = agent_key_over(run_port_, "http://app.test/index.html");
  EXPECT_EQ(key.size(), 32u + 5u) << key;
  EXPECT_EQ(key.substr(32), ";poll");
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
