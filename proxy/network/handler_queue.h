// The requests of a run held for its scripts' handler functions. A
// request that a handler's rule takes is held here (hold) until the
// script that owns the handler takes it and answers with an action; the
// script takes it while it waits in the proxy (a page command, a wait for
// a request, a sleep), and a call of the script that waits there is
// interrupted for it (wait returns the due request, and the script comes
// back to the call once the handler has answered).
//
// A held request that its script has not taken within the rule's limit
// is dropped (expire): the proxy answers it 504, and the script is told
// at its next wait (the notes of missed requests), so that the test that
// runs then records the error. The run's end, or the script's (end_owner),
// ends every hold that is left.
//
// Thread-safe. The proxy's side waits on its own event loop: `wake` of a
// held request is called, from any thread, once its state has changed.
#ifndef QUORVANE_PROXY_NETWORK_HANDLER_QUEUE_H_
#define QUORVANE_PROXY_NETWORK_HANDLER_QUEUE_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "proxy/network/route_rule.h"

namespace Tavrin::Proxy::Network {

struct HeldRequest {
  enum class State { kWaiting, kTaken, kAnswered, kExpired, kEnded };

  std::string owner;    // the script whose handler answers
  std::string handler;  // the handler's id in that script
  std::string label;    // the rule's pattern as the script wrote it
  std::string request;  // the request as a JSON object, as requests() gives it
  std::string summary;  // "METHOD URL", for notes
  // Called from any thread once the state changed; set before hold().
  std::function<void()> wake;

  // Set by hold(); read under the queue's lock through HandlerQueue.
  std::string id;
  State state = State::kWaiting;
  // Once answered (and only then read, by the proxy's side, without the
  // lock: nothing changes them after): the handler's action (none: the
  // request goes on unchanged) or, when it threw, its error.
  std::optional<RouteAction> action;
  std::string error;
};

class HandlerQueue {
 public:
  using Clock = std::chrono::steady_clock;

  // What a waiting script gets: a request due for one of its handlers
  // (null: none) and the notes of the requests it missed.
  struct Due {
    std::shared_ptr<HeldRequest> held;
    std::vector<std::string> missed;
    bool empty() const { return !held && missed.empty(); }
  };

  // --- The proxy's side.
  // Holds `held` for its owner; its id is set. A queue that has ended
  // ends it at once (wake is called).
  void hold(const std::shared_ptr<HeldRequest>& held);
  // The hold's limit has passed: a request not yet taken is dropped and
  // its note kept for the owner (true, with `waited` in the note); false
  // when the script has it already.
  bool expire(const std::shared_ptr<HeldRequest>& held, std::chrono::milliseconds waited);
  // The script took the request and its handler has not answered in
  // time: the hold ends (the handler's answer, when it comes, is refused).
  void give_up(const std::shared_ptr<HeldRequest>& held);
  HeldRequest::State state(const HeldRequest& held) const;

  // --- The scripts' side.
  // Waits until `owner` has a due request or a note, `done()` holds (it is
  // asked under the queue's lock; poke() makes waiters ask again) or
  // `deadline` passes. A due request returned is taken.
  Due wait(const std::string& owner, Clock::time_point deadline, const std::function<bool()>& done = nullptr);
  // The handler's answer to the held request `id` of `owner`: an action
  // (none: the request goes on) or, with `error` set, the handler threw.
  // False for a request not held (any more) for that owner.
  bool answer(const std::string& owner, const std::string& id, std::optional<RouteAction> action,
              std::string error);
  // A waiter's done() may hold now.
  void poke();

  // The script `owner` ended: its held requests end, its notes go.
  void end_owner(const std::string& owner);
  // The run ended: every hold ends and no more are taken.
  void close();

 private:
  void end_hold(HeldRequest& held, std::vector<std::function<void()>>& wakes);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool closed_ = false;
  std::uint64_t next_id_ = 1;
  // Every hold not yet answered or ended, by id; those not yet taken in
  // the order they came, per owner.
  std::map<std::string, std::shared_ptr<HeldRequest>> held_;
  std::map<std::string, std::deque<std::shared_ptr<HeldRequest>>> waiting_;
  std::map<std::string, std::vector<std::string>> missed_;
};

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_HANDLER_QUEUE_H_
