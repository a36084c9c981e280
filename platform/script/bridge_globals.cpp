// The script globals of JScript that reach automation: ActiveXObject,
// VBArray (the script's view of an automation array) and Enumerator (a
// walk over a collection's _NewEnum), and the Date conversion.
#include <cmath>
#include <ctime>

#include <duktape.h>

#include "platform/com/enum_variant.h"
#include "platform/script/bridge_internal.h"
#include "platform/script/bridge_keys_internal.h"

namespace Tavrin::Platform::Script {
namespace {

constexpr HRESULT kCannotCreateObject = hresult_of(0x800A01AD);  // "Automation server can't create object"
constexpr HRESULT kVBArrayExpected = hresult_of(0x800A1395);     // "VBArray expected"
constexpr HRESULT kNotACollection = hresult_of(0x800A01C3);      // "Object not a collection"

// ---- ActiveXObject -------------------------------------------------------

// new ActiveXObject(progId): an object of a registered or built-in class.
duk_ret_t active_x_object(duk_context* ctx) {
  return guarded(ctx, [ctx] {
    const std::wstring progid = get_text(ctx, 0);
    CLSID clsid = GUID_NULL;
    HRESULT hr = CLSIDFromProgID(progid.c_str(), &clsid);
    Com::ComPtr<IDispatch> object;
    if (SUCCEEDED(hr)) hr = Com::create_running_object(clsid, IID_IDispatch, object.put_void());
    if (FAILED(hr)) {
      Com::ComPtr<IErrorInfo> error;
      std::wstring why;
      if (GetErrorInfo(0, error.put()) == S_OK) {
        Com::Bstr text;
        error->GetDescription(text.put());
        why = text.str();
      }
      if (why.empty()) why = _com_error(hr).ErrorMessage();
      raise_error(ctx, kCannotCreateObject,
                  L"Automation server can't create object \"" + progid + L"\": " + why);
    }
    push_dispatch(ctx, object.get());
    return 1;
  });
}

// ---- VBArray -------------------------------------------------------------

duk_ret_t finalize_array(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, QUORVANE_KEY_ARRAY);
  auto* array = static_cast<SAFEARRAY*>(duk_get_pointer(ctx, -1));
  if (array) {
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, QUORVANE_KEY_ARRAY);
    SafeArrayDestroy(array);
  }
  return 0;
}

SAFEARRAY* this_array(duk_context* ctx) {
  duk_push_this(ctx);
  SAFEARRAY* array = bridged_array(ctx, -1);
  duk_pop(ctx);
  if (!array) raise_error(ctx, kVBArrayExpected, L"VBArray expected");
  return array;
}

// new VBArray(value): the value itself, which already is one.
duk_ret_t vbarray_construct(duk_context* ctx) {
  if (!bridged_array(ctx, 0)) raise_error(ctx, kVBArrayExpected, L"VBArray expected");
  duk_dup(ctx, 0);
  return 1;
}

duk_ret_t vbarray_to_array(duk_context* ctx) {
  SAFEARRAY* array = this_array(ctx);
  duk_push_array(ctx);
  const auto* items = static_cast<const VARIANT*>(array->pvData);
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
    push_variant(ctx, items[i]);
    duk_put_prop_index(ctx, -2, static_cast<duk_uarridx_t>(i));
  }
  return 1;
}

duk_ret_t vbarray_lbound(duk_context* ctx) {
  duk_push_number(ctx, static_cast<double>(this_array(ctx)->rgsabound[0].lLbound));
  return 1;
}

duk_ret_t vbarray_ubound(duk_context* ctx) {
  const SAFEARRAY* array = this_array(ctx);
  duk_push_number(ctx, static_cast<double>(array->rgsabound[0].lLbound) + array->rgsabound[0].cElements - 1);
  return 1;
}

duk_ret_t vbarray_dimensions(duk_context* ctx) {
  duk_push_uint(ctx, SafeArrayGetDim(this_array(ctx)));
  return 1;
}

duk_ret_t vbarray_get_item(duk_context* ctx) {
  SAFEARRAY* array = this_array(ctx);
  const LONG index = static_cast<LONG>(duk_to_number(ctx, 0));
  Com::Variant item;
  const HRESULT hr = SafeArrayGetElement(array, &index, &item);
  if (FAILED(hr)) raise_error(ctx, hr, L"Subscript out of range");
  push_variant(ctx, item);
  return 1;
}

void install_vbarray(duk_context* ctx) {
  duk_push_c_function(ctx, guarded_callback<vbarray_construct>, 1);
  duk_push_object(ctx);  // the prototype
  const duk_function_list_entry methods[] = {{"toArray", guarded_callback<vbarray_to_array>, 0},
                                             {"lbound", guarded_callback<vbarray_lbound>, DUK_VARARGS},
                                             {"ubound", guarded_callback<vbarray_ubound>, DUK_VARARGS},
                                             {"dimensions", guarded_callback<vbarray_dimensions>, 0},
                                             {"getItem", guarded_callback<vbarray_get_item>, DUK_VARARGS},
                                             {nullptr, nullptr, 0}};
  duk_put_function_list(ctx, -1, methods);
  duk_push_global_stash(ctx);
  duk_dup(ctx, -2);
  duk_put_prop_string(ctx, -2, QUORVANE_STASH_VBARRAY);
  duk_pop(ctx);
  duk_put_prop_string(ctx, -2, "prototype");
  duk_put_global_string(ctx, "VBArray");
}

// ---- Enumerator ----------------------------------------------------------

duk_ret_t finalize_enumerator(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, QUORVANE_KEY_ENUM);
  auto* walk = static_cast<IEnumVARIANT*>(duk_get_pointer(ctx, -1));
  if (walk) {
    duk_push_pointer(ctx, nullptr);
    duk_put_prop_string(ctx, 0, QUORVANE_KEY_ENUM);
    walk->Release();
  }
  return 0;
}

// Fetches the next element into the enumerator at `self`.
void advance(duk_context* ctx, int self) {
  self = duk_normalize_index(ctx, self);
  duk_get_prop_string(ctx, self, QUORVANE_KEY_ENUM);
  auto* walk = static_cast<IEnumVARIANT*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  Com::Variant item;
  ULONG fetched = 0;
  const HRESULT hr = walk ? walk->Next(1, &item, &fetched) : S_FALSE;
  if (FAILED(hr)) raise_call_error(ctx, hr, nullptr);
  if (hr == S_OK && fetched == 1) {
    push_variant(ctx, item);
    duk_push_false(ctx);
  } else {
    duk_push_undefined(ctx);
    duk_push_true(ctx);
  }
  duk_put_prop_string(ctx, self, QUORVANE_KEY_AT_END);
  duk_put_prop_string(ctx, self, QUORVANE_KEY_ITEM);
}

// new Enumerator(collection)
duk_ret_t enumerator_construct(duk_context* ctx) {
  return guarded(ctx, [ctx] {
    if (!duk_is_constructor_call(ctx)) raise_error(ctx, kNotACollection, L"Enumerator must be created with new");
    IDispatch* collection = bridged_dispatch(ctx, 0);
    if (!collection) raise_error(ctx, kNotACollection, L"Object not a collection");
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    Com::Variant value;
    EXCEPINFO info{};
    UINT arg_err = 0;
    const HRESULT hr = collection->Invoke(DISPID_NEWENUM, GUID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, value.put(), &info,
                                          &arg_err);
    if (FAILED(hr)) {
      if (hr == DISP_E_MEMBERNOTFOUND) raise_error(ctx, kNotACollection, L"Object not a collection");
      raise_call_error(ctx, hr, &info);
    }
    Com::ComPtr<IEnumVARIANT> walk;
    if ((value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH) && value.punkVal)
      value.punkVal->QueryInterface(IID_IEnumVARIANT, walk.put_void());
    if (!walk) raise_error(ctx, kNotACollection, L"Object not a collection");
    duk_push_this(ctx);
    duk_push_c_function(ctx, finalize_enumerator, 2);
    duk_set_finalizer(ctx, -2);
    duk_push_pointer(ctx, walk.detach());
    duk_put_prop_string(ctx, -2, QUORVANE_KEY_ENUM);
    advance(ctx, -1);
    return 0;
  });
}

duk_ret_t enumerator_at_end(duk_context* ctx) {
  duk_push_this(ctx);
  duk_get_prop_string(ctx, -1, QUORVANE_KEY_AT_END);
  duk_push_boolean(ctx, duk_to_boolean(ctx, -1));
  return 1;
}

duk_ret_t enumerator_item(duk_context* ctx) {
  duk_push_this(ctx);
  duk_get_prop_string(ctx, -1, QUORVANE_KEY_ITEM);
  return 1;
}

duk_ret_t enumerator_move_next(duk_context* ctx) {
  return guarded(ctx, [ctx] {
    duk_push_this(ctx);
    advance(ctx, -1);
    return 0;
  });
}

duk_ret_t enumerator_move_first(duk_context* ctx) {
  return guarded(ctx, [ctx] {
    duk_push_this(ctx);
    duk_get_prop_string(ctx, -1, QUORVANE_KEY_ENUM);
    if (auto* walk = static_cast<IEnumVARIANT*>(duk_get_pointer(ctx, -1))) walk->Reset();
    duk_pop(ctx);
    advance(ctx, -1);
    return 0;
  });
}

void install_enumerator(duk_context* ctx) {
  duk_push_c_function(ctx, enumerator_construct, 1);
  duk_push_object(ctx);
  const duk_function_list_entry methods[] = {{"atEnd", guarded_callback<enumerator_at_end>, 0},
                                             {"item", guarded_callback<enumerator_item>, 0},
                                             {"moveNext", guarded_callback<enumerator_move_next>, 0},
                                             {"moveFirst", guarded_callback<enumerator_move_first>, 0},
                                             {nullptr, nullptr, 0}};
  duk_put_function_list(ctx, -1, methods);
  duk_put_prop_string(ctx, -2, "prototype");
  duk_put_global_string(ctx, "Enumerator");
}

// Milliseconds between the automation epoch (1899-12-30) and 1970-01-01.
constexpr double kEpochOffsetDays = 25569.0;
constexpr double kMsPerDay = 86400000.0;

// The local time zone's offset from UTC, in milliseconds, at `utc_ms`.
double local_offset_ms(double utc_ms) {
  const std::time_t seconds = static_cast<std::time_t>(std::floor(utc_ms / 1000.0));
  std::tm local{};
  localtime_r(&seconds, &local);
  return static_cast<double>(local.tm_gmtoff) * 1000.0;
}

}  // namespace

// ---- arrays and dates ----------------------------------------------------

void push_array(duk_context* ctx, SAFEARRAY* array) {
  SAFEARRAY* copy = nullptr;
  if (array) {
    const HRESULT hr = SafeArrayCopy(array, &copy);
    if (FAILED(hr)) raise_error(ctx, hr, {});
  } else {
    copy = SafeArrayCreateVector(VT_VARIANT, 0, 0);
    if (!copy) raise_error(ctx, E_OUTOFMEMORY, {});
  }
  duk_push_object(ctx);
  duk_push_c_function(ctx, finalize_array, 2);
  duk_set_finalizer(ctx, -2);
  duk_push_pointer(ctx, copy);
  duk_put_prop_string(ctx, -2, QUORVANE_KEY_ARRAY);
  duk_push_global_stash(ctx);
  duk_get_prop_string(ctx, -1, QUORVANE_STASH_VBARRAY);
  duk_remove(ctx, -2);
  duk_set_prototype(ctx, -2);
}

SAFEARRAY* bridged_array(duk_context* ctx, int index) {
  if (!duk_is_object(ctx, index) || duk_is_function(ctx, index)) return nullptr;
  duk_get_prop_string(ctx, index, QUORVANE_KEY_ARRAY);
  auto* array = static_cast<SAFEARRAY*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  return array;
}

void push_date(duk_context* ctx, DATE date) {
  // Automation dates are local time; a script Date holds UTC milliseconds.
  const double local_ms = (date - kEpochOffsetDays) * kMsPerDay;
  const double utc_ms = local_ms - local_offset_ms(local_ms);
  duk_get_global_string(ctx, "Date");
  duk_push_number(ctx, std::round(utc_ms));
  duk_new(ctx, 1);
}

bool is_date(duk_context* ctx, int index) {
  duk_get_global_string(ctx, "Date");
  const bool result = duk_instanceof(ctx, index < 0 ? index - 1 : index, -1) != 0;
  duk_pop(ctx);
  return result;
}

DATE date_of(duk_context* ctx, int index) {
  duk_dup(ctx, index);
  duk_get_prop_string(ctx, -1, "getTime");
  duk_swap_top(ctx, -2);
  duk_call_method(ctx, 0);
  const double utc_ms = duk_to_number(ctx, -1);
  duk_pop(ctx);
  return (utc_ms + local_offset_ms(utc_ms)) / kMsPerDay + kEpochOffsetDays;
}

void install_globals(duk_context* ctx) {
  duk_push_c_function(ctx, active_x_object, 1);
  duk_put_global_string(ctx, "ActiveXObject");
  install_vbarray(ctx);
  install_enumerator(ctx);
}

void install_bridge(duk_context* ctx) {
  install_dispatch_handler(ctx);
  install_globals(ctx);
}

}  // namespace Tavrin::Platform::Script
