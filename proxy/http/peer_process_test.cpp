// Which process holds a connection's far end: a child (and a grandchild)
// that the test forks connect to the test's listener; the lookup finds
// their socket under them and under this process, never under an
// unrelated process, nor under a root whose pid now names another process.
#include "proxy/http/peer_process.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include "proxy/http/browser_connections.h"
#include "proxy/http/peer_owner.h"

namespace Tavrin::Proxy::Http {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// A forked process that, `depth` generations down, connects to `to` and
// waits; the whole chain is one process group, killed when this goes.
// The group is made on both sides of the fork: a holder ended before its
// child ran must still find the group to kill, or the child (holding the
// test program's output) would outlive the test.
class Holder {
 public:
  Holder(const tcp::endpoint& to, int depth) {
    pid_ = ::fork();
    if (pid_ == 0) hold(to, depth);  // never returns
    if (pid_ > 0) ::setpgid(pid_, pid_);
  }
  ~Holder() {
    if (pid_ <= 0) return;
    ::kill(-pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  pid_t pid() const { return pid_; }

 private:
  // Only async-signal-safe calls: the test process has threads.
  [[noreturn]] static void hold(const tcp::endpoint& to, int depth) {
    ::setpgid(0, 0);
    for (; depth > 1; --depth) {
      if (::fork() != 0) {
        for (;;) ::pause();
      }
    }
    const int fd = ::socket(to.protocol().family(), SOCK_STREAM, 0);
    if (fd < 0 || ::connect(fd, to.data(), static_cast<socklen_t>(to.size())) != 0) ::_exit(1);
    for (;;) ::pause();
  }
  pid_t pid_ = -1;
};

// The connection that `holder` makes to `acceptor`; closed socket after ten
// seconds without one.
tcp::socket accept_from(tcp::acceptor& acceptor) {
  acceptor.non_blocking(true);
  tcp::socket socket(acceptor.get_executor());
  for (int tries = 0; tries < 1000; ++tries) {
    boost::system::error_code ec;
    acceptor.accept(socket, ec);
    if (!ec) return socket;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return socket;
}

ino_t inode_of(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 ? info.st_ino : 0;
}

// How many processes of process group `group` still run (zombies, dead
// and waiting for whoever reaps them, are not counted).
int live_members(pid_t group) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream in(entry.path() / "stat");
    std::string stat;
    if (!std::getline(in, stat)) continue;
    // pid (comm) state ppid pgrp ...: comm may hold spaces, so read after
    // its closing parenthesis.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    long parent = 0, pgrp = 0;
    if (fields >> state >> parent >> pgrp && pgrp == group && state != 'Z' && state != 'X') ++count;
  }
  return count;
}

class PeerProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    acceptor_.open(tcp::v4());
    acceptor_.bind({asio::ip::address_v4::loopback(), 0});
    acceptor_.listen();
  }

  // The inode of the far end of `accepted`.
  static ino_t peer_inode(const tcp::socket& accepted) {
    const std::optional<PeerSocket> peer = peer_socket(accepted.local_endpoint(), accepted.remote_endpoint());
    return peer ? peer->inode : 0;
  }
  static ProcessIdentity identity(pid_t pid) {
    const std::optional<ProcessIdentity> found = process_identity(pid);
    EXPECT_TRUE(found) << pid;
    return found.value_or(ProcessIdentity{});
  }

  asio::io_context io_;
  tcp::acceptor acceptor_{io_};
};

// Both sources of the peer's socket give the same inode: the one the
// client's descriptor has.
TEST_F(PeerProcessTest, PeerSocketInodeIsTheClientDescriptors) {
  tcp::socket client(io_);
  client.connect(acceptor_.local_endpoint());
  tcp::socket accepted = accept_from(acceptor_);
  ASSERT_TRUE(accepted.is_open());
  const ino_t inode = inode_of(client.native_handle());
  ASSERT_NE(inode, 0u);
  const auto local = accepted.local_endpoint(), peer = accepted.remote_endpoint();
  ASSERT_TRUE(peer_socket_by_diagnostics(local, peer));
  EXPECT_EQ(peer_socket_by_diagnostics(local, peer)->inode, inode);
  ASSERT_TRUE(peer_socket_from_proc(local, peer));
  EXPECT_EQ(peer_socket_from_proc(local, peer)->inode, inode);
  EXPECT_TRUE(process_holds_socket(::getpid(), inode));
  EXPECT_FALSE(process_holds_socket(::getpid(), inode + 100000));
}

// A grandchild holds the socket: found under the child, under this
// process, and under the grandchild itself; not under a sibling process,
// nor under the child once its start time no longer matches.
TEST_F(PeerProcessTest, SocketOfADescendantIsFoundUnderItsAncestorsOnly) {
  Holder holder(acceptor_.local_endpoint(), 2);
  Holder unrelated(tcp::endpoint(asio::ip::address_v4::loopback(), acceptor_.local_endpoint().port()), 1);
  tcp::socket first = accept_from(acceptor_);
  tcp::socket second = accept_from(acceptor_);
  ASSERT_TRUE(first.is_open() && second.is_open());
  const ino_t a = peer_inode(first), b = peer_inode(second);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  // Which connection is whose: the holder's chain has two processes.
  const std::vector<pid_t> chain = process_trees({identity(holder.pid())});
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(process_trees_from_stat({identity(holder.pid())}), chain);
  if (const auto by_threads = process_trees_by_threads({identity(holder.pid())})) {
    EXPECT_EQ(*by_threads, chain);
  }
  const std::vector<pid_t> mine = process_trees_from_stat({identity(::getpid())});
  EXPECT_NE(std::find(mine.begin(), mine.end(), chain.back()), mine.end());
  EXPECT_EQ(std::find(mine.begin(), mine.end(), ::getppid()), mine.end());
  EXPECT_EQ(chain.front(), holder.pid());
  const pid_t grandchild = chain.back();
  const ino_t held = process_holds_socket(grandchild, a) ? a : b;
  const ino_t other = held == a ? b : a;
  ASSERT_TRUE(process_holds_socket(grandchild, held));
  EXPECT_FALSE(process_holds_socket(holder.pid(), held));

  EXPECT_TRUE(trees_hold_socket({identity(holder.pid())}, held));
  EXPECT_TRUE(trees_hold_socket({identity(grandchild)}, held));
  EXPECT_TRUE(trees_hold_socket({identity(::getpid())}, held));
  EXPECT_FALSE(trees_hold_socket({identity(unrelated.pid())}, held));
  EXPECT_TRUE(trees_hold_socket({identity(unrelated.pid())}, other));
  EXPECT_FALSE(trees_hold_socket({identity(holder.pid())}, other));
  EXPECT_TRUE(trees_hold_socket({identity(unrelated.pid()), identity(holder.pid())}, held));

  ProcessIdentity reused = identity(holder.pid());
  reused.start_time += 1;
  EXPECT_FALSE(trees_hold_socket({reused}, held));
  EXPECT_TRUE(process_trees({reused}).empty());
  EXPECT_TRUE(process_trees_from_stat({reused}).empty());
  EXPECT_FALSE(trees_hold_socket({}, held));
  EXPECT_FALSE(trees_hold_socket({identity(::getpid())}, 0));
}

// A holder ended at once, before its child may have run at all, ends its
// whole chain: no process of its group is left.
TEST_F(PeerProcessTest, AHolderEndedAtOnceLeavesNoProcess) {
  for (int i = 0; i < 20; ++i) {
    pid_t group = 0;
    {
      Holder quick(acceptor_.local_endpoint(), 2);
      group = quick.pid();
      ASSERT_GT(group, 0);
    }
    // A killed grandchild may take a moment to die.
    bool empty = false;
    for (int tries = 0; tries < 200 && !empty; ++tries) {
      empty = live_members(group) == 0;
      if (!empty) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(empty) << "a process of the holder's group " << group << " is left";
  }
}

TEST(ProcessIdentityTest, NamesLiveProcessesOnly) {
  const std::optional<ProcessIdentity> self = process_identity(::getpid());
  ASSERT_TRUE(self);
  EXPECT_EQ(self->pid, ::getpid());
  EXPECT_GT(self->start_time, 0u);
  EXPECT_EQ(process_identity(::getpid()), self);
  EXPECT_FALSE(process_identity(0));
  EXPECT_FALSE(process_identity(-1));
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  EXPECT_FALSE(process_identity(child));
}

// A connection's verdict is looked up once and then kept; while the run
// has no browser nothing is kept; a later connection on the same
// descriptor starts afresh, and the earlier one's end leaves it alone.
TEST_F(PeerProcessTest, ConnectionsKeepTheirVerdict) {
  tcp::socket client(io_);
  client.connect(acceptor_.local_endpoint());
  const ino_t inode = inode_of(client.native_handle());
  const ProcessIdentity self = identity(::getpid());
  BrowserConnections connections;
  int asked = 0;
  std::vector<ProcessIdentity> roots;
  const BrowserConnections::Browsers browsers = [&] {
    ++asked;
    return roots;
  };
  EXPECT_FALSE(connections.from_browser(7, browsers)) << "no scope";
  auto earlier = std::make_unique<BrowserConnections::Scope>(connections, 7, inode);
  EXPECT_FALSE(connections.from_browser(7, browsers));
  EXPECT_EQ(connections.lookups(), 0u) << "no browser yet: nothing looked up";
  roots = {self};
  EXPECT_TRUE(connections.from_browser(7, browsers));
  roots.clear();
  EXPECT_TRUE(connections.from_browser(7, browsers)) << "kept";
  EXPECT_EQ(connections.lookups(), 1u);
  EXPECT_EQ(asked, 2);
  // Descriptor 7 closed and serves a new connection before the earlier
  // one's coroutine has ended.
  auto later = std::make_unique<BrowserConnections::Scope>(connections, 7, inode + 100000);
  roots = {self};
  EXPECT_FALSE(connections.from_browser(7, browsers));
  EXPECT_EQ(connections.lookups(), 2u);
  earlier.reset();
  EXPECT_FALSE(connections.from_browser(7, browsers));
  EXPECT_EQ(connections.lookups(), 2u) << "the later connection keeps its verdict";
  later.reset();
  EXPECT_FALSE(connections.from_browser(7, browsers)) << "no scope";
}

// A "no" holds only for the browsers it was judged against. A run whose
// first browser was killed opens another: the same connection (or one
// judged before the new browser was registered) is asked about again, and
// the new browser's documents get their tokens.
TEST_F(PeerProcessTest, ANoHoldsUntilTheRunHasAnotherBrowser) {
  // Forked before the connection is made, so that it holds a socket of its
  // own and not this one.
  Holder first(acceptor_.local_endpoint(), 1);
  tcp::socket client(io_);
  client.connect(acceptor_.local_endpoint());
  const ino_t inode = inode_of(client.native_handle());
  BrowserConnections connections;
  std::vector<ProcessIdentity> roots = {identity(first.pid())};
  const BrowserConnections::Browsers browsers = [&] { return roots; };
  BrowserConnections::Scope scope(connections, 9, inode);
  EXPECT_FALSE(connections.from_browser(9, browsers));
  EXPECT_FALSE(connections.from_browser(9, browsers));
  EXPECT_EQ(connections.lookups(), 1u) << "the same browsers: the same answer";
  roots.push_back(identity(::getpid()));
  EXPECT_TRUE(connections.from_browser(9, browsers)) << "the run's next browser holds the connection";
  EXPECT_EQ(connections.lookups(), 2u);
  roots.clear();
  EXPECT_TRUE(connections.from_browser(9, browsers)) << "a yes is kept";
}

}  // namespace
}  // namespace Tavrin::Proxy::Http
