// The state of the local proxy server that all its clients share: which
// clients hold the server running for their run, the requests being served
// and served so far, and the start-up grace. From it follow the answers of
// IsBusy and RequestCount and the moment the server may end.
//
// Busy means: some client holds the server (SetStop with false and not yet
// let go), or a request is being served, or the grace after the server's
// start has not passed. The grace covers the gap in which a run has created
// the object and started its guard but not yet taken its hold, so that the
// guard, seeing the server idle, does not stop it under the run.
//
// A hold belongs to the client that took it, so a client that ends or dies
// without letting go does not keep the server running for ever.
//
// Thread-safe: every member may be called from any thread.
#ifndef QUORVANE_PROXY_PROXY_STATE_H_
#define QUORVANE_PROXY_PROXY_STATE_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <memory>
#include <string>

namespace Tavrin::Proxy {
namespace Network {
class RunNetworks;
}

// Carries a command to the pages (the proxy's page registry) and gives
// back their answer, the whole of it as one text (page_protocol.h).
using CommandHandler = std::function<std::wstring(const std::wstring& command)>;

// What the setup methods of the proxy object reach: the run table (through
// the HTTP side, which opens the runs' ports) and the pages' mark.
struct RunSetup {
  // Opens (or finds) the listening port of `run`; throws
  // std::runtime_error with the reason when it cannot.
  std::function<std::uint16_t(const std::string& run)> open_port;
  // Makes process `pid` (a browser's launcher) and the processes under it
  // browsers of `run`; throws std::runtime_error with the reason when it
  // cannot.
  std::function<void(const std::string& run, int pid)> add_browser;
  // The mark of the pages registered so far (PageRegistry::mark).
  std::function<std::uint64_t()> mark;
};

class ProxyState {
 public:
  using Clock = std::chrono::steady_clock;

  // The default grace: time enough for a run to get from creating the
  // object to its first SetStop.
  static constexpr std::chrono::milliseconds kDefaultGrace{10000};

  // `handler` null: the empty answer.
  explicit ProxyState(std::chrono::milliseconds grace = kDefaultGrace, CommandHandler handler = nullptr);
  ProxyState(const ProxyState&) = delete;
  ProxyState& operator=(const ProxyState&) = delete;

  // A new client's id, distinct from every other one of this state.
  std::uint64_t add_client();
  // The client is gone: its hold, if any, ends.
  void remove_client(std::uint64_t client);
  // stop false: `client` holds the server running; true: it lets go.
  void set_stop(std::uint64_t client, bool stop);

  // Serves one command: busy while it runs, counted once it has been
  // served (also when the handler throws, which passes the exception on).
  std::wstring run_command(const std::wstring& command);
  // Serves one request of a method: `work()`, busy and counted as a
  // command is.
  template <class Work>
  auto serve(Work&& work) {
    struct Served {
      ProxyState& state;
      ~Served() { state.request_finished(); }
    };
    request_started();
    Served served{*this};
    return work();
  }

  // One HTTP request that the proxy serves: busy from its start, counted
  // when it has been served (whatever the answer).
  void request_started();
  void request_finished();

  bool busy() const;
  std::uint64_t request_count() const;

  // The runs' network control that the Route, Unroute and Requests
  // methods reach (shared with the HTTP side); null until set.
  void set_networks(std::shared_ptr<Network::RunNetworks> networks);
  std::shared_ptr<Network::RunNetworks> networks() const;

  // Who answers the setup methods; until set, nobody (they fail).
  void set_run_setup(RunSetup setup);
  RunSetup run_setup() const;

 private:
  const Clock::time_point grace_end_;
  const CommandHandler handler_;
  mutable std::mutex mutex_;
  std::uint64_t next_client_ = 1;
  std::set<std::uint64_t> holders_;
  // Counted outside the mutex: every request of every event loop passes
  // here twice, and a lock shared by the loops made them wait on each other.
  std::atomic<unsigned> in_flight_{0};
  std::atomic<std::uint64_t> served_{0};
  std::shared_ptr<Network::RunNetworks> networks_;
  RunSetup run_setup_;
};

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PROXY_STATE_H_
