#include "proxy/run_table.h"

#include <algorithm>

namespace Tavrin::Proxy {

RunTable::RunTable(RunLimits limits) : limits_(limits) {}

std::optional<std::uint16_t> RunTable::port_of(const std::string& run, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = runs_.find(run);
  if (it == runs_.end()) return std::nullopt;
  it->second.active = now;
  return it->second.port;
}

std::string RunTable::run_of_port(std::uint16_t port, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = by_port_.find(port);
  if (it == by_port_.end()) return std::string();
  runs_[it->second].active = now;
  return it->second;
}

bool RunTable::is_run_port(std::uint16_t port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return by_port_.count(port) != 0;
}

bool RunTable::full() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runs_.size() >= limits_.max_runs;
}

void RunTable::add(const std::string& run, std::uint16_t port, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [it, added] = runs_.try_emplace(run);
  // A run that moves keeps its browsers; only its old port goes.
  if (!added) by_port_.erase(it->second.port);
  it->second.port = port;
  it->second.active = now;
  by_port_[port] = run;
}

bool RunTable::add_browser(const std::string& run, const RunBrowser& browser, Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = runs_.find(run);
  if (it == runs_.end()) return false;
  it->second.active = now;
  std::vector<RunBrowser>& browsers = it->second.browsers;
  if (std::find(browsers.begin(), browsers.end(), browser) != browsers.end()) return true;
  browsers.push_back(browser);
  if (browsers.size() > kMaxBrowsers) browsers.erase(browsers.begin());
  return true;
}

std::vector<RunBrowser> RunTable::browsers_of_port(std::uint16_t port) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = by_port_.find(port);
  if (it == by_port_.end()) return {};
  return runs_.at(it->second).browsers;
}

std::vector<std::uint16_t> RunTable::drop_idle(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::uint16_t> dropped;
  for (auto it = runs_.begin(); it != runs_.end();) {
    if (now - it->second.active > limits_.idle_limit) {
      dropped.push_back(it->second.port);
      by_port_.erase(it->second.port);
      it = runs_.erase(it);
    } else {
      ++it;
    }
  }
  return dropped;
}

std::vector<std::uint16_t> RunTable::drop_all() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::uint16_t> dropped;
  for (const auto& [run, entry] : runs_) dropped.push_back(entry.port);
  runs_.clear();
  by_port_.clear();
  return dropped;
}

std::vector<std::string> RunTable::ids() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> out;
  for (const auto& [run, entry] : runs_) out.push_back(run);
  return out;
}

std::size_t RunTable::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return runs_.size();
}

}  // namespace Tavrin::Proxy
