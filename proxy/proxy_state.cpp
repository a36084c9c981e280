#include "proxy/proxy_state.h"

namespace Tavrin::Proxy {

ProxyState::ProxyState(std::chrono::milliseconds grace, CommandHandler handler)
    : grace_end_(Clock::now() + grace), handler_(std::move(handler)) {}

std::uint64_t ProxyState::add_client() {
  std::lock_guard<std::mutex> lock(mutex_);
  return next_client_++;
}

void ProxyState::remove_client(std::uint64_t client) {
  std::lock_guard<std::mutex> lock(mutex_);
  holders_.erase(client);
}

void ProxyState::set_stop(std::uint64_t client, bool stop) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop)
    holders_.erase(client);
  else
    holders_.insert(client);
}

std::wstring ProxyState::run_command(const std::wstring& command) {
  return serve([&] { return handler_ ? handler_(command) : std::wstring(); });
}

void ProxyState::request_started() { ++in_flight_; }

// Counted as served before it stops being in flight: whoever sees nothing
// in flight sees the count that includes it.
void ProxyState::request_finished() {
  ++served_;
  --in_flight_;
}

bool ProxyState::busy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !holders_.empty() || in_flight_ > 0 || Clock::now() < grace_end_;
}

void ProxyState::set_networks(std::shared_ptr<Network::RunNetworks> networks) {
  std::lock_guard<std::mutex> lock(mutex_);
  networks_ = std::move(networks);
}

std::shared_ptr<Network::RunNetworks> ProxyState::networks() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return networks_;
}

void ProxyState::set_run_setup(RunSetup setup) {
  std::lock_guard<std::mutex> lock(mutex_);
  run_setup_ = std::move(setup);
}

RunSetup ProxyState::run_setup() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return run_setup_;
}

std::uint64_t ProxyState::request_count() const { return served_; }

}  // namespace Tavrin::Proxy
