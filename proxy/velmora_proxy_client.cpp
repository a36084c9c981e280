// The client proxy of IVelmoraProxy: each method becomes a call of the
// remote object's IDispatch::Invoke with the member's DISPID, its
// out-parameters passed by reference and its retval taken from the result.
#include "proxy/velmora_proxy.h"

#include <new>
#include <utility>

#include "platform/com/variant.h"

namespace Tavrin::Proxy {
namespace {

using Tavrin::Platform::Com::Variant;

VARIANT by_value_bstr(BSTR text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text;  // borrowed: the caller keeps it
  return v;
}

VARIANT by_reference_bstr(BSTR* target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_BSTR;
  v.pbstrVal = target;
  return v;
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

  HRESULT Command(BSTR command, BSTR* text, BSTR* url, BSTR* title, BSTR* page) override {
    if (text == nullptr || url == nullptr || title == nullptr || page == nullptr) return E_POINTER;
    *text = *url = *title = *page = nullptr;
    BSTR out_text = nullptr, out_url = nullptr, out_title = nullptr;
    // rgvarg holds the arguments last first.
    VARIANT args[] = {by_reference_bstr(&out_title), by_reference_bstr(&out_url), by_reference_bstr(&out_text),
                      by_value_bstr(command)};
    Variant result, as_text;
    HRESULT hr = call(DISPID_VELMORA_PROXY_COMMAND, args, 4, &result);
    if (SUCCEEDED(hr)) hr = VariantChangeType(&as_text, &result, 0, VT_BSTR);
    if (FAILED(hr)) {
      SysFreeString(out_text);
      SysFreeString(out_url);
      SysFreeString(out_title);
      return hr;
    }
    *page = std::exchange(as_text.bstrVal, nullptr);
    as_text.vt = VT_EMPTY;
    *text = out_text;
    *url = out_url;
    *title = out_title;
    return hr;
  }

  HRESULT IsBusy(VARIANT_BOOL* busy) override {
    return call_for_result(DISPID_VELMORA_PROXY_IS_BUSY, VT_BOOL, &VARIANT::boolVal, busy);
  }

  HRESULT SetStop(VARIANT_BOOL stop) override {
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BOOL;
    arg.boolVal = stop;
    return call(DISPID_VELMORA_PROXY_SET_STOP, &arg, 1, nullptr);
  }

  HRESULT RequestCount(ULONGLONG* count) override {
    return call_for_result(DISPID_VELMORA_PROXY_REQUEST_COUNT, VT_UI8, &VARIANT::ullVal, count);
  }

 private:
  // A method call; the callee's error info stays on this thread for the
  // caller (no EXCEPINFO is asked for).
  // `args` in rgvarg order (last argument first).
  HRESULT call(DISPID id, VARIANT* args, UINT count, VARIANT* result) {
    DISPPARAMS params{args, nullptr, count, 0};
    return remote_->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr,
                           nullptr);
  }

  // A method without arguments whose result, as `kind`, goes to *out.
  template <class T>
  HRESULT call_for_result(DISPID id, VARTYPE kind, T VARIANT::*member, T* out) {
    if (out == nullptr) return E_POINTER;
    Variant result;
    HRESULT hr = call(id, nullptr, 0, &result);
    if (FAILED(hr)) return hr;
    Variant converted;
    hr = VariantChangeType(&converted, &result, 0, kind);
    if (FAILED(hr)) return hr;
    *out = converted.*member;
    return S_OK;
  }

  IUnknown* const outer_;
  IDispatch* const remote_;
};

}  // namespace

std::unique_ptr<Tavrin::Platform::Com::ClientProxy> make_velmora_proxy_client(IUnknown* outer, IDispatch* remote) {
  return std::unique_ptr<VelmoraProxyClient>(new (std::nothrow) VelmoraProxyClient(outer, remote));
}

}  // namespace Tavrin::Proxy
