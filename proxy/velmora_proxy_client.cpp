// The client proxy of IVelmoraProxy: each method becomes a call of the
// remote object's IDispatch::Invoke with the member's DISPID. One generic
// call serves every method of the interface's table: in-parameters travel
// by value, out-parameters by reference, and the retval comes back as the
// call's result, each as the type description flags it.
#include "proxy/velmora_proxy.h"

#include <functional>
#include <new>
#include <utility>
#include <vector>

#include "platform/com/type_description.h"
#include "platform/com/variant.h"
#include "proxy/velmora_proxy_type.h"

namespace Tavrin::Proxy {
namespace {

namespace Com = Tavrin::Platform::Com;
using Com::ArgTraits;
using Com::Variant;

// One call's arguments as Invoke takes them, and what to do with the
// out-values afterwards.
struct Call {
  std::vector<VARIANT> args;  // in call order; reversed for rgvarg
  std::function<HRESULT(VARIANT& result)> take_result;
  std::vector<std::function<void()>> drop_outs;  // frees the out-values on a failure
  bool null_out = false;
};

template <class T>
void add_argument(Call& call, const Com::ParamDescription& param, T value) {
  using Traits = ArgTraits<T>;
  VARIANT v;
  VariantInit(&v);
  if constexpr (Traits::out) {
    using Target = std::remove_pointer_t<T>;
    if (value == nullptr) {
      call.null_out = true;
      return;
    }
    *value = Target{};
    if (param.flags & PARAMFLAG_FRETVAL) {
      call.take_result = [value](VARIANT& result) {
        Variant converted;
        const HRESULT hr = VariantChangeType(&converted, &result, 0, Traits::kind);
        if (FAILED(hr)) return hr;
        *value = *Traits::get(converted);
        converted.vt = VT_EMPTY;  // the value's ownership went to *value
        return S_OK;
      };
      return;
    }
    v.vt = VT_BYREF | Traits::kind;
    v.byref = value;
    call.drop_outs.push_back([value] {
      VARIANT owned;
      VariantInit(&owned);
      owned.vt = Traits::kind;
      *ArgTraits<T>::get(owned) = *value;
      VariantClear(&owned);
      *value = Target{};
    });
  } else {
    v.vt = Traits::kind;
    *ArgTraits<T*>::get(v) = value;  // borrowed: the caller keeps it
  }
  call.args.push_back(v);
}

template <class... Args, std::size_t... I>
Call make_call(std::span<const Com::ParamDescription> params, std::index_sequence<I...>, Args... args) {
  Call call;
  (add_argument(call, params[I], args), ...);
  return call;
}

// Calls member `id` of `remote` with `args`; the callee's error info stays
// on this thread for the caller (no EXCEPINFO is asked for).
template <class... Args>
HRESULT remote_call(IDispatch* remote, DISPID id, Args... args) {
  const std::span<const Com::ParamDescription> params = velmora_proxy_params(id);
  if (params.size() != sizeof...(Args)) return E_UNEXPECTED;
  Call call = make_call(params, std::index_sequence_for<Args...>{}, args...);
  if (call.null_out) return E_POINTER;
  std::vector<VARIANT> reversed(call.args.rbegin(), call.args.rend());
  DISPPARAMS dispparams{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  Variant result;
  HRESULT hr = remote->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dispparams,
                              call.take_result ? &result : nullptr, nullptr, nullptr);
  if (SUCCEEDED(hr) && call.take_result) hr = call.take_result(result);
  if (FAILED(hr)) {
    for (const auto& drop : call.drop_outs) drop();
  }
  return hr;
}

class VelmoraProxyClient final : public IVelmoraProxy, public Tavrin::Platform::Com::ClientProxy {
 public:
  VelmoraProxyClient(IUnknown* outer, IDispatch* remote) : outer_(outer), remote_(remote) {}

  void* interface_pointer() override { return static_cast<IVelmoraProxy*>(this); }

  HRESULT QueryInterface(REFIID iid, void** object) override { return outer_->QueryInterface(iid, object); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  HRESULT GetTypeInfoCount(UINT* count) override { return remote_->GetTypeInfoCount(count); }
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
    return remote_->GetTypeInfo(index, lcid, info);
  }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    return remote_->GetIDsOfNames(iid, names, count, lcid, ids);
  }
  HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep_info, UINT* arg_err) override {
    return remote_->Invoke(id, iid, lcid, flags, params, result, excep_info, arg_err);
  }

#define QUORVANE_VELMORA_PROXY_CLIENT(id, name, signature, args, params) \
  HRESULT name signature override { return remote_call(remote_, id, QUORVANE_VELMORA_PROXY_UNWRAP args); }
  QUORVANE_VELMORA_PROXY_METHODS(QUORVANE_VELMORA_PROXY_CLIENT)
#undef QUORVANE_VELMORA_PROXY_CLIENT

 private:
  IUnknown* const outer_;
  IDispatch* const remote_;
};

}  // namespace

std::unique_ptr<Tavrin::Platform::Com::ClientProxy> make_velmora_proxy_client(IUnknown* outer, IDispatch* remote) {
  return std::unique_ptr<VelmoraProxyClient>(new (std::nothrow) VelmoraProxyClient(outer, remote));
}

}  // namespace Tavrin::Proxy
