// The byte transport: frames, lock files and the socket folder.
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "platform/com/remote/transport_server_internal.h"
#include "platform/com/remote/transport_socket_internal.h"
#include "test_support/temp_dir.h"

namespace Tavrin::Platform::Com::Transport {
namespace {

using std::chrono::milliseconds;

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    endpoint_ = endpoint_for("socket-test");
    listener_ = listen_on(endpoint_.socket_path);
    client_ = connect_to(endpoint_.socket_path);
    ASSERT_TRUE(client_.valid());
    for (int i = 0; i < 100 && !server_.valid(); ++i) {
      server_ = accept_from(listener_.get());
      if (!server_.valid()) std::this_thread::sleep_for(milliseconds(5));
    }
    ASSERT_TRUE(server_.valid());
  }

  static int receive_error(int fd, std::optional<milliseconds> timeout = std::nullopt) {
    std::string bytes;
    try {
      receive_frame(fd, bytes, timeout);
    } catch (const boost::system::system_error& e) {
      return e.code().value();
    }
    return 0;
  }

  Endpoint endpoint_;
  ScopedFd listener_, client_, server_;
};

// Frames arrive whole; silence, a cut-off frame and an absurd length are
// errors, an orderly close is the end.
TEST_F(SocketTest, FramesAndTheirFailures) {
  send_frame(client_.get(), std::string("one\0two", 7));
  std::string bytes;
  ASSERT_TRUE(receive_frame(server_.get(), bytes));
  EXPECT_EQ(bytes, std::string("one\0two", 7));

  EXPECT_EQ(receive_error(server_.get(), milliseconds(50)), ETIMEDOUT);

  send_frame(client_.get(), "");
  ASSERT_TRUE(receive_frame(server_.get(), bytes));
  EXPECT_TRUE(bytes.empty());

  const char huge[4] = {'\xFF', '\xFF', '\xFF', '\x7F'};
  ASSERT_EQ(::write(client_.get(), huge, 4), 4);
  EXPECT_EQ(receive_error(server_.get()), EPROTO);
}

TEST_F(SocketTest, PeerClosingMidFrameIsAReset) {
  const char partial[6] = {10, 0, 0, 0, 'a', 'b'};
  ASSERT_EQ(::write(client_.get(), partial, 6), 6);
  client_.reset();
  EXPECT_EQ(receive_error(server_.get()), ECONNRESET);
  std::string bytes;
  EXPECT_FALSE(receive_frame(server_.get(), bytes));
}

TEST_F(SocketTest, NobodyListeningGivesNoConnection) {
  listener_.reset();
  EXPECT_FALSE(connect_to(endpoint_.socket_path).valid());
  EXPECT_FALSE(connect_to(endpoint_.socket_path + "-missing").valid());
}

// A lock is exclusive until its holder lets go, and tells who holds it.
TEST(FileLockTest, ExclusiveUntilReleased) {
  const Endpoint endpoint = endpoint_for("lock-test");
  EXPECT_FALSE(lock_is_held(endpoint.server_lock_path));
  {
    std::optional<FileLock> held = FileLock::acquire(endpoint.server_lock_path, milliseconds(100));
    ASSERT_TRUE(held);
    held->write_text("1234");
    EXPECT_TRUE(lock_is_held(endpoint.server_lock_path));
    EXPECT_EQ(lock_holder_text(endpoint.server_lock_path), "1234");
    EXPECT_FALSE(FileLock::acquire(endpoint.server_lock_path, milliseconds(50)));
  }
  EXPECT_FALSE(lock_is_held(endpoint.server_lock_path));
  EXPECT_FALSE(lock_holder_text(endpoint.server_lock_path));
}

// A socket folder that others could reach into is refused, not used.
TEST(EndpointTest, RefusesAFolderOpenToOthers) {
  quorvane_test::TempDir runtime;
  quorvane_test::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path());
  ASSERT_EQ(::mkdir(runtime.file("quorvane-com").c_str(), 0755), 0);
  try {
    endpoint_for("x");
    ADD_FAILURE() << "folder accepted";
  } catch (const boost::system::system_error& e) {
    EXPECT_EQ(e.code().value(), EACCES);
  }
  ASSERT_EQ(::chmod(runtime.file("quorvane-com").c_str(), 0700), 0);
  EXPECT_EQ(endpoint_for("x").socket_path, runtime.file("quorvane-com/x"));
}

class EchoSession final : public Session {
 public:
  std::string handle(std::string_view request) override { return std::string(request); }
};

// A client that arrives while the process has no descriptor left is not
// the server's end: it waits in the queue and is served once descriptors
// are free again.
TEST(ServerTest, DescriptorShortageOnAcceptIsWaitedOut) {
  const Endpoint endpoint = endpoint_for("shortage-test");
  std::atomic<bool> may_end{false};
  ServerHooks hooks;
  hooks.open_session = [] { return std::make_unique<EchoSession>(); };
  hooks.may_end = [&] { return may_end.load(); };
  hooks.poll_interval = milliseconds(20);
  auto served = std::async(std::launch::async, [&] { return run_server(endpoint, hooks); });
  ScopedFd client;
  for (int i = 0; i < 200 && !client.valid(); ++i) {
    client = connect_to(endpoint.socket_path);
    if (!client.valid()) std::this_thread::sleep_for(milliseconds(10));
  }
  ASSERT_TRUE(client.valid());
  send_frame(client.get(), "first");
  std::string reply;
  ASSERT_TRUE(receive_frame(client.get(), reply, milliseconds(5000)));

  // Every descriptor but one taken; the second client takes the last, so
  // the server's accept finds none.
  std::vector<ScopedFd> hoard;
  for (;;) {
    ScopedFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) break;
    hoard.push_back(std::move(fd));
  }
  ASSERT_EQ(errno, EMFILE);
  hoard.pop_back();
  ScopedFd second = connect_to(endpoint.socket_path);
  ASSERT_TRUE(second.valid());
  send_frame(second.get(), "second");
  std::this_thread::sleep_for(milliseconds(200));
  EXPECT_EQ(served.wait_for(milliseconds(0)), std::future_status::timeout) << "the server ended";
  hoard.clear();
  ASSERT_TRUE(receive_frame(second.get(), reply, milliseconds(5000)));
  EXPECT_EQ(reply, "second");

  client.reset();
  second.reset();
  may_end = true;
  ASSERT_EQ(served.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(served.get());
}

}  // namespace
}  // namespace Tavrin::Platform::Com::Transport
