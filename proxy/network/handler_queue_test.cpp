// The requests held for a script's handlers: only their own script takes
// them, an answer or an end wakes the proxy's side, a request not taken in
// time becomes a note for the script, and a waiting call comes back when
// its own work is done.
#include "proxy/network/handler_queue.h"

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "proxy/network/route_rule.h"

namespace Tavrin::Proxy::Network {
namespace {

using namespace std::chrono_literals;
using State = HeldRequest::State;

std::shared_ptr<HeldRequest> held_for(const std::string& owner, std::atomic<int>* wakes = nullptr) {
  auto held = std::make_shared<HeldRequest>();
  held->owner = owner;
  held->handler = "1";
  held->label = "**/api";
  held->summary = "GET http://a.test/api";
  held->request = R"({"url": "http://a.test/api"})";
  if (wakes) held->wake = [wakes] { ++*wakes; };
  return held;
}

HandlerQueue::Clock::time_point soon(std::chrono::milliseconds ms = 0ms) { return HandlerQueue::Clock::now() + ms; }

TEST(HandlerQueue, OnlyTheOwnerTakesItsRequestsInOrder) {
  HandlerQueue queue;
  std::atomic<int> wakes{0};
  auto first = held_for("script-a", &wakes), second = held_for("script-a", &wakes), other = held_for("script-b");
  queue.hold(first);
  queue.hold(other);
  queue.hold(second);
  EXPECT_NE(first->id, second->id);
  EXPECT_EQ(queue.wait("script-a", soon()).held, first);
  EXPECT_EQ(queue.state(*first), State::kTaken);
  EXPECT_EQ(queue.wait("script-a", soon()).held, second);
  EXPECT_TRUE(queue.wait("script-a", soon(20ms)).empty());
  EXPECT_EQ(queue.state(*other), State::kWaiting);
  // A script answers only its own requests, each once.
  EXPECT_FALSE(queue.answer("script-b", first->id, std::nullopt, ""));
  EXPECT_TRUE(queue.answer("script-a", first->id, read_handler_action(R"({"status": 201, "body": "x"})", "a"), ""));
  EXPECT_FALSE(queue.answer("script-a", first->id, std::nullopt, ""));
  EXPECT_EQ(queue.state(*first), State::kAnswered);
  ASSERT_TRUE(first->action && first->action->fulfil);
  EXPECT_EQ(first->action->fulfil->status, 201);
  EXPECT_EQ(wakes.load(), 1);
  EXPECT_TRUE(queue.answer("script-a", second->id, std::nullopt, "TypeError: x is undefined (line 3)"));
  EXPECT_EQ(second->error, "TypeError: x is undefined (line 3)");
  EXPECT_FALSE(second->action);
}

TEST(HandlerQueue, AWaiterWakesForARequestThatComesLater) {
  HandlerQueue queue;
  auto held = held_for("script-a");
  std::thread later([&] {
    std::this_thread::sleep_for(50ms);
    queue.hold(held);
  });
  const auto due = queue.wait("script-a", soon(10s));
  later.join();
  EXPECT_EQ(due.held, held);
}

TEST(HandlerQueue, ARequestNotTakenInTimeBecomesANote) {
  HandlerQueue queue;
  auto missed = held_for("script-a"), taken = held_for("script-a");
  queue.hold(missed);
  EXPECT_TRUE(queue.expire(missed, 10000ms));
  EXPECT_EQ(queue.state(*missed), State::kExpired);
  EXPECT_FALSE(queue.answer("script-a", missed->id, std::nullopt, ""));
  queue.hold(taken);
  const auto due = queue.wait("script-a", soon());
  EXPECT_EQ(due.held, taken);
  ASSERT_EQ(due.missed.size(), 1u);
  EXPECT_NE(due.missed[0].find("GET http://a.test/api waited 10000 ms"), std::string::npos) << due.missed[0];
  EXPECT_NE(due.missed[0].find("504"), std::string::npos);
  // Taken: it is the script's now, no note; a handler too slow is let go.
  EXPECT_FALSE(queue.expire(taken, 10000ms));
  queue.give_up(taken);
  EXPECT_EQ(queue.state(*taken), State::kExpired);
  EXPECT_FALSE(queue.answer("script-a", taken->id, std::nullopt, ""));
  EXPECT_TRUE(queue.wait("script-a", soon()).empty());
}

TEST(HandlerQueue, TheScriptsOrTheRunsEndEndsItsHolds) {
  HandlerQueue queue;
  std::atomic<int> wakes{0};
  auto a = held_for("script-a", &wakes), b = held_for("script-b", &wakes);
  queue.hold(a);
  queue.hold(b);
  queue.end_owner("script-a");
  EXPECT_EQ(queue.state(*a), State::kEnded);
  EXPECT_EQ(queue.state(*b), State::kWaiting);
  EXPECT_EQ(wakes.load(), 1);
  queue.close();
  EXPECT_EQ(queue.state(*b), State::kEnded);
  EXPECT_EQ(wakes.load(), 2);
  auto late = held_for("script-b", &wakes);
  queue.hold(late);
  EXPECT_EQ(queue.state(*late), State::kEnded);
  EXPECT_EQ(wakes.load(), 3);
  EXPECT_TRUE(queue.wait("script-b", soon()).empty());
}

TEST(HandlerQueue, AWaitEndsWhenItsOwnWorkIsDone) {
  HandlerQueue queue;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(50ms);
    done = true;
    queue.poke();
  });
  const auto started = HandlerQueue::Clock::now();
  const auto due = queue.wait("script-a", soon(30s), [&] { return done.load(); });
  worker.join();
  EXPECT_TRUE(due.empty());
  EXPECT_TRUE(done.load());
  EXPECT_LT(HandlerQueue::Clock::now() - started, 20s) << "the wait ran to its deadline";
}

TEST(HandlerRules, AHandlerRuleAndAHandlersAction) {
  const auto rule = read_route_rule(
      R"({"pattern": {"glob": "**/api"}, "handler": {"owner": "o-1", "id": "2", "limit": 500}, "times": 1})");
  ASSERT_TRUE(rule->handler);
  EXPECT_EQ(rule->handler->owner, "o-1");
  EXPECT_EQ(rule->handler->id, "2");
  EXPECT_EQ(rule->handler->limit, 500ms);
  EXPECT_EQ(rule->times, 1u);
  auto fails = [](const std::string& json) {
    try {
      read_route_rule(json);
    } catch (const BadInput& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(fails(R"({"pattern": {"glob": "*"}, "handler": {"owner": "o"}})"), "route(): the handler names no owner and id");
  EXPECT_EQ(fails(R"({"pattern": {"glob": "*"}, "handler": {"owner": "o", "id": "1"}, "action": {"body": "x"}})"),
            "route(): the rule has both an action and a handler");
  EXPECT_EQ(fails(R"({"pattern": {"glob": "*"}, "handler": {"owner": "o", "id": "1", "limit": 0}})"),
            "route(): the handler.limit is 0, less than 1");
  // What a handler gives back: nothing or {} lets the request go on.
  EXPECT_FALSE(read_handler_action("", "the handler's action"));
  EXPECT_FALSE(read_handler_action("{}", "the handler's action"));
  EXPECT_TRUE(read_handler_action(R"({"abort": "reset"})", "the handler's action")->abort);
  try {
    read_handler_action(R"({"abort": "later"})", "the handler's action");
    ADD_FAILURE() << "an unknown abort kind was taken";
  } catch (const BadInput& e) {
    EXPECT_STREQ(e.what(), "the handler's action.abort \"later\" is not one of reset, refused, timeout, empty, malformed");
  }
}

}  // namespace
}  // namespace Tavrin::Proxy::Network
