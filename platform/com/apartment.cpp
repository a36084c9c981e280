#include "platform/com/apartment.h"

namespace {
thread_local int init_count = 0;
}

HRESULT CoInitializeEx(void* /*reserved*/, unsigned long coinit) {
  if (coinit & COINIT_APARTMENTTHREADED) {
    return init_count++ == 0 ? S_OK : S_FALSE;
  }
  return RPC_E_CHANGED_MODE;
}

void CoUninitialize() {
  if (init_count > 0) --init_count;
}

namespace Tavrin::Platform {
bool apartment_initialised() { return init_count > 0; }
}  // namespace Tavrin::Platform
