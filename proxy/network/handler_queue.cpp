#include "proxy/network/handler_queue.h"

#include <algorithm>

namespace Tavrin::Proxy::Network {

namespace {

void call_all(std::vector<std::function<void()>>& wakes) {
  for (auto& wake : wakes) {
    if (wake) wake();
  }
}

}  // namespace

void HandlerQueue::hold(const std::shared_ptr<HeldRequest>& held) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held->id = "held-" + std::to_string(next_id_++);
    if (!closed_) {
      held->state = HeldRequest::State::kWaiting;
      held_[held->id] = held;
      waiting_[held->owner].push_back(held);
    } else {
      held->state = HeldRequest::State::kEnded;
    }
  }
  changed_.notify_all();
  if (held->state == HeldRequest::State::kEnded && held->wake) held->wake();
}

bool HandlerQueue::expire(const std::shared_ptr<HeldRequest>& held, std::chrono::milliseconds waited) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (held->state != HeldRequest::State::kWaiting) return false;
  held->state = HeldRequest::State::kExpired;
  held_.erase(held->id);
  auto& queue = waiting_[held->owner];
  queue.erase(std::remove(queue.begin(), queue.end(), held), queue.end());
  missed_[held->owner].push_back("the request " + held->summary + " waited " + std::to_string(waited.count()) +
                                 " ms for the handler of route " + held->label +
                                 " while the script was busy elsewhere; it was answered 504");
  return true;
}

void HandlerQueue::give_up(const std::shared_ptr<HeldRequest>& held) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (held->state != HeldRequest::State::kTaken) return;
  held->state = HeldRequest::State::kExpired;
  held_.erase(held->id);
}

HeldRequest::State HandlerQueue::state(const HeldRequest& held) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held.state;
}

HandlerQueue::Due HandlerQueue::wait(const std::string& owner, Clock::time_point deadline,
                                     const std::function<bool()>& done) {
  std::unique_lock<std::mutex> lock(mutex_);
  Due due;
  for (;;) {
    if (auto notes = missed_.find(owner); notes != missed_.end() && !notes->second.empty()) {
      due.missed = std::move(notes->second);
      missed_.erase(notes);
    }
    if (auto queue = waiting_.find(owner); queue != waiting_.end() && !queue->second.empty()) {
      due.held = queue->second.front();
      queue->second.pop_front();
      due.held->state = HeldRequest::State::kTaken;
    }
    if (!due.empty() || (done && done())) return due;
    if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
      if (done && done()) return due;
      // One more look: what came with the timeout is not missed.
      if (waiting_[owner].empty() && missed_[owner].empty()) return due;
    }
  }
}

bool HandlerQueue::answer(const std::string& owner, const std::string& id, std::optional<RouteAction> action,
                          std::string error) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = held_.find(id);
    if (it == held_.end() || it->second->owner != owner) return false;
    HeldRequest& held = *it->second;
    if (held.state == HeldRequest::State::kWaiting) {
      auto& queue = waiting_[owner];
      queue.erase(std::remove(queue.begin(), queue.end(), it->second), queue.end());
    }
    held.state = HeldRequest::State::kAnswered;
    held.action = std::move(action);
    held.error = std::move(error);
    wake = held.wake;
    held_.erase(it);
  }
  if (wake) wake();
  return true;
}

void HandlerQueue::poke() {
  // Taken and let go, so that a waiter between its look and its wait
  // cannot miss the notification.
  { std::lock_guard<std::mutex> lock(mutex_); }
  changed_.notify_all();
}

void HandlerQueue::end_hold(HeldRequest& held, std::vector<std::function<void()>>& wakes) {
  held.state = HeldRequest::State::kEnded;
  wakes.push_back(held.wake);
}

void HandlerQueue::end_owner(const std::string& owner) {
  std::vector<std::function<void()>> wakes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = held_.begin(); it != held_.end();) {
      if (it->second->owner == owner) {
        end_hold(*it->second, wakes);
        it = held_.erase(it);
      } else {
        ++it;
      }
    }
    waiting_.erase(owner);
    missed_.erase(owner);
  }
  changed_.notify_all();
  call_all(wakes);
}

void HandlerQueue::close() {
  std::vector<std::function<void()>> wakes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    for (auto& [id, held] : held_) end_hold(*held, wakes);
    held_.clear();
    waiting_.clear();
    missed_.clear();
  }
  changed_.notify_all();
  call_all(wakes);
}

}  // namespace Tavrin::Proxy::Network
