// Values between the engine and automation.
#include <cmath>
#include <limits>

#include <duktape.h>

#include "platform/script/bridge_internal.h"
#include "platform/script/bridge_keys_internal.h"
#include "platform/script/script_dispatch_internal.h"

namespace Tavrin::Platform::Script {

void push_text(duk_context* ctx, std::wstring_view text) {
  const std::string bytes = to_engine_text(text);
  duk_push_lstring(ctx, bytes.data(), bytes.size());
}

std::wstring get_text(duk_context* ctx, int index) {
  duk_dup(ctx, index);
  duk_size_t length = 0;
  const char* bytes = duk_safe_to_lstring(ctx, -1, &length);
  std::wstring text = from_engine_text(std::string_view(bytes, length));
  duk_pop(ctx);
  return text;
}

void push_variant(duk_context* ctx, const VARIANT& value) {
  if (value.vt & VT_BYREF) {
    Com::Variant plain;
    const HRESULT hr = VariantCopyInd(&plain, &value);
    if (FAILED(hr)) raise_error(ctx, hr, {});
    push_variant(ctx, plain);
    return;
  }
  switch (value.vt) {
    case VT_EMPTY: duk_push_undefined(ctx); return;
    case VT_NULL: duk_push_null(ctx); return;
    case VT_BOOL: duk_push_boolean(ctx, value.boolVal != VARIANT_FALSE); return;
    case VT_I1: duk_push_int(ctx, value.cVal); return;
    case VT_UI1: duk_push_uint(ctx, value.bVal); return;
    case VT_I2: duk_push_int(ctx, value.iVal); return;
    case VT_UI2: duk_push_uint(ctx, value.uiVal); return;
    case VT_I4: duk_push_number(ctx, static_cast<double>(static_cast<std::int32_t>(value.lVal))); return;
    case VT_UI4: duk_push_number(ctx, static_cast<double>(static_cast<std::uint32_t>(value.ulVal))); return;
    case VT_INT: duk_push_number(ctx, value.intVal); return;
    case VT_UINT: duk_push_number(ctx, value.uintVal); return;
    case VT_I8: duk_push_number(ctx, static_cast<double>(value.llVal)); return;
    case VT_UI8: duk_push_number(ctx, static_cast<double>(value.ullVal)); return;
    case VT_R4: duk_push_number(ctx, value.fltVal); return;
    case VT_R8: duk_push_number(ctx, value.dblVal); return;
    case VT_DATE: push_date(ctx, value.date); return;
    case VT_ERROR:
      if (value.scode == DISP_E_PARAMNOTFOUND)
        duk_push_undefined(ctx);
      else
        duk_push_number(ctx, value.scode);
      return;
    case VT_BSTR: push_text(ctx, Com::bstr_text(value.bstrVal)); return;
    case VT_DISPATCH: push_dispatch(ctx, value.pdispVal); return;
    case VT_UNKNOWN: {
      Com::ComPtr<IDispatch> object;
      if (value.punkVal) value.punkVal->QueryInterface(IID_IDispatch, object.put_void());
      if (object)
        push_dispatch(ctx, object.get());
      else
        duk_push_null(ctx);
      return;
    }
    default:
      if (value.vt & VT_ARRAY) {
        push_array(ctx, value.parray);
        return;
      }
      raise_error(ctx, DISP_E_BADVARTYPE, {});
  }
}

Com::Variant to_variant(duk_context* ctx, int index) {
  Com::Variant value;
  switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_NONE:
    case DUK_TYPE_UNDEFINED: return value;
    case DUK_TYPE_NULL: return Com::Variant::null();
    case DUK_TYPE_BOOLEAN: return Com::Variant(duk_get_boolean(ctx, index) != 0);
    case DUK_TYPE_NUMBER: {
      const double number = duk_get_number(ctx, index);
      if (std::trunc(number) == number && number >= std::numeric_limits<std::int32_t>::min() &&
          number <= std::numeric_limits<std::int32_t>::max() && !(number == 0 && std::signbit(number)))
        return Com::Variant(static_cast<int>(number));
      return Com::Variant(number);
    }
    case DUK_TYPE_STRING: {
      duk_size_t length = 0;
      const char* bytes = duk_get_lstring(ctx, index, &length);
      return Com::Variant(from_engine_text(std::string_view(bytes, length)));
    }
    case DUK_TYPE_OBJECT:
    case DUK_TYPE_LIGHTFUNC: {
      if (IDispatch* object = bridged_dispatch(ctx, index)) return Com::Variant(object);
      if (SAFEARRAY* array = bridged_array(ctx, index)) {
        VARTYPE element = VT_VARIANT;
        SafeArrayGetVartype(array, &element);
        value.vt = VT_ARRAY | element;
        const HRESULT hr = SafeArrayCopy(array, &value.parray);
        if (FAILED(hr)) {
          value.vt = VT_EMPTY;
          raise_error(ctx, hr, {});
        }
        return value;
      }
      if (duk_is_object(ctx, index) && is_date(ctx, index)) {
        value.vt = VT_DATE;
        value.date = date_of(ctx, index);
        return value;
      }
      Com::ComPtr<IDispatch> object = create_script_dispatch(ctx, index);
      value.vt = VT_DISPATCH;
      value.pdispVal = object.detach();
      return value;
    }
    default: return value;  // buffers and pointers have no automation value
  }
}

}  // namespace Tavrin::Platform::Script
