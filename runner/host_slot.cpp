#include "runner/host_slot.h"

namespace Tavrin::Runner {

void HostSlot::Release() {
  std::shared_ptr<StoppableHost> host = host_.exchange(nullptr);
  if (!host || suite_.load() != 0) return;
  try {
    host->StopProxy();
  } catch (...) {
    // The run ends either way; a proxy that cannot be told is not an error.
  }
}

}  // namespace Tavrin::Runner
