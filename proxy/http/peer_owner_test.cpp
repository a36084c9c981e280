// Whose socket is at the other end: both sources name this process's user
// for its own connections and "nobody" for a client started as nobody, and
// the proxy serves its own user's client while it closes nobody's.
#include "proxy/http/peer_owner.h"

#include <unistd.h>

#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include "proxy/http/testing/proxy_fixture.h"
#include "proxy/http/testing/test_origin.h"
#include "test_support/run_program.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

constexpr uid_t kNobody = 65534;

// A command line that runs the rest as nobody, without this user's groups.
std::vector<std::string> as_nobody(std::vector<std::string> command) {
  std::vector<std::string> line = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  line.insert(line.end(), command.begin(), command.end());
  return line;
}

void expect_owner(const tcp::socket& accepted, uid_t expected) {
  const tcp::endpoint local = accepted.local_endpoint();
  const tcp::endpoint peer = accepted.remote_endpoint();
  EXPECT_EQ(peer_socket_owner_by_diagnostics(local, peer), std::optional<uid_t>(expected));
  EXPECT_EQ(peer_socket_owner_from_proc(local, peer), std::optional<uid_t>(expected));
  EXPECT_EQ(peer_socket_owner(local, peer), std::optional<uid_t>(expected));
}

TEST(PeerOwnerTest, OwnConnectionsOverIpv4AndIpv6) {
  asio::io_context io;
  for (const auto& address : {asio::ip::address(asio::ip::address_v4::loopback()),
                              asio::ip::address(asio::ip::address_v6::loopback())}) {
    tcp::acceptor acceptor(io);
    boost::system::error_code ec;
    acceptor.open(address.is_v4() ? tcp::v4() : tcp::v6());
    acceptor.bind({address, 0}, ec);
    if (ec && address.is_v6()) continue;  // a machine without ::1
    ASSERT_FALSE(ec) << ec.message();
    acceptor.listen();
    tcp::socket client(io);
    client.connect(acceptor.local_endpoint());
    tcp::socket accepted = acceptor.accept();
    expect_owner(accepted, ::geteuid());
  }
}

TEST(PeerOwnerTest, GoneSocketHasNoOwner) {
  const tcp::endpoint local(asio::ip::address_v4::loopback(), 1);
  const tcp::endpoint peer(asio::ip::address_v4::loopback(), 2);
  EXPECT_FALSE(peer_socket_owner(local, peer));
}

// Only root may start a program as another user.
#define SKIP_UNLESS_ROOT() \
  if (::geteuid() != 0) GTEST_SKIP() << "starting a client as nobody needs root"

// A client of another user is told apart by both sources.
TEST(PeerOwnerTest, AnotherUsersClient) {
  SKIP_UNLESS_ROOT();
  asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  const std::string url = "http://127.0.0.1:" + std::to_string(acceptor.local_endpoint().port()) + "/";
  std::thread client([&] { quorvane_test::run_program(as_nobody({"curl", "-s", "--max-time", "20", url})); });
  tcp::socket accepted = acceptor.accept();
  expect_owner(accepted, kNobody);
  accepted.close();
  client.join();
}

class OwnUserTest : public ProxyFixture {};

// The proxy closes a connection of nobody's without an answer and says so;
// its own user's request, to the main port or a run's, is served.
TEST_F(OwnUserTest, OnlyTheProxysUserIsServed) {
  SKIP_UNLESS_ROOT();
  TestOrigin origin([](const SeenRequest&) {
    Reply reply;
    reply.body = "for the owner";
    return reply;
  });
  start_proxy();
  const std::string url = "http://127.0.0.1:" + std::to_string(origin.port()) + "/";
  for (const std::uint16_t port : {proxy_port(), server_->open_run_port("own-user-test")}) {
    const std::string proxy = "http://127.0.0.1:" + std::to_string(port);
    const quorvane_test::ProgramRun stranger =
        quorvane_test::run_program(as_nobody({"curl", "-sS", "--max-time", "20", "--proxy", proxy, url}));
    EXPECT_NE(stranger.exit, 0) << stranger.out;
    EXPECT_EQ(stranger.out, "");
    const quorvane_test::ProgramRun owner =
        quorvane_test::run_program({"curl", "-sS", "--max-time", "20", "--proxy", proxy, url});
    EXPECT_EQ(owner.out, "for the owner") << owner.err;
  }
  EXPECT_EQ(origin.requests().size(), 2u) << "nobody's requests never left the proxy";
  bool noted = false;
  for (const std::string& note : notes_) noted = noted || note.find("of user 65534") != std::string::npos;
  EXPECT_TRUE(noted);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
