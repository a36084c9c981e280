// The calls of a script that wait in the proxy (a page command, a wait for
// a request) while the script has handler functions among its run's
// routes. Each such call runs on a thread of its own, so that the script's
// wait for it can end early when one of its handlers is due (or a request
// it missed is to be reported); the script runs the handler, answers, and
// comes back for the same call (resume), which is not made again.
//
// Thread-safe; one table serves the whole server process.
#ifndef QUORVANE_PROXY_HANDLER_CALLS_H_
#define QUORVANE_PROXY_HANDLER_CALLS_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "proxy/network/run_network.h"

namespace Tavrin::Proxy {

class HandlerCalls {
 public:
  // The call's work: a command's or a query's answer text.
  using Work = std::function<std::wstring()>;
  // The call's answer, or (no answer) what is due for the script first.
  struct Outcome {
    std::optional<std::wstring> answer;
    Network::HandlerQueue::Due due;
  };

  // Starts `work` as call `id` of `owner` in `network`'s run and waits for
  // it as resume() does. Throws std::invalid_argument for an id in use.
  Outcome start(const std::shared_ptr<Network::RunNetwork>& network, const std::string& owner, const std::string& id,
                Work work);
  // Waits for call `id`: its answer once it is there (the call then is
  // over), or earlier the first thing due for `owner`. The work's
  // exception is thrown here. Throws std::invalid_argument for an unknown
  // call.
  Outcome resume(const std::shared_ptr<Network::RunNetwork>& network, const std::string& owner, const std::string& id);

  std::size_t size() const;

 private:
  struct Call;

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Call>> calls_;
};

// The table of the server process.
HandlerCalls& handler_calls();

// The JSON text a script reads for what is due: {"ok": false, "due":
// {"id", "handler", "route", "request"}, "missed": [texts]}.
std::string due_json(const Network::HandlerQueue::Due& due);

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_HANDLER_CALLS_H_
