#include "proxy/http/handler_call.h"

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>

#include "proxy/http/stream_relay.h"

namespace Tavrin::Proxy::Http {

namespace {

using Network::HeldRequest;

Network::RouteAction made_answer(int status, const std::string& why) {
  Network::RouteAction action;
  action.fulfil.emplace();
  action.fulfil->status = status;
  action.fulfil->body = why;
  action.fulfil->content_type = "text/plain; charset=utf-8";
  return action;
}

}  // namespace

asio::awaitable<std::optional<Network::RouteAction>> ask_handler(Network::HandlerQueue& queue,
                                                                 const Network::RouteRule& rule,
                                                                 const std::shared_ptr<Network::LoggedRequest>& entry,
                                                                 Network::RequestLog& log,
                                                                 std::chrono::milliseconds taken_limit) {
  const auto executor = co_await asio::this_coro::executor;
  auto timer = std::make_shared<asio::steady_timer>(executor);
  auto held = std::make_shared<HeldRequest>();
  held->owner = rule.handler->owner;
  held->handler = rule.handler->id;
  held->label = rule.label;
  Network::LoggedRequest now;
  log.update(entry, [&](Network::LoggedRequest& r) { now = r; });
  held->request = Network::request_json(now);
  held->summary = now.method + " " + now.url;
  // The answer comes on a thread of the script's call: the timer is
  // cancelled on its own loop, which runs this coroutine alone, so the
  // wake cannot come between the look at the state and the wait.
  held->wake = [executor, weak = std::weak_ptr<asio::steady_timer>(timer)] {
    asio::post(executor, [weak] {
      if (auto t = weak.lock()) t->cancel();
    });
  };
  const auto start = std::chrono::steady_clock::now();
  auto deadline = start + rule.handler->limit;
  bool taken_wait = false;
  queue.hold(held);
  for (;;) {
    const HeldRequest::State state = queue.state(*held);
    switch (state) {
      case HeldRequest::State::kAnswered:
        if (!held->error.empty()) co_return made_answer(500, "The route's handler failed: " + held->error);
        co_return std::move(held->action);
      case HeldRequest::State::kEnded:
        co_return made_answer(503, "The script of the route's handler ended before it answered");
      case HeldRequest::State::kExpired:
        co_return made_answer(504, "The route's handler did not answer in time");
      case HeldRequest::State::kWaiting:
      case HeldRequest::State::kTaken:
        break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
      if (state == HeldRequest::State::kWaiting && queue.expire(held, waited))
        co_return made_answer(504, "The script was busy elsewhere for " + std::to_string(waited.count()) +
                                       " ms and did not run the route's handler");
      if (state == HeldRequest::State::kTaken && !taken_wait) {
        // The handler runs: it has the proxy's read limit to answer.
        taken_wait = true;
        deadline = std::chrono::steady_clock::now() + taken_limit;
      } else if (state == HeldRequest::State::kTaken) {
        queue.give_up(held);
        continue;
      }
    }
    timer->expires_at(deadline);
    co_await timer->async_wait(kTuple);
  }
}

}  // namespace Tavrin::Proxy::Http
