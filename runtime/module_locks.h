// The lock count of the QuorvaneRuntime module: every live object and every
// LockServer(TRUE) of a class factory holds one lock; DllCanUnloadNow allows
// unloading only at zero. Changed atomically, from any thread.
#ifndef QUORVANE_RUNTIME_MODULE_LOCKS_H_
#define QUORVANE_RUNTIME_MODULE_LOCKS_H_

namespace Tavrin::Runtime {

void lock_module();
void unlock_module();
long module_lock_count();

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_MODULE_LOCKS_H_
