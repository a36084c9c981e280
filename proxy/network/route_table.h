// The routes of one run, newest first. A request that no rule matches
// costs one atomic read while the run has no rules, and a pass over the
// patterns when it has some. That pass runs on a snapshot of the rules,
// outside the lock: the event loops match their requests side by side.
//
// Thread-safe.
#ifndef QUORVANE_PROXY_NETWORK_ROUTE_TABLE_H_
#define QUORVANE_PROXY_NETWORK_ROUTE_TABLE_H_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/network/route_rule.h"

namespace Tavrin::Proxy::Network {

class RouteTable {
 public:
  // `rule` is tried before every rule added earlier.
  void add(std::shared_ptr<RouteRule> rule);
  // Removes the rules added with pattern key `key`; returns how many.
  std::size_t remove(const std::string& key);
  void clear();
  // Removes the handler rules of the script `owner`; returns how many.
  std::size_t remove_handlers(const std::string& owner);

  // The newest rule that matches and has matches left, its match taken;
  // null when none does.
  std::shared_ptr<const RouteRule> take(std::string_view url, std::string_view method);
  // The same among the rules older than `after` (a rule that passed the
  // request on); null when none is.
  std::shared_ptr<const RouteRule> take_after(std::string_view url, std::string_view method, const RouteRule* after);
  // The rule take() would give, its match not taken.
  std::shared_ptr<const RouteRule> peek(std::string_view url, std::string_view method) const;

  bool empty() const { return count_.load(std::memory_order_acquire) == 0; }
  std::size_t size() const;

 private:
  using Rules = std::vector<std::shared_ptr<RouteRule>>;  // oldest first

  std::shared_ptr<const Rules> snapshot() const;
  // Sets the rules to `change` applied to a copy of them.
  template <class Change>
  void rewrite(Change&& change);

  mutable std::mutex mutex_;
  std::shared_ptr<const Rules> rules_ = std::make_shared<const Rules>();
  std::atomic<std::size_t> count_{0};
};

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_ROUTE_TABLE_H_
