// The pages' command channel over HTTP, tried as browsers and as hostile
// local clients (curl on loopback) would: a document served over a run's
// port carries a page token in its agent's element, one served over the
// main port none; the channel admits a token only over its run's port and
// for its origin, a page id stays with the token it registered with, and a
// command put in reaches the page's held poll and comes back answered.
#include <future>
#include <stdexcept>
#include <thread>

#include <unistd.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <gtest/gtest.h>

#include "platform/process.h"
#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/pages/testing/answered.h"
#include "proxy/pages/page_channel.h"
#include "proxy/pages/page_registry.h"
#include "test_support/temp_dir.h"
#include "test_support/wait_until.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

using Tavrin::Proxy::Testing::Answered;

constexpr const char kChannel[] = "http://app.test/quorvane/special/channel/";

std::string report(const std::string& page, bool leaving = false) {
  return R"({"page":")" + page + R"(","url":"http://app.test/","title":"A","top":true,"leaving":)" +
         (leaving ? "true" : "false") + "}";
}

class ChannelTest : public ProxyFixture {
 protected:
  void SetUp() override {
    quorvane_test::write_file(dir() + "/index.html", "<html><head></head><body>x</body></html>");
    ProxySettings settings = default_settings();
    settings.sites["app.test"] = dir();
    settings.sites["other.test"] = dir();
    settings.pages = pages_;
    start_proxy(settings);
    run_a_ = open_browser_run_port("run-a");
    run_b_ = open_browser_run_port("run-b");
  }

  // A POST to the channel through `port`; `token` empty: no token header.
  CurlResult post(std::uint16_t port, const std::string& token, const std::string& body,
                  const std::string& origin = "http://app.test", const std::string& target = kChannel) {
    std::vector<std::string> args = {"--proxy", "http://127.0.0.1:" + std::to_string(port), "-X", "POST",
                                     "-H",      "Origin: " + origin,                       "--data-binary",
                                     body,      target};
    if (!token.empty()) args.insert(args.begin(), {"-H", "X-Quorvane-Token: " + token});
    return curl(args, false);
  }

  std::string token_over(std::uint16_t port) { return agent_key_over(port, "http://app.test/index.html"); }

  // A POST to the channel (`path` after it) as a browser's XHR or beacon
  // makes it, on a connection of its own that the caller holds, and may
  // drop without a word.
  boost::asio::ip::tcp::socket send(std::uint16_t port, const std::string& token, const std::string& body,
                                    const std::string& path = "") {
    boost::asio::ip::tcp::socket socket(io_);
    socket.connect({boost::asio::ip::address_v4::loopback(), port});
    std::string request = "POST " + std::string(kChannel) + path + " HTTP/1.1\r\nHost: app.test\r\n" +
                          "Origin: http://app.test\r\nContent-Type: text/plain\r\n";
    if (!token.empty()) request += "X-Quorvane-Token: " + token + "\r\n";
    request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    boost::asio::write(socket, boost::asio::buffer(request));
    return socket;
  }
  static std::string reply_to(boost::asio::ip::tcp::socket& socket) {
    boost::beast::flat_buffer buffer;
    boost::beast::http::response<boost::beast::http::string_body> reply;
    boost::beast::http::read(socket, buffer, reply);
    return reply.body();
  }
  // Waits (bounded) until the page has made `count` reports.
  void wait_for_reports(const std::string& page, std::uint64_t count) {
    ASSERT_TRUE(quorvane_test::wait_until([&] { return pages_->reports(page) >= count; }, std::chrono::seconds(10)))
        << page << " made " << pages_->reports(page) << " reports";
  }
  std::future<Answered> run_async(const std::wstring& command) {
    return std::async(std::launch::async, [this, command]() -> Answered { return pages_->run(command); });
  }

  boost::asio::io_context io_;
  std::shared_ptr<PageRegistry> pages_ = std::make_shared<PageRegistry>();
  std::uint16_t run_a_ = 0;
  std::uint16_t run_b_ = 0;
};

// A document asked for over the main port (any local client can) carries
// no token; over a run's port each document gets a token of its own, in
// the agent's element and nowhere in a script address.
TEST_F(ChannelTest, OnlyDocumentsOfARunsPortCarryATokenOfTheirOwn) {
  const CurlResult main = curl({"-s", "-H", "Sec-Fetch-Dest: document", "http://app.test/index.html"});
  EXPECT_NE(main.body.find(agent_element()), std::string::npos) << main.body;
  EXPECT_EQ(agent_key_in(main.body), "");

  const CurlResult page = curl({"--proxy", "http://127.0.0.1:" + std::to_string(run_a_), "-H",
                                "Sec-Fetch-Dest: document", "http://app.test/index.html"},
                               false);
  const std::string token = agent_key_in(page.body);
  ASSERT_EQ(token.size(), 32u) << page.body;
  const std::string element =
      "<script data-quorvane=\"" + token + "\" src=\"/quorvane/special/file/api.js?v=" + package_version() + "\"";
  EXPECT_NE(page.body.find(element), std::string::npos) << page.body;
  EXPECT_EQ(page.body.find('#'), std::string::npos) << page.body;
  EXPECT_NE(token_over(run_a_), token) << "a token per document";
}

// A client that is no process of the run's browser (a program of the same
// user fetching a page through the run's port) gets the page injected but
// no token, whether the run has no browser yet or another process is its
// browser; the channel then refuses what the client can make up. Once this
// process (curl's parent) is the run's browser, curl gets a token.
TEST_F(ChannelTest, ClientsThatAreNoBrowserOfTheRunGetNoToken) {
  const std::uint16_t run_c = server_->open_run_port("run-c");
  const std::string url = "http://app.test/index.html";
  const CurlResult page = curl(
      {"--proxy", "http://127.0.0.1:" + std::to_string(run_c), "-H", "Sec-Fetch-Dest: document", url}, false);
  EXPECT_NE(page.body.find(agent_element()), std::string::npos) << page.body;
  EXPECT_EQ(agent_key_in(page.body), "");

  Platform::Process::StartOptions sleeper;
  sleeper.arguments = {"sleep", "60"};
  Platform::Process::Child other = Platform::Process::start(sleeper);
  server_->add_run_browser("run-c", other.pid());
  EXPECT_EQ(agent_key_over(run_c, url), "");
  EXPECT_EQ(post(run_c, "", report("p1", true)).status, 403u);
  EXPECT_EQ(post(run_c, std::string(32, '0'), report("p1", true)).status, 403u);
  EXPECT_EQ(pages_->page_count(), 0u);
  EXPECT_TRUE(has_note("no browser of run run-c gets no page token"));

  server_->add_run_browser("run-c", static_cast<int>(::getpid()));
  const std::string token = agent_key_over(run_c, url);
  ASSERT_EQ(token.size(), 32u);
  EXPECT_EQ(post(run_c, token, report("p1", true)).status, 200u);
  other.Kill();
  EXPECT_THROW(server_->add_run_browser("run-c", other.pid()), std::runtime_error);
  EXPECT_THROW(server_->add_run_browser("no-such-run", static_cast<int>(::getpid())), std::runtime_error);
}

// No token, a made-up one, a token of run A over run B's port or over the
// main port, a token of app.test for other.test or with another Origin:
// all refused, and nothing registers. The token over its own port and
// origin registers the page.
TEST_F(ChannelTest, ATokenWorksOnlyOverItsRunsPortForItsOrigin) {
  const std::string a = token_over(run_a_);
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(post(run_a_, "", report("p1", true)).status, 403u);
  EXPECT_EQ(post(run_a_, std::string(32, '0'), report("p1", true)).status, 403u);
  EXPECT_EQ(post(run_b_, a, report("p1", true)).status, 403u);
  EXPECT_EQ(post(proxy_port(), a, report("p1", true)).status, 403u);
  EXPECT_EQ(post(run_a_, a, report("p1", true), "http://evil.test").status, 403u);
  EXPECT_EQ(post(run_a_, a, report("p1", true), "http://other.test", "http://other.test/quorvane/special/channel/")
                .status,
            403u);
  EXPECT_EQ(post(run_a_, a, report("p1", true), "null").status, 403u);
  EXPECT_EQ(pages_->page_count(), 0u);

  EXPECT_EQ(post(run_a_, a, report("p1", true)).status, 200u);
  EXPECT_EQ(pages_->page_count(), 1u);
}

// A page id registered with one token is refused to another, even of the
// same run and origin; a run B client claiming run A's page id is refused
// too; run A's command reaches the page that registered first.
TEST_F(ChannelTest, APageIdStaysWithTheTokenItRegisteredWith) {
  const std::string first = token_over(run_a_);
  const std::string second = token_over(run_a_);
  const std::string other_run = token_over(run_b_);
  auto held = std::async(std::launch::async, [&] { return post(run_a_, first, report("p1")); });
  ASSERT_TRUE(quorvane_test::wait_until([&] { return pages_->page_count() == 1; }, std::chrono::seconds(10)));
  EXPECT_EQ(post(run_a_, second, report("p1")).status, 403u);
  EXPECT_EQ(post(run_b_, other_run, report("p1")).status, 403u);
  // Nor may another token say the page is gone.
  EXPECT_EQ(post(run_a_, "", R"({"page":"p1","token":")" + second + "\"}", "http://app.test",
                 std::string(kChannel) + "bye")
                .status,
            200u);

  auto answer = std::async(std::launch::async,
                           [&]() -> Answered { return pages_->run(LR"({"id":"c1","op":"info","page":"p1","run":"run-a"})"); });
  const CurlResult command = held.get();
  EXPECT_EQ(command.status, 200u);
  EXPECT_NE(command.body.find("\"c1\""), std::string::npos) << command.body;
  std::string answered = report("p1", true);
  answered.insert(answered.size() - 1, R"(,"answer":{"id":"c1","ok":true,"value":7})");
  EXPECT_EQ(post(run_a_, first, answered).status, 200u);
  const Answered got = answer.get();
  EXPECT_EQ(got.page, L"p1");
  EXPECT_NE(got.text.find(L"\"value\":7"), std::wstring::npos) << got.text;
}

// A page of run B is out of run A's reach, whatever it claims: an unnamed
// command of run A finds no page, a named one is refused.
TEST_F(ChannelTest, RunACommandsNeverReachRunBPages) {
  const std::string b = token_over(run_b_);
  auto held = std::async(std::launch::async, [&] { return post(run_b_, b, report("pb")); });
  ASSERT_TRUE(quorvane_test::wait_until([&] { return pages_->page_count() == 1; }, std::chrono::seconds(10)));
  const Answered unnamed = pages_->run(LR"({"id":"c1","op":"info","run":"run-a","pageWait":300})");
  EXPECT_NE(unnamed.text.find(L"no page was there"), std::wstring::npos) << unnamed.text;
  const Answered named = pages_->run(LR"({"id":"c2","op":"info","run":"run-a","page":"pb"})");
  EXPECT_NE(named.text.find(L"no page pb in this run"), std::wstring::npos) << named.text;
  pages_->gone("pb");
  EXPECT_EQ(held.get().status, 200u);
}

// A poll with its token registers the page; a command sent meanwhile is
// handed to the held poll, and the next poll's answer completes it. The
// page's farewell with its own token ends it.
TEST_F(ChannelTest, CommandReachesTheHeldPollAndItsAnswerComesBack) {
  const std::string token = token_over(run_a_);
  std::future<CurlResult> held = std::async(std::launch::async, [&] { return post(run_a_, token, report("p1")); });
  std::future<Answered> answer = std::async(
      std::launch::async, [&]() -> Answered { return pages_->run(LR"({"id":"c1","op":"eval","expression":"1","run":"run-a"})"); });
  const CurlResult command = held.get();
  EXPECT_EQ(command.status, 200u);
  EXPECT_NE(command.body.find("\"c1\""), std::string::npos) << command.body;
  std::future<CurlResult> next = std::async(std::launch::async, [&] {
    return post(run_a_, token,
                R"({"page":"p1","url":"http://app.test/","title":"A","answer":{"id":"c1","ok":true,"value":1}})");
  });
  const Answered got = answer.get();
  EXPECT_EQ(got.page, L"p1");
  EXPECT_EQ(got.title, L"A");
  EXPECT_NE(got.text.find(L"\"value\":1"), std::wstring::npos);
  EXPECT_EQ(post(run_a_, "", R"({"page":"p1","token":")" + token + "\"}", "http://app.test",
                 std::string(kChannel) + "bye")
                .status,
            200u);
  EXPECT_EQ(next.get().status, 200u);
  const Answered later = pages_->run(LR"({"id":"c2","op":"info","page":"p1"})");
  EXPECT_NE(later.text.find(L"\"gone\":true"), std::wstring::npos) << later.text;
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing

namespace Tavrin::Proxy::Http::Testing {
namespace {

// A held poll whose connection drops without a word and which no poll
// follows (its browser killed): the command sent to its page meanwhile
// fails once the grace has passed, not at its limit, and so does every
// later command that names the page.
TEST_F(ChannelTest, APageWhoseHeldPollVanishesFailsItsCommands) {
  const std::string token = token_over(run_a_);
  auto held = send(run_a_, token, report("p1"));
  wait_for_reports("p1", 1);
  held.close();
  auto answer = run_async(LR"({"id":"c1","op":"info","page":"p1","run":"run-a","timeout":600000})");
  ASSERT_EQ(answer.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "waits for its limit";
  const Answered got = answer.get();
  EXPECT_NE(got.text.find(L"went away with its browser"), std::wstring::npos) << got.text;
  EXPECT_EQ(got.text.find(L"\"gone\""), std::wstring::npos) << got.text;
  const Answered later = pages_->run(LR"({"id":"c2","op":"info","page":"p1","run":"run-a"})");
  EXPECT_NE(later.text.find(L"went away with its browser"), std::wstring::npos) << later.text;
}

// A page whose held poll the browser aborts stays while it polls again
// within the grace (as the agent does after a failed poll), and takes
// commands after the grace; one that says farewell instead (it navigated)
// is gone in the ordinary way, for callers to follow the page in its
// place.
TEST_F(ChannelTest, APageThatPollsAgainOrSaysFarewellHasNotVanished) {
  const std::string token = token_over(run_a_);
  auto first = send(run_a_, token, report("p1"));
  wait_for_reports("p1", 1);
  first.close();
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  auto second = send(run_a_, token, report("p1"));
  wait_for_reports("p1", 2);
  std::this_thread::sleep_for(kLostPollGrace + std::chrono::milliseconds(500));
  auto answer = run_async(LR"({"id":"c1","op":"eval","expression":"1","page":"p1","run":"run-a"})");
  EXPECT_NE(reply_to(second).find("\"c1\""), std::string::npos);
  auto answering = send(run_a_, token,
                        R"({"page":"p1","url":"http://app.test/","title":"A","answer":{"id":"c1","ok":true,"value":1}})");
  const Answered got = answer.get();
  EXPECT_NE(got.text.find(L"\"value\":1"), std::wstring::npos) << got.text;
  answering.close();

  const std::string next = token_over(run_a_);
  auto leaving = send(run_a_, next, report("p2"));
  wait_for_reports("p2", 1);
  leaving.close();
  auto farewell = send(run_a_, "", R"({"page":"p2","token":")" + next + "\"}", "bye");
  EXPECT_EQ(reply_to(farewell), "{}");
  std::this_thread::sleep_for(kLostPollGrace + std::chrono::milliseconds(500));
  const Answered left = pages_->run(LR"({"id":"c2","op":"info","page":"p2","run":"run-a"})");
  EXPECT_NE(left.text.find(L"\"gone\":true"), std::wstring::npos) << left.text;
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
