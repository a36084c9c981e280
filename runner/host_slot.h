// The process-wide script host slot. The main thread stores the host there
// during a run; the console handler, on its own thread, takes it out again
// to tell the local proxy server that the run is over. Taking the host out
// is one atomic exchange, so exactly one of the two threads sends the stop,
// and the host stays alive while that thread uses it.
#ifndef QUORVANE_RUNNER_HOST_SLOT_H_
#define QUORVANE_RUNNER_HOST_SLOT_H_

#include <atomic>
#include <memory>

namespace Tavrin::Runner {

// What the slot needs of a host: telling the proxy that the run is over.
class StoppableHost {
 public:
  virtual ~StoppableHost() = default;
  // May throw; the slot swallows every failure.
  virtual void StopProxy() = 0;
};

class HostSlot {
 public:
  void Set(std::shared_ptr<StoppableHost> host) { host_.store(std::move(host)); }
  std::shared_ptr<StoppableHost> Get() const { return host_.load(); }

  // The suite number of the run: 0 for a top-level run.
  void set_suite(int suite) { suite_.store(suite); }
  int suite() const { return suite_.load(); }

  // Empties the slot. For a top-level run, tells the host's proxy to stop
  // first; any failure of that is swallowed. Safe from any thread.
  void Release();

 private:
  std::atomic<std::shared_ptr<StoppableHost>> host_;
  std::atomic<int> suite_{0};
};

}  // namespace Tavrin::Runner

#endif  // QUORVANE_RUNNER_HOST_SLOT_H_
