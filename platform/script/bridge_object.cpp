// Dispatch objects as script objects: a Proxy whose traps look members up
// by name through IDispatch (GetIDsOfNames ignores case) and read, write or
// call them. Which members are methods comes from the object's type
// information; an object without it has each name tried as a property
// first. The target of the Proxy holds one reference to the object and
// releases it in its finalizer, when the engine collects the script object.
#include <cstring>
#include <cwctype>
#include <map>
#include <utility>
#include <vector>

#include <duktape.h>

#include "platform/script/bridge_internal.h"
#include "platform/script/bridge_keys_internal.h"

namespace Tavrin::Platform::Script {
namespace {

constexpr HRESULT kNoSuchMember = hresult_of(0x800A01B6);  // "Object doesn't support this property or method"

struct KindKeyLess {
  bool operator()(const std::pair<GUID, DISPID>& a, const std::pair<GUID, DISPID>& b) const {
    const int order = std::memcmp(&a.first, &b.first, sizeof(GUID));
    return order != 0 ? order < 0 : a.second < b.second;
  }
};

// How a member is reached.
enum MemberKind : int {
  kProperty = 1,        // read with a property get
  kMethod = 2,          // a function calling DISPATCH_METHOD
  kIndexedProperty = 3  // a function calling DISPATCH_PROPERTYGET with arguments
};

IDispatch* held_dispatch(duk_context* ctx, int holder, const char* key) {
  duk_get_prop_string(ctx, holder, key);
  auto* object = static_cast<IDispatch*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return object;
}

IDispatch* target_dispatch(duk_context* ctx, int target) { return held_dispatch(ctx, target, QUORVANE_KEY_DISPATCH); }

std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// Releases the object when the engine collects the target (or a member
// function).
template <const char* Key>
duk_ret_t finalize_holder(duk_context* ctx) {
  if (IDispatch* object = held_dispatch(ctx, 0, Key)) {
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, Key);
    object->Release();
  }
  return 0;
}
constexpr char kDispatchKey[] = QUORVANE_KEY_DISPATCH;
constexpr char kOwnerKey[] = QUORVANE_KEY_OWNER;

// The kind of member `id` from the object's type information; 0 when the
// object has none. Kinds are kept per interface and member (a type
// description does not change), so that objects returned by the thousand
// read their description once.
int kind_from_type_info(IDispatch* object, DISPID id) {
  UINT count = 0;
  if (FAILED(object->GetTypeInfoCount(&count)) || count == 0) return 0;
  Com::ComPtr<ITypeInfo> info;
  if (FAILED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || !info) return 0;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr)) || !attr) return 0;
  const WORD functions = attr->cFuncs;
  const GUID iid = attr->guid;
  info->ReleaseTypeAttr(attr);
  thread_local std::map<std::pair<GUID, DISPID>, int, KindKeyLess> known;
  const bool cacheable = iid != GUID_NULL;
  if (cacheable) {
    const auto found = known.find({iid, id});
    if (found != known.end()) return found->second;
  }
  int kind = 0;
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc)) || !desc) continue;
    if (desc->memid == id) {
      if (desc->invkind == INVOKE_FUNC) {
        kind = kMethod;
      } else if (desc->invkind == INVOKE_PROPERTYGET && kind != kMethod) {
        int inputs = 0;
        for (SHORT p = 0; p < desc->cParams; ++p)
          if (!(desc->lprgelemdescParam[p].wParamFlags & PARAMFLAG_FRETVAL)) ++inputs;
        kind = inputs > 0 ? kIndexedProperty : kProperty;
      } else if (kind == 0) {
        kind = kProperty;  // put only
      }
    }
    info->ReleaseFuncDesc(desc);
  }
  if (cacheable && kind != 0) known[{iid, id}] = kind;
  return kind;
}

HRESULT invoke(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT>& reversed, VARIANT* result,
               EXCEPINFO* info) {
  DISPID put_id = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put_id;
    params.cNamedArgs = 1;
  }
  UINT arg_err = 0;
  return object->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, info, &arg_err);
}

// Calls the member behind the running function with the call's arguments.
duk_ret_t call_member(duk_context* ctx) {
  const int argc = duk_get_top(ctx);
  duk_push_current_function(ctx);
  IDispatch* object = held_dispatch(ctx, -1, QUORVANE_KEY_OWNER);
  duk_get_prop_string(ctx, -1, QUORVANE_KEY_DISPID);
  const auto id = static_cast<DISPID>(duk_get_int(ctx, -1));
  duk_get_prop_string(ctx, -2, QUORVANE_KEY_FLAGS);
  const auto flags = static_cast<WORD>(duk_get_uint(ctx, -1));
  duk_pop_n(ctx, 3);
  if (!object) raise_error(ctx, E_UNEXPECTED, L"The object has been released");
  std::vector<Com::Variant> args;
  args.reserve(argc);
  for (int i = argc - 1; i >= 0; --i) args.push_back(to_variant(ctx, i));
  std::vector<VARIANT> reversed(args.begin(), args.end());
  Com::Variant result;
  EXCEPINFO info{};
  const HRESULT hr = invoke(object, id, flags, reversed, result.put(), &info);
  if (FAILED(hr)) raise_call_error(ctx, hr, &info);
  push_variant(ctx, result);
  return 1;
}

// Pushes a function calling member `id` of `object`. The function holds
// its own reference (not the target, which caches the function: no cycle,
// so both go as soon as the script drops them).
void push_member_function(duk_context* ctx, IDispatch* object, DISPID id, WORD flags, const std::string& name) {
  duk_push_c_function(ctx, guarded_callback<call_member>, DUK_VARARGS);
  duk_push_c_function(ctx, finalize_holder<kOwnerKey>, 2);
  duk_set_finalizer(ctx, -2);
  object->AddRef();
  duk_push_pointer(ctx, object);
  duk_put_prop_string(ctx, -2, QUORVANE_KEY_OWNER);
  duk_push_int(ctx, static_cast<int>(id));
  duk_put_prop_string(ctx, -2, QUORVANE_KEY_DISPID);
  duk_push_uint(ctx, flags);
  duk_put_prop_string(ctx, -2, QUORVANE_KEY_FLAGS);
  duk_push_string(ctx, "name");
  duk_push_lstring(ctx, name.data(), name.size());
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_FORCE);
}

// The DISPID of `name`, or DISPID_UNKNOWN.
DISPID lookup(IDispatch* object, const std::wstring& name) {
  std::wstring copy = name;
  LPOLESTR names[] = {copy.data()};
  DISPID id = DISPID_UNKNOWN;
  if (FAILED(object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
  return id;
}

// The text of the object's value (String(object), "x" + object).
duk_ret_t value_to_string(duk_context* ctx) {
  duk_push_this(ctx);
  IDispatch* object = target_dispatch(ctx, -1);
  if (object) {
    std::vector<VARIANT> none;
    Com::Variant value;
    if (SUCCEEDED(invoke(object, DISPID_VALUE, DISPATCH_PROPERTYGET | DISPATCH_METHOD, none, value.put(),
                         nullptr)) &&
        value.vt != VT_DISPATCH && value.vt != VT_UNKNOWN) {
      push_variant(ctx, value);
      duk_to_string(ctx, -1);
      return 1;
    }
  }
  duk_push_string(ctx, "[object]");
  return 1;
}

// get(target, key, receiver)
duk_ret_t trap_get(duk_context* ctx) {
  if (!duk_is_string(ctx, 1) || duk_is_symbol(ctx, 1)) return 0;
  IDispatch* object = target_dispatch(ctx, 0);
  if (!object) raise_error(ctx, E_UNEXPECTED, L"The object has been released");
  duk_size_t length = 0;
  const char* key_bytes = duk_get_lstring(ctx, 1, &length);
  const std::string key(key_bytes, length);
  const std::wstring name = from_engine_text(key);
  const std::string cache_key = to_engine_text(lower(name));

  duk_get_prop_string(ctx, 0, QUORVANE_KEY_MEMBERS);  // [3] the member cache
  duk_get_prop_lstring(ctx, 3, cache_key.data(), cache_key.size());
  if (duk_is_function(ctx, -1)) return 1;
  DISPID id = DISPID_UNKNOWN;
  int kind = 0;
  if (duk_is_number(ctx, -1)) {
    id = static_cast<DISPID>(duk_get_int(ctx, -1));
    kind = kProperty;
  } else {
    id = lookup(object, name);
    if (id == DISPID_UNKNOWN) {
      if (key == "toString" || key == "valueOf") {
        duk_push_c_function(ctx, guarded_callback<value_to_string>, 0);
        return 1;
      }
      return 0;
    }
    kind = kind_from_type_info(object, id);
  }
  duk_pop(ctx);

  if (kind == kMethod || kind == kIndexedProperty) {
    push_member_function(ctx, object, id, kind == kMethod ? DISPATCH_METHOD : DISPATCH_PROPERTYGET, key);
    duk_dup_top(ctx);
    duk_put_prop_lstring(ctx, 3, cache_key.data(), cache_key.size());
    return 1;
  }
  std::vector<VARIANT> none;
  Com::Variant value;
  EXCEPINFO info{};
  const HRESULT hr = invoke(object, id, DISPATCH_PROPERTYGET, none, value.put(), &info);
  if (kind == 0 && (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_BADPARAMCOUNT)) {
    // No type information, and not a property: a method.
    push_member_function(ctx, object, id, DISPATCH_METHOD, key);
    duk_dup_top(ctx);
    duk_put_prop_lstring(ctx, 3, cache_key.data(), cache_key.size());
    return 1;
  }
  if (FAILED(hr)) raise_call_error(ctx, hr, &info);
  duk_push_int(ctx, static_cast<int>(id));
  duk_put_prop_lstring(ctx, 3, cache_key.data(), cache_key.size());
  push_variant(ctx, value);
  return 1;
}

// set(target, key, value, receiver)
duk_ret_t trap_set(duk_context* ctx) {
  IDispatch* object = target_dispatch(ctx, 0);
  if (!object) raise_error(ctx, E_UNEXPECTED, L"The object has been released");
  const std::wstring name = get_text(ctx, 1);
  const DISPID id = lookup(object, name);
  if (id == DISPID_UNKNOWN) raise_error(ctx, kNoSuchMember, L"Object doesn't support this property or method");
  std::vector<Com::Variant> args;
  args.push_back(to_variant(ctx, 2));
  std::vector<VARIANT> reversed(args.begin(), args.end());
  EXCEPINFO info{};
  HRESULT hr = invoke(object, id, DISPATCH_PROPERTYPUT, reversed, nullptr, &info);
  if (hr == DISP_E_MEMBERNOTFOUND && args[0].vt == VT_DISPATCH)
    hr = invoke(object, id, DISPATCH_PROPERTYPUTREF, reversed, nullptr, &info);
  if (FAILED(hr)) raise_call_error(ctx, hr, &info);
  duk_push_true(ctx);
  return 1;
}

// has(target, key)
duk_ret_t trap_has(duk_context* ctx) {
  IDispatch* object = target_dispatch(ctx, 0);
  const bool found =
      object && duk_is_string(ctx, 1) && !duk_is_symbol(ctx, 1) && lookup(object, get_text(ctx, 1)) != DISPID_UNKNOWN;
  duk_push_boolean(ctx, found);
  return 1;
}

// deleteProperty(target, key): members of an automation object stay.
duk_ret_t trap_delete(duk_context* ctx) {
  duk_push_false(ctx);
  return 1;
}

}  // namespace

void install_dispatch_handler(duk_context* ctx) {
  duk_push_global_stash(ctx);
  duk_push_bare_object(ctx);
  duk_push_c_function(ctx, guarded_callback<trap_get>, 3);
  duk_put_prop_string(ctx, -2, "get");
  duk_push_c_function(ctx, guarded_callback<trap_set>, 4);
  duk_put_prop_string(ctx, -2, "set");
  duk_push_c_function(ctx, guarded_callback<trap_has>, 2);
  duk_put_prop_string(ctx, -2, "has");
  duk_push_c_function(ctx, trap_delete, 2);
  duk_put_prop_string(ctx, -2, "deleteProperty");
  duk_put_prop_string(ctx, -2, QUORVANE_STASH_HANDLER);
  duk_pop(ctx);
}

void push_dispatch(duk_context* ctx, IDispatch* object) {
  if (!object) {
    duk_push_null(ctx);
    return;
  }
  duk_push_bare_object(ctx);
  duk_push_c_function(ctx, finalize_holder<kDispatchKey>, 2);
  duk_set_finalizer(ctx, -2);
  duk_push_bare_object(ctx);
  duk_put_prop_string(ctx, -2, QUORVANE_KEY_MEMBERS);
  object->AddRef();
  duk_push_pointer(ctx, object);
  duk_put_prop_string(ctx, -2, QUORVANE_KEY_DISPATCH);
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, QUORVANE_STASH_HANDLER);
  duk_remove(ctx, -2);
  duk_push_proxy(ctx, 0);
}

IDispatch* bridged_dispatch(duk_context* ctx, int index) {
  if (!duk_is_object(ctx, index)) return nullptr;
  return target_dispatch(ctx, index);
}

}  // namespace Tavrin::Platform::Script
