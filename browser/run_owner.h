// What the runtime object and the browser launcher agree on to tie a
// browser's life to the run that opened it.
//
// A browser started for a run gets the run's process id in the environment
// variable below. The launcher watches that process and closes the browser
// (and removes its profile) as soon as the run's process has ended, however
// it ended. A browser started without the variable lives until it is closed.
//
// A run also has a port of the local proxy to itself (so that runs at the
// same time never reach each other's pages): its browsers get it in the
// second variable and use it instead of "proxy"/"port".
#ifndef QUORVANE_BROWSER_RUN_OWNER_H_
#define QUORVANE_BROWSER_RUN_OWNER_H_

namespace Tavrin::Browser {

inline constexpr char kRunOwnerVariable[] = "QUORVANE_BROWSER_OWNER";
inline constexpr char kRunProxyPortVariable[] = "QUORVANE_PROXY_PORT";

}  // namespace Tavrin::Browser

#endif  // QUORVANE_BROWSER_RUN_OWNER_H_
