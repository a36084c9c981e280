// The proxy server's shared state: holds, requests and the grace.
#include "proxy/proxy_state.h"

#include <future>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace Tavrin::Proxy {
namespace {

using std::chrono::milliseconds;
using std::chrono::hours;

// The grace keeps a fresh server busy; without it an idle server is not.
TEST(ProxyStateTest, GraceMakesAFreshServerBusy) {
  EXPECT_TRUE(ProxyState(hours(1)).busy());
  EXPECT_FALSE(ProxyState(milliseconds(0)).busy());
}

// Each client's hold counts on its own: one letting go, or another's
// SetStop(true), does not end the other's hold; a client's end ends its hold.
TEST(ProxyStateTest, HoldsBelongToTheirClients) {
  ProxyState state(milliseconds(0));
  const auto run = state.add_client(), guard = state.add_client(), nested = state.add_client();
  EXPECT_NE(run, guard);
  state.set_stop(run, false);
  EXPECT_TRUE(state.busy());
  state.set_stop(guard, true);
  EXPECT_TRUE(state.busy());
  state.set_stop(nested, false);
  state.set_stop(run, true);
  EXPECT_TRUE(state.busy());
  state.remove_client(nested);
  EXPECT_FALSE(state.busy());
  state.set_stop(run, false);
  state.set_stop(run, false);
  state.set_stop(run, true);
  EXPECT_FALSE(state.busy()) << "a hold taken twice is let go once";
}

// A command makes the server busy while it runs and is counted once served,
// also when it fails.
TEST(ProxyStateTest, CommandsAreBusyWhileServedAndCounted) {
  std::promise<void> entered, release;
  std::shared_future<void> released = release.get_future().share();
  ProxyState state(milliseconds(0), [&](const std::wstring& command) {
    if (command == L"fail") throw std::runtime_error("page gone");
    entered.set_value();
    released.wait();
    return std::wstring(L"{\"ok\":true,\"page\":\"uuid-1\"}");
  });
  std::future<std::wstring> answer = std::async(std::launch::async, [&] { return state.run_command(L"go"); });
  entered.get_future().wait();
  EXPECT_TRUE(state.busy());
  EXPECT_EQ(state.request_count(), 0u);
  release.set_value();
  EXPECT_EQ(answer.get(), L"{\"ok\":true,\"page\":\"uuid-1\"}");
  EXPECT_FALSE(state.busy());
  EXPECT_EQ(state.request_count(), 1u);

  EXPECT_THROW(state.run_command(L"fail"), std::runtime_error);
  EXPECT_FALSE(state.busy());
  EXPECT_EQ(state.request_count(), 2u);
}

// Until pages can reach the proxy, commands are answered with empty texts.
TEST(ProxyStateTest, DefaultAnswerIsEmpty) {
  ProxyState state(milliseconds(0));
  EXPECT_EQ(state.run_command(L"anything"), L"");
  EXPECT_EQ(state.request_count(), 1u);
}

// A setup method's request is busy while it runs and counted as a command
// is, also when it throws; the setup is nobody's until set.
TEST(ProxyStateTest, SetupRequestsAreServedAsCommandsAre) {
  ProxyState state(milliseconds(0));
  EXPECT_FALSE(state.run_setup().open_port) << "no setup before the HTTP side gives one";
  bool busy_inside = false;
  EXPECT_EQ(state.serve([&] {
    busy_inside = state.busy();
    return 7;
  }), 7);
  EXPECT_TRUE(busy_inside);
  EXPECT_THROW(state.serve([]() -> int { throw std::runtime_error("no port"); }), std::runtime_error);
  EXPECT_FALSE(state.busy());
  EXPECT_EQ(state.request_count(), 2u);
  state.set_run_setup(RunSetup{[](const std::string&) -> std::uint16_t { return 4321; }, nullptr, nullptr});
  EXPECT_EQ(state.run_setup().open_port("r"), 4321);
}

}  // namespace
}  // namespace Tavrin::Proxy
