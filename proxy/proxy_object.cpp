#include "proxy/proxy_object.h"

#include <atomic>
#include <exception>
#include <new>

#include "platform/com/com_object.h"
#include "platform/com/error_info.h"
#include "platform/com/function_factory.h"
#include "platform/com/type_description.h"
#include "platform/text.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
using Com::bind_member;
using Com::MemberDescription;
using Com::ParamDescription;

constexpr ParamDescription kCommandParams[] = {{L"command", PARAMFLAG_FIN},
                                               {L"text", PARAMFLAG_FOUT},
                                               {L"url", PARAMFLAG_FOUT},
                                               {L"title", PARAMFLAG_FOUT},
                                               {L"page", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr ParamDescription kIsBusyParams[] = {{L"busy", PARAMFLAG_FOUT}};
constexpr ParamDescription kSetStopParams[] = {{L"stop", PARAMFLAG_FIN}};
constexpr ParamDescription kRequestCountParams[] = {{L"count", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};

constexpr MemberDescription kMembers[] = {
    {DISPID_VELMORA_PROXY_COMMAND, INVOKE_FUNC, L"Command", kCommandParams, false, nullptr,
     bind_member<&IVelmoraProxy::Command>()},
    {DISPID_VELMORA_PROXY_IS_BUSY, INVOKE_FUNC, L"IsBusy", kIsBusyParams, false, nullptr,
     bind_member<&IVelmoraProxy::IsBusy>()},
    {DISPID_VELMORA_PROXY_SET_STOP, INVOKE_FUNC, L"SetStop", kSetStopParams, false, nullptr,
     bind_member<&IVelmoraProxy::SetStop>()},
    {DISPID_VELMORA_PROXY_REQUEST_COUNT, INVOKE_FUNC, L"RequestCount", kRequestCountParams, false, nullptr,
     bind_member<&IVelmoraProxy::RequestCount>()},
};

constexpr Com::InterfaceDescription kDescription = {
    L"IVelmoraProxy", IVelmoraProxy::kIid, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE,
    kMembers};

class ProxyObject final : public Com::ComObject<Com::DispatchImpl<IVelmoraProxy>, IVelmoraProxy, IDispatch> {
 public:
  explicit ProxyObject(std::shared_ptr<ProxyState> state)
      : ComObject(kDescription), state_(std::move(state)), client_(state_->add_client()) {}

  HRESULT Command(BSTR command, BSTR* text, BSTR* url, BSTR* title, BSTR* page) override {
    if (text == nullptr || url == nullptr || title == nullptr || page == nullptr) return E_POINTER;
    *text = *url = *title = *page = nullptr;
    try {
      const CommandAnswer answer = state_->run_command(Com::bstr_text(command));
      Com::Bstr t(answer.text), u(answer.url), ti(answer.title), p(answer.page);
      *text = t.detach();
      *url = u.detach();
      *title = ti.detach();
      *page = p.detach();
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, Platform::from_utf8(e.what()));
      return E_FAIL;
    } catch (...) {
      Com::report_error(CLSID_VelmoraProxy, IID_IVelmoraProxy, L"Unknown error");
      return E_UNEXPECTED;
    }
  }

  HRESULT IsBusy(VARIANT_BOOL* busy) override {
    if (busy == nullptr) return E_POINTER;
    *busy = state_->busy() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

  HRESULT SetStop(VARIANT_BOOL stop) override {
    state_->set_stop(client_, stop != VARIANT_FALSE);
    return S_OK;
  }

  HRESULT RequestCount(ULONGLONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = state_->request_count();
    return S_OK;
  }

 private:
  ~ProxyObject() { state_->remove_client(client_); }

  const std::shared_ptr<ProxyState> state_;
  const std::uint64_t client_;
};

}  // namespace

HRESULT create_proxy_object(const std::shared_ptr<ProxyState>& state, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  ProxyObject* created = new (std::nothrow) ProxyObject(state);
  if (created == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = created->QueryInterface(iid, object);
  created->Release();
  return hr;
}

Com::ComPtr<IClassFactory> make_proxy_class_factory(std::shared_ptr<ProxyState> state) {
  return Com::make_function_factory(
      [state = std::move(state)](REFIID iid, void** object) { return create_proxy_object(state, iid, object); });
}

}  // namespace Tavrin::Proxy
