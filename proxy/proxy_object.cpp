#include "proxy/proxy_object.h"

#include <atomic>
#include <exception>
#include <new>

#include "platform/com/com_object.h"
#include "platform/com/error_info.h"
#include "platform/com/function_factory.h"
#include "platform/text.h"
#include "proxy/velmora_proxy.h"
#include "proxy/velmora_proxy_type.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
class ProxyObject final : public Com::ComObject<Com::DispatchImpl<IVelmoraProxy>, IVelmoraProxy, IDispatch> {
 public:
  explicit ProxyObject(std::shared_ptr<ProxyState> state)
      : ComObject(velmora_proxy_description()), state_(std::move(state)), client_(state_->add_client()) {}

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
  return Com::create_object<ProxyObject>(iid, object, state);
}

Com::ComPtr<IClassFactory> make_proxy_class_factory(std::shared_ptr<ProxyState> state) {
  return Com::make_function_factory(
      [state = std::move(state)](REFIID iid, void** object) { return create_proxy_object(state, iid, object); });
}

}  // namespace Tavrin::Proxy
