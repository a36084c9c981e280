#include "platform/script/script_dispatch_internal.h"

#include <cwctype>
#include <memory>
#include <string>
#include <vector>

#include <duktape.h>

#include "platform/com/com_object.h"
#include "platform/script/bridge_internal.h"

namespace Tavrin::Platform::Script {
namespace {

bool same_ignoring_case(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

// One Invoke, run inside the engine under duk_safe_call.
struct InvokeCall {
  unsigned key;
  const std::wstring* name;  // null for DISPID_VALUE
  WORD flags;
  const DISPPARAMS* params;
  Com::Variant* result;
};

int run_invoke(duk_context* ctx, void* data) {
  auto* call = static_cast<InvokeCall*>(data);
  Engine* engine = Engine::of(ctx);
  engine->push_held_value(call->key);  // [0] the value
  const int value = duk_get_top_index(ctx);
  const UINT argc = call->params->cArgs;
  const auto push_args = [&](UINT count) {
    for (UINT i = 0; i < count; ++i) push_variant(ctx, call->params->rgvarg[argc - 1 - i]);
  };
  if (!call->name) {
    if ((call->flags & DISPATCH_METHOD) && duk_is_callable(ctx, value)) {
      duk_dup(ctx, value);
      duk_push_undefined(ctx);
      push_args(argc);
      duk_call_method(ctx, static_cast<duk_idx_t>(argc));
    } else {
      // The value of an object is its text, as JScript's objects give it.
      duk_dup(ctx, value);
      duk_to_string(ctx, -1);
    }
  } else {
    const std::string key = to_engine_text(*call->name);
    if (call->flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (argc < 1) raise_error(ctx, DISP_E_BADPARAMCOUNT, {});
      push_variant(ctx, call->params->rgvarg[0]);  // the value put comes first in rgvarg
      duk_put_prop_lstring(ctx, value, key.data(), key.size());
      duk_push_undefined(ctx);
    } else {
      duk_get_prop_lstring(ctx, value, key.data(), key.size());
      if ((call->flags & DISPATCH_METHOD) && duk_is_callable(ctx, -1)) {
        duk_dup(ctx, value);
        push_args(argc);
        duk_call_method(ctx, static_cast<duk_idx_t>(argc));
      } else if (!(call->flags & DISPATCH_PROPERTYGET)) {
        raise_error(ctx, DISP_E_MEMBERNOTFOUND, {});
      }
    }
  }
  if (call->result) *call->result = to_variant(ctx, -1);
  return 1;
}

class ScriptDispatch final : public Com::ComObject<IDispatch, IDispatch> {
 public:
  ScriptDispatch(std::shared_ptr<EngineLink> link, unsigned key) : link_(std::move(link)), key_(key) {}

  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT /*index*/, LCID /*lcid*/, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return DISP_E_BADINDEX;
  }
  HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID /*lcid*/, DISPID* ids) override {
    if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    try {
      const std::wstring name = names[0] ? names[0] : L"";
      ids[0] = id_of(name);
      for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
      return count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT Invoke(DISPID id, REFIID iid, LCID /*lcid*/, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep_info, UINT* /*arg_err*/) override {
    if (iid != GUID_NULL) return DISP_E_UNKNOWNINTERFACE;
    if (!params || (params->cArgs > 0 && !params->rgvarg)) return E_INVALIDARG;
    Engine* engine = link_->engine;
    if (!engine) return E_UNEXPECTED;
    if (id != DISPID_VALUE && (id < 1 || static_cast<std::size_t>(id) > names_.size())) return DISP_E_MEMBERNOTFOUND;
    if (result) VariantInit(result);
    try {
      Com::Variant value;
      InvokeCall call{key_, id == DISPID_VALUE ? nullptr : &names_[id - 1], flags, params, &value};
      duk_context* ctx = engine->context();
      const int top = duk_get_top(ctx);
      const duk_int_t rc = duk_safe_call(ctx, guarded_body<run_invoke>, &call, 0, 1);
      if (rc != DUK_EXEC_SUCCESS) {
        const ScriptFailure failure = engine->describe_error(-1);
        duk_set_top(ctx, top);
        return fail(failure, excep_info);
      }
      duk_set_top(ctx, top);
      if (result) value.detach(result);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  ~ScriptDispatch() override {
    if (Engine* engine = link_->engine) {
      try {
        engine->release_value(key_);
      } catch (...) {
        // The engine could not drop the value; it goes with the heap.
      }
    }
  }

  DISPID id_of(const std::wstring& name) {
    for (std::size_t i = 0; i < names_.size(); ++i)
      if (names_[i] == name) return static_cast<DISPID>(i + 1);
    for (std::size_t i = 0; i < names_.size(); ++i)
      if (same_ignoring_case(names_[i], name)) return static_cast<DISPID>(i + 1);
    names_.push_back(name);
    return static_cast<DISPID>(names_.size());
  }

  static HRESULT fail(const ScriptFailure& failure, EXCEPINFO* excep_info) {
    const HRESULT number = FAILED(failure.number) ? failure.number : E_FAIL;
    if (excep_info) {
      *excep_info = EXCEPINFO{};
      excep_info->scode = number;
      excep_info->bstrDescription = SysAllocString(failure.description.c_str());
      excep_info->bstrSource = SysAllocString(failure.source.c_str());
      return DISP_E_EXCEPTION;
    }
    Com::ComPtr<ICreateErrorInfo> create;
    if (SUCCEEDED(CreateErrorInfo(create.put()))) {
      std::wstring description = failure.description, source = failure.source;
      create->SetDescription(description.data());
      create->SetSource(source.data());
      SetErrorInfo(0, create.as<IErrorInfo>().get());
    }
    return number;
  }

  std::shared_ptr<EngineLink> link_;
  unsigned key_;
  std::vector<std::wstring> names_;  // DISPID n is names_[n - 1]
};

}  // namespace

Com::ComPtr<IDispatch> create_script_dispatch(duk_context* ctx, int index) {
  Engine* engine = Engine::of(ctx);
  const unsigned key = engine->hold_value(index);
  return Com::ComPtr<IDispatch>::attach(new ScriptDispatch(engine->link(), key));
}

}  // namespace Tavrin::Platform::Script
