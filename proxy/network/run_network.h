// The network control of the runs: for each run, its routes and its
// request log. A run's entry is made when its script first asks for it
// (a route, a query) or when its port is opened, and goes with the run,
// so that a rule ends with its run and no run sees another's traffic.
//
// Thread-safe; an entry handed out stays valid for as long as it is held.
#ifndef QUORVANE_PROXY_NETWORK_RUN_NETWORK_H_
#define QUORVANE_PROXY_NETWORK_RUN_NETWORK_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <chrono>

#include "proxy/network/handler_queue.h"
#include "proxy/network/har_writer.h"
#include "proxy/network/request_log.h"
#include "proxy/network/route_table.h"

namespace Tavrin::Proxy::Network {

struct RunNetwork {
  explicit RunNetwork(LogLimits limits) : log(limits) {}
  RouteTable routes;
  RequestLog log;
  HandlerQueue handlers;
};

class RunNetworks {
 public:
  explicit RunNetworks(LogLimits limits = {}, HarContent har_content = HarContent::kOmit)
      : limits_(limits), har_content_(har_content) {}

  // How the runs' archives carry bodies ("proxy"/"har_content").
  HarContent har_content() const { return har_content_; }

  // The entry of `run`, made when there is none.
  std::shared_ptr<RunNetwork> of(const std::string& run);
  // The entry of `run`, or null.
  std::shared_ptr<RunNetwork> find(const std::string& run) const;
  // The run has ended: its rules and requests go.
  void drop(const std::string& run);
  // Drops the runs not in `live` that nobody asked for within `idle`.
  void drop_idle(const std::vector<std::string>& live, std::chrono::milliseconds idle);
  std::size_t size() const;

 private:
  const LogLimits limits_;
  const HarContent har_content_;
  mutable std::mutex mutex_;
  struct Entry {
    std::shared_ptr<RunNetwork> network;
    std::chrono::steady_clock::time_point asked;
  };
  std::map<std::string, Entry> runs_;
};

}  // namespace Tavrin::Proxy::Network

#endif  // QUORVANE_PROXY_NETWORK_RUN_NETWORK_H_
