#include "proxy/network/route_table.h"

#include <algorithm>

namespace Tavrin::Proxy::Network {

void RouteTable::add(std::shared_ptr<RouteRule> rule) {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.push_back(std::move(rule));
  count_.store(rules_.size(), std::memory_order_release);
}

std::size_t RouteTable::remove(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto before = rules_.size();
  std::erase_if(rules_, [&](const auto& rule) { return rule->pattern.key() == key; });
  count_.store(rules_.size(), std::memory_order_release);
  return before - rules_.size();
}

void RouteTable::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  rules_.clear();
  count_.store(0, std::memory_order_release);
}

std::shared_ptr<const RouteRule> RouteTable::take(std::string_view url, std::string_view method) {
  return take_after(url, method, nullptr);
}

std::shared_ptr<const RouteRule> RouteTable::take_after(std::string_view url, std::string_view method,
                                                        const RouteRule* after) {
  if (empty()) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = rules_.rbegin();
  if (after) {
    while (it != rules_.rend() && it->get() != after) ++it;
    if (it != rules_.rend()) ++it;
  }
  for (; it != rules_.rend(); ++it) {
    RouteRule& rule = **it;
    if (rule.times && rule.taken.load() >= *rule.times) continue;
    if (!rule.pattern.matches(url, method)) continue;
    rule.taken.fetch_add(1);
    return *it;
  }
  return nullptr;
}

std::shared_ptr<const RouteRule> RouteTable::peek(std::string_view url, std::string_view method) const {
  if (empty()) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto it = rules_.rbegin(); it != rules_.rend(); ++it) {
    const RouteRule& rule = **it;
    if (rule.times && rule.taken.load() >= *rule.times) continue;
    if (rule.pattern.matches(url, method)) return *it;
  }
  return nullptr;
}

std::size_t RouteTable::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return rules_.size();
}

}  // namespace Tavrin::Proxy::Network
