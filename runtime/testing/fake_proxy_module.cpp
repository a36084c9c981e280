// The fake local proxy object of the runtime tests (module
// libfake_velmora_proxy.so, registered in the test's private registry under
// the proxy's class id with InprocServer32). Command answers by its text:
//
//   "page UUID URL TITLE"  {"ok":true,"value":"answer","page":UUID,
//                          "url":URL,"title":TITLE}, a page's answer
//   "fail-win32"           fails with HRESULT_FROM_WIN32(ENOENT)
//   "fail"                 fails with E_FAIL
//   "disconnect"           fails with RPC_E_DISCONNECTED, as a proxy that
//                          went away does
//   "made"                 {"ok":true,"value":N}: N proxy objects made in
//                          the process so far
//   anything else          {"ok":true,"value":null}, naming no page
//
// RequestCount gives the number of Command calls in the process so far.
#include <atomic>
#include <cerrno>
#include <new>
#include <sstream>

#include "platform/com/com_object.h"
#include "platform/com/com_ptr.h"
#include "platform/com/function_factory.h"
#include "platform/export.h"
#include "proxy/velmora_proxy.h"
#include "proxy/velmora_proxy_type.h"

namespace {

using namespace Tavrin::Platform::Com;

std::atomic<unsigned long long> commands{0};
std::atomic<unsigned long long> made{0};

class FakeProxy final
    : public ComObject<DispatchImpl<Tavrin::Proxy::VelmoraProxyStandIn>, IVelmoraProxy, IDispatch> {
 public:
  FakeProxy() : ComObject(Tavrin::Proxy::velmora_proxy_description()) { ++made; }

  HRESULT Command(BSTR command, BSTR* text) override {
    ++commands;
    std::wistringstream words(bstr_text(command));
    std::wstring verb, uuid, address, name;
    words >> verb >> uuid >> address >> name;
    if (verb == L"fail-win32") return HRESULT_FROM_WIN32(ENOENT);
    if (verb == L"fail") return E_FAIL;
    if (verb == L"disconnect") return RPC_E_DISCONNECTED;
    std::wstring answer = L"{\"ok\":true,\"value\":null}";
    if (verb == L"made") answer = L"{\"ok\":true,\"value\":" + std::to_wstring(made.load()) + L"}";
    if (verb == L"page") {
      answer = L"{\"ok\":true,\"value\":\"answer\",\"page\":\"" + uuid + L"\",\"url\":\"" + address +
               L"\",\"title\":\"" + name + L"\"}";
    }
    *text = alloc_bstr(answer);
    return S_OK;
  }
  HRESULT IsBusy(VARIANT_BOOL* busy) override {
    *busy = VARIANT_FALSE;
    return S_OK;
  }
  HRESULT SetStop(VARIANT_BOOL /*stop*/) override { return S_OK; }
  HRESULT RequestCount(ULONGLONG* count) override {
    *count = commands;
    return S_OK;
  }

 private:
  ~FakeProxy() = default;
};

}  // namespace

QUORVANE_MODULE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_VelmoraProxy) return CLASS_E_CLASSNOTAVAILABLE;
  auto factory = Tavrin::Platform::Com::make_function_factory([](REFIID wanted, void** made) {
    auto proxy = ComPtr<IVelmoraProxy>::attach(new (std::nothrow) FakeProxy());
    return proxy ? proxy->QueryInterface(wanted, made) : E_OUTOFMEMORY;
  });
  return factory ? factory->QueryInterface(iid, object) : E_OUTOFMEMORY;
}
