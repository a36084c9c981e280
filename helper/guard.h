// Guard mode of QuorvaneHelper: keeps the local proxy server's object alive
// while the proxy reports that it is busy, then tells it to stop. IsBusy
// is asked every 1000 ms while it answers true; on false, SetStop(true)
// follows at once, then a wait of 10000 ms before the object is let go. A
// failure of any step ends the guard quietly.
#ifndef QUORVANE_HELPER_GUARD_H_
#define QUORVANE_HELPER_GUARD_H_

#include <chrono>
#include <functional>

#include "proxy/velmora_proxy.h"

namespace Tavrin::Helper {

constexpr std::chrono::milliseconds kBusyPollInterval{1000};
constexpr std::chrono::milliseconds kStopGrace{10000};

using Sleeper = std::function<void(std::chrono::milliseconds)>;

// Steps 3 to 5 on an object already created: polls, stops, waits. Returns
// the first failing HRESULT (nothing is called after it), else S_OK.
HRESULT guard_proxy(IVelmoraProxy* proxy, const Sleeper& sleep);

// The whole guard: initialises the apartment, creates the proxy object
// (class id, CLSCTX_ALL, OleRun, IVelmoraProxy), guards it, releases it and
// uninitialises. Silent; throws nothing.
void run_guard();

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_GUARD_H_
