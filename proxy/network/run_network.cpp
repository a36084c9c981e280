#include "proxy/network/run_network.h"

#include <algorithm>

namespace Tavrin::Proxy::Network {

std::shared_ptr<RunNetwork> RunNetworks::of(const std::string& run) {
  std::lock_guard<std::mutex> lock(mutex_);
  Entry& entry = runs_[run];
  if (!entry.network) entry.network = std::make_shared<RunNetwork>(limits_);
  entry.asked = std::chrono::steady_clock::now();
  return entry.network;
}

std::shared_ptr<RunNetwork> RunNetworks::find(const std::string& run) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = runs_.find(run);
  return it == runs_.end() ? nullptr : it->second.network;
}

void RunNetworks::drop(const std::string& run) {
  std::shared_ptr<RunNetwork> gone;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = runs_.find(run);
    if (it == runs_.end()) return;
    gone = std::move(it->second.network);
    runs_.erase(it);
  }
  // Requests held for the run's handlers are answered now, not at their limit.
  gone->handlers.close();
}

void RunNetworks::drop_idle(const std::vector<std::string>& live, std::chrono::milliseconds idle) {
  const auto now = std::chrono::steady_clock::now();
  std::vector<std::shared_ptr<RunNetwork>> gone;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = runs_.begin(); it != runs_.end();) {
      const bool is_live = std::find(live.begin(), live.end(), it->first) != live.end();
      if (!is_live && now - it->second.asked > idle) {
        gone.push_back(std::move(it->second.network));
        it = runs_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (const auto& network : gone) network->handlers.close();
}

std::size_t RunNetworks::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runs_.size();
}

}  // namespace Tavrin::Proxy::Network
