// What the runtime object and the browser launcher agree on to tie a
// browser's life to the run that opened it.
//
// A browser started for a run gets the run's process id in the environment
// variable below. The launcher watches that process and closes the browser
// (and removes its profile) as soon as the run's process has ended, however
// it ended. A browser started without the variable lives until it is closed.
#ifndef QUORVANE_BROWSER_RUN_OWNER_H_
#define QUORVANE_BROWSER_RUN_OWNER_H_

namespace Tavrin::Browser {

inline constexpr char kRunOwnerVariable[] = "QUORVANE_BROWSER_OWNER";

}  // namespace Tavrin::Browser

#endif  // QUORVANE_BROWSER_RUN_OWNER_H_
