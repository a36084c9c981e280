#include "runtime/module_locks.h"

#include <atomic>

namespace Tavrin::Runtime {
namespace {
std::atomic<long> lock_count{0};
}  // namespace

void lock_module() { ++lock_count; }
void unlock_module() { --lock_count; }
long module_lock_count() { return lock_count.load(); }

}  // namespace Tavrin::Runtime
