// A script's call that waits in the proxy while it has handlers: it ends
// early for a request due to the script's handler, the script comes back
// to the same call (made once), and gets its answer or its failure.
#include "proxy/handler_calls.h"

#include <future>
#include <stdexcept>
#include <thread>

#include <boost/json/parse.hpp>
#include <gtest/gtest.h>

namespace Tavrin::Proxy {
namespace {

using namespace std::chrono_literals;

std::shared_ptr<Network::HeldRequest> held_for(const std::string& owner) {
  auto held = std::make_shared<Network::HeldRequest>();
  held->owner = owner;
  held->handler = "4";
  held->label = "**/api";
  held->summary = "POST http://a.test/api";
  held->request = R"({"url": "http://a.test/api", "postData": "x=1"})";
  return held;
}

TEST(HandlerCalls, ACallEndsEarlyForADueHandlerAndIsComeBackTo) {
  HandlerCalls calls;
  auto network = std::make_shared<Network::RunNetwork>(Network::LogLimits{});
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  int made = 0;
  auto held = held_for("script-1");
  network->handlers.hold(held);
  const HandlerCalls::Outcome first = calls.start(network, "script-1", "call-1", [&made, released] {
    ++made;
    released.wait();
    return std::wstring(L"{\"ok\": true, \"page\": \"page-1\"}");
  });
  ASSERT_FALSE(first.answer);
  ASSERT_EQ(first.due.held, held);
  const auto due = boost::json::parse(due_json(first.due)).as_object();
  EXPECT_EQ(due.at("due").at("handler"), "4");
  EXPECT_EQ(due.at("due").at("route"), "**/api");
  EXPECT_EQ(due.at("due").at("request").at("postData"), "x=1");
  EXPECT_TRUE(due.at("missed").as_array().empty());
  ASSERT_TRUE(network->handlers.answer("script-1", held->id, std::nullopt, ""));
  // Back to the same call: it ends with the work's answer, made once.
  auto resumed = std::async(std::launch::async, [&] { return calls.resume(network, "script-1", "call-1"); });
  EXPECT_EQ(resumed.wait_for(100ms), std::future_status::timeout) << "the call ended before its work";
  release.set_value();
  const HandlerCalls::Outcome last = resumed.get();
  ASSERT_TRUE(last.answer);
  EXPECT_EQ(*last.answer, L"{\"ok\": true, \"page\": \"page-1\"}");
  EXPECT_EQ(made, 1);
  EXPECT_EQ(calls.size(), 0u);
  EXPECT_THROW(calls.resume(network, "script-1", "call-1"), std::invalid_argument);
}

TEST(HandlerCalls, AnotherScriptsHandlerDoesNotEndTheCallAndFailuresComeThrough) {
  HandlerCalls calls;
  auto network = std::make_shared<Network::RunNetwork>(Network::LogLimits{});
  network->handlers.hold(held_for("script-2"));
  const HandlerCalls::Outcome plain = calls.start(network, "script-1", "call-2", [] {
    std::this_thread::sleep_for(50ms);
    return std::wstring(L"done");
  });
  ASSERT_TRUE(plain.answer);
  EXPECT_EQ(*plain.answer, L"done");
  EXPECT_THROW(calls.start(network, "script-1", "call-3", []() -> std::wstring { throw std::runtime_error("no page"); }),
               std::runtime_error);
  EXPECT_EQ(calls.size(), 0u);
}

}  // namespace
}  // namespace Tavrin::Proxy
