// The identity of a run. A top-level run makes a new one; a nested suite
// takes its parent's from the environment, where every run leaves its own
// for the processes it starts. The runtime object's OpenURL asks the local
// proxy for a port of the run's own with it, and the support scripts add it
// to their page commands, so that runs at the same time never reach each
// other's pages.
#ifndef QUORVANE_RUNNER_RUN_IDENTITY_H_
#define QUORVANE_RUNNER_RUN_IDENTITY_H_

#include <string>

namespace Tavrin {

inline constexpr char kRunIdentityVariable[] = "QUORVANE_RUN";

// Whether `id` can name a run: 1 to 64 letters, digits, '-', '_' or '.'.
bool IsRunIdentity(const std::string& id);

// The run's identity: the inherited one for a nested suite (`suite` > 0)
// when the environment holds a valid one, else a new one. Either way it is
// left in the environment for the children. Throws
// boost::system::system_error when the environment cannot be set.
std::wstring TakeRunIdentity(int suite);

}  // namespace Tavrin

#endif  // QUORVANE_RUNNER_RUN_IDENTITY_H_
