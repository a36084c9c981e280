#include "proxy/handler_calls.h"

#include <atomic>
#include <exception>
#include <stdexcept>
#include <thread>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

namespace Tavrin::Proxy {

struct HandlerCalls::Call {
  std::atomic<bool> done{false};
  std::wstring answer;
  std::exception_ptr error;
};

HandlerCalls::Outcome HandlerCalls::start(const std::shared_ptr<Network::RunNetwork>& network, const std::string& owner,
                                          const std::string& id, Work work) {
  auto call = std::make_shared<Call>();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!calls_.emplace(id, call).second) throw std::invalid_argument("the call " + id + " is made already");
  }
  std::thread([call, network, work = std::move(work)] {
    try {
      call->answer = work();
    } catch (...) {
      call->error = std::current_exception();
    }
    call->done.store(true);
    network->handlers.poke();
  }).detach();
  return resume(network, owner, id);
}

HandlerCalls::Outcome HandlerCalls::resume(const std::shared_ptr<Network::RunNetwork>& network,
                                           const std::string& owner, const std::string& id) {
  std::shared_ptr<Call> call;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = calls_.find(id);
    if (it == calls_.end()) throw std::invalid_argument("there is no call " + id + " to come back to");
    call = it->second;
  }
  Outcome out;
  do {
    out.due = network->handlers.wait(owner, Network::HandlerQueue::Clock::now() + std::chrono::hours(1),
                                     [&call] { return call->done.load(); });
    if (!out.due.empty()) return out;
  } while (!call->done.load());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.erase(id);
  }
  if (call->error) std::rethrow_exception(call->error);
  out.answer = std::move(call->answer);
  return out;
}

std::size_t HandlerCalls::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_.size();
}

HandlerCalls& handler_calls() {
  static HandlerCalls calls;
  return calls;
}

std::string due_json(const Network::HandlerQueue::Due& due) {
  namespace json = boost::json;
  json::object out;
  out["ok"] = false;
  if (due.held) {
    json::object held;
    held["id"] = due.held->id;
    held["handler"] = due.held->handler;
    held["route"] = due.held->label;
    boost::system::error_code ec;
    held["request"] = json::parse(due.held->request, ec);
    out["due"] = std::move(held);
  }
  json::array missed;
  for (const auto& note : due.missed) missed.emplace_back(note);
  out["missed"] = std::move(missed);
  return json::serialize(out);
}

}  // namespace Tavrin::Proxy
