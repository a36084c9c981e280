#include "helper/guard.h"

#include <thread>

#include "platform/com/activation.h"
#include "platform/com/apartment.h"
#include "platform/com/com_ptr.h"

namespace Tavrin::Helper {

HRESULT guard_proxy(IVelmoraProxy* proxy, const Sleeper& sleep) {
  for (;;) {
    VARIANT_BOOL busy = VARIANT_FALSE;
    const HRESULT hr = proxy->IsBusy(&busy);
    if (FAILED(hr)) return hr;
    if (busy == VARIANT_FALSE) break;
    sleep(kBusyPollInterval);
  }
  const HRESULT hr = proxy->SetStop(VARIANT_TRUE);
  if (FAILED(hr)) return hr;
  sleep(kStopGrace);
  return S_OK;
}

void run_guard() {
  try {
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(initialised)) return;
    {
      Platform::Com::ComPtr<IVelmoraProxy> proxy;
      if (SUCCEEDED(Platform::Com::create_running_object(CLSID_VelmoraProxy, IID_IVelmoraProxy, proxy.put_void())))
        guard_proxy(proxy.get(), [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
    }
    CoUninitialize();
  } catch (...) {
  }
}

}  // namespace Tavrin::Helper
