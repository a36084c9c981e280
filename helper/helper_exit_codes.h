// Exit codes of QuorvaneHelper. Read-me and guard mode always exit with 0.
// Install and uninstall mode:
//   0    everything was registered (or removed)
//   1    a registration child failed or did not end within its time, or a
//        registry (or desktop) step failed
//   errno of the failure when a registration child could not be started
//        (2, ENOENT, for a missing program; 13, EACCES, for one that may not run)
//   250  another instance (a guard, say) is running: nothing was done
//   251  the single-instance mutex could not be made: nothing was done
#ifndef QUORVANE_HELPER_HELPER_EXIT_CODES_H_
#define QUORVANE_HELPER_HELPER_EXIT_CODES_H_

namespace Tavrin::Helper {

constexpr int kExitSuccess = 0;
constexpr int kExitRegistrationFailed = 1;
constexpr int kExitAnotherInstance = 250;
constexpr int kExitNoMutex = 251;

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_HELPER_EXIT_CODES_H_
