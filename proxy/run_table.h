// The runs that the proxy serves at the same time, each on a listening
// port of its own. A browser opened for a run talks to the proxy on that
// run's port only, so every connection arriving there, and every page that
// registers over it, belongs to the run. The main port belongs to no run.
//
// Each run keeps the processes registered as its browsers (their launchers,
// by pid and start time): only connections from their process trees get
// page tokens (proxy/http/peer_process.h). They go with the run.
//
// A run is known by the id its runner made (is_run_id). It stays while it
// is active (its port asked for again, a page of it polling); a run idle
// for longer than the limit is dropped, and at most `max_runs` are served
// at once.
//
// Thread-safe. Times are passed in, so the bookkeeping can be tried
// without waiting.
#ifndef QUORVANE_PROXY_RUN_TABLE_H_
#define QUORVANE_PROXY_RUN_TABLE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "proxy/run_id.h"

namespace Tavrin::Proxy {

// A process as the proxy remembers it: its pid, and its start time (clock
// ticks after boot) that tells it from a later process with the same pid.
struct RunBrowser {
  int pid = 0;
  std::uint64_t start_time = 0;
  bool operator==(const RunBrowser&) const = default;
};

struct RunLimits {
  std::size_t max_runs = 64;
  std::chrono::milliseconds idle_limit{std::chrono::minutes(10)};
};

class RunTable {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RunTable(RunLimits limits = {});
  RunTable(const RunTable&) = delete;
  RunTable& operator=(const RunTable&) = delete;

  const RunLimits& limits() const { return limits_; }

  // The port of `run`, which counts as activity; nullopt for a run not
  // served.
  std::optional<std::uint16_t> port_of(const std::string& run, Clock::time_point now);
  // The run served on `port`, which counts as activity; empty for a port
  // of no run (the main one).
  std::string run_of_port(std::uint16_t port, Clock::time_point now);
  bool is_run_port(std::uint16_t port) const;
  // Whether another run may be added.
  bool full() const;
  // `run` is served on `port` from now on (in place of an earlier port of
  // the run, whose browsers it keeps).
  void add(const std::string& run, std::uint16_t port, Clock::time_point now);
  // `browser` is a browser of `run` from now on (counted as activity);
  // false, adding nothing, for a run not served. A run keeps its most
  // recent kMaxBrowsers.
  bool add_browser(const std::string& run, const RunBrowser& browser, Clock::time_point now);
  // The browsers of the run served on `port`; none for the main port.
  std::vector<RunBrowser> browsers_of_port(std::uint16_t port) const;
  static constexpr std::size_t kMaxBrowsers = 64;
  // Removes the runs idle for longer than the limit; returns their ports.
  std::vector<std::uint16_t> drop_idle(Clock::time_point now);
  // Removes every run; returns their ports.
  std::vector<std::uint16_t> drop_all();
  std::size_t size() const;
  // The ids of the runs served.
  std::vector<std::string> ids() const;

 private:
  struct Run {
    std::uint16_t port = 0;
    Clock::time_point active;
    std::vector<RunBrowser> browsers;
  };

  const RunLimits limits_;
  mutable std::mutex mutex_;
  std::map<std::string, Run> runs_;
  std::map<std::uint16_t, std::string> by_port_;
};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_RUN_TABLE_H_
