#include "proxy/network/route_table.h"

#include <algorithm>

namespace Tavrin::Proxy::Network {

namespace {

// Takes one of `rule`'s matches; false when it has none left. Exact also
// when several event loops take matches of the same rule at once.
bool take_match(RouteRule& rule) {
  if (!rule.times) {
    rule.taken.fetch_add(1);
    return true;
  }
  std::uint64_t taken = rule.taken.load();
  do {
    if (taken >= *rule.times) return false;
  } while (!rule.taken.compare_exchange_weak(taken, taken + 1));
  return true;
}

}  // namespace

std::shared_ptr<const RouteTable::Rules> RouteTable::snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rules_;
}

template <class Change>
void RouteTable::rewrite(Change&& change) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto rules = std::make_shared<Rules>(*rules_);
  change(*rules);
  count_.store(rules->size(), std::memory_order_release);
  rules_ = std::move(rules);
}

void RouteTable::add(std::shared_ptr<RouteRule> rule) {
  rewrite([&](Rules& rules) { rules.push_back(std::move(rule)); });
}

std::size_t RouteTable::remove(const std::string& key) {
  std::size_t removed = 0;
  rewrite([&](Rules& rules) {
    removed = std::erase_if(rules, [&](const auto& rule) { return rule->pattern.key() == key; });
  });
  return removed;
}

std::size_t RouteTable::remove_handlers(const std::string& owner) {
  std::size_t removed = 0;
  rewrite([&](Rules& rules) {
    removed = std::erase_if(rules, [&](const auto& rule) { return rule->handler && rule->handler->owner == owner; });
  });
  return removed;
}

void RouteTable::clear() {
  rewrite([](Rules& rules) { rules.clear(); });
}

std::shared_ptr<const RouteRule> RouteTable::take(std::string_view url, std::string_view method) {
  return take_after(url, method, nullptr);
}

std::shared_ptr<const RouteRule> RouteTable::take_after(std::string_view url, std::string_view method,
                                                        const RouteRule* after) {
  if (empty()) return nullptr;
  const auto rules = snapshot();
  auto it = rules->rbegin();
  if (after) {
    while (it != rules->rend() && it->get() != after) ++it;
    if (it != rules->rend()) ++it;
  }
  for (; it != rules->rend(); ++it) {
    RouteRule& rule = **it;
    if (rule.times && rule.taken.load() >= *rule.times) continue;
    if (rule.pattern.matches(url, method) && take_match(rule)) return *it;
  }
  return nullptr;
}

std::shared_ptr<const RouteRule> RouteTable::peek(std::string_view url, std::string_view method) const {
  if (empty()) return nullptr;
  const auto rules = snapshot();
  for (auto it = rules->rbegin(); it != rules->rend(); ++it) {
    const RouteRule& rule = **it;
    if (rule.times && rule.taken.load() >= *rule.times) continue;
    if (rule.pattern.matches(url, method)) return *it;
  }
  return nullptr;
}

std::size_t RouteTable::size() const { return snapshot()->size(); }

}  // namespace Tavrin::Proxy::Network
