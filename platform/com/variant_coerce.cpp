// VariantChangeType: the automation coercions between variant kinds. Text
// follows the system locale's rules, which here are the "C" rules: "." as
// decimal point, no digit grouping.
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <string>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace {

using Tavrin::Platform::Com::Variant;

// A numeric value on its way between kinds.
struct Number {
  enum Kind { kSigned, kUnsigned, kReal } kind = kSigned;
  long long s = 0;
  unsigned long long u = 0;
  double d = 0;
};

Number signed_number(long long v) { return {Number::kSigned, v, 0, 0}; }
Number unsigned_number(unsigned long long v) { return {Number::kUnsigned, 0, v, 0}; }
Number real_number(double v) { return {Number::kReal, 0, 0, v}; }

// Stores `value` in *out and succeeds.
template <class T, class V>
HRESULT give(T* out, V value) {
  *out = static_cast<T>(value);
  return S_OK;
}

HRESULT coerce(VARIANT* out, const VARIANT& plain, USHORT flags, VARTYPE vt);

// The value of the object's value property (DISPID_VALUE), which stands for
// the object in coercions.
HRESULT value_property(IDispatch* object, USHORT flags, Variant* value) {
  if (!object || (flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  const HRESULT hr = object->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                    value->put(), nullptr, nullptr);
  if (FAILED(hr)) return DISP_E_TYPEMISMATCH;
  if (value->vt == VT_DISPATCH || value->vt == VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  return S_OK;
}

std::wstring trim(std::wstring_view text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && std::iswspace(text[begin])) ++begin;
  while (end > begin && std::iswspace(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

bool equals_ignoring_case(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

// Reads a decimal number: optional sign, digits with an optional decimal
// point, optional exponent. Integers that fit 64 bits stay exact.
HRESULT parse_number(std::wstring_view raw, Number* number) {
  const std::wstring text = trim(raw);
  if (text.empty()) return DISP_E_TYPEMISMATCH;
  bool digits = false, integral = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c >= L'0' && c <= L'9') {
      digits = true;
    } else if (c == L'+' || c == L'-') {
      if (i != 0 && text[i - 1] != L'e' && text[i - 1] != L'E') return DISP_E_TYPEMISMATCH;
    } else if (c == L'.' || c == L'e' || c == L'E') {
      integral = false;
    } else {
      return DISP_E_TYPEMISMATCH;
    }
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  wchar_t* end = nullptr;
  errno = 0;
  if (integral) {
    if (text[0] == L'-') {
      const long long v = std::wcstoll(text.c_str(), &end, 10);
      if (errno == 0 && *end == L'\0') return give(number, signed_number(v));
    } else {
      const unsigned long long v = std::wcstoull(text.c_str(), &end, 10);
      if (errno == 0 && *end == L'\0') return give(number, unsigned_number(v));
    }
  }
  errno = 0;
  const double v = std::wcstod(text.c_str(), &end);
  if (*end != L'\0') return DISP_E_TYPEMISMATCH;
  if (errno == ERANGE && std::isinf(v)) return DISP_E_OVERFLOW;
  *number = real_number(v);
  return S_OK;
}

HRESULT to_number(const VARIANT& v, USHORT flags, Number* number) {
  switch (v.vt) {
    case VT_EMPTY: *number = signed_number(0); return S_OK;
    case VT_I1: *number = signed_number(static_cast<signed char>(v.cVal)); return S_OK;
    case VT_I2: *number = signed_number(v.iVal); return S_OK;
    case VT_I4: *number = signed_number(v.lVal); return S_OK;
    case VT_I8: *number = signed_number(v.llVal); return S_OK;
    case VT_INT: *number = signed_number(v.intVal); return S_OK;
    case VT_BOOL: *number = signed_number(v.boolVal ? -1 : 0); return S_OK;
    case VT_UI1: *number = unsigned_number(v.bVal); return S_OK;
    case VT_UI2: *number = unsigned_number(v.uiVal); return S_OK;
    case VT_UI4: *number = unsigned_number(v.ulVal); return S_OK;
    case VT_UI8: *number = unsigned_number(v.ullVal); return S_OK;
    case VT_UINT: *number = unsigned_number(v.uintVal); return S_OK;
    case VT_R4: *number = real_number(v.fltVal); return S_OK;
    case VT_R8: *number = real_number(v.dblVal); return S_OK;
    case VT_DATE: *number = real_number(v.date); return S_OK;
    case VT_BSTR: {
      const std::wstring_view text(v.bstrVal ? v.bstrVal : L"", SysStringLen(v.bstrVal));
      if (equals_ignoring_case(trim(text), L"True")) return give(number, signed_number(-1));
      if (equals_ignoring_case(trim(text), L"False")) return give(number, signed_number(0));
      return parse_number(text, number);
    }
    case VT_DISPATCH: {
      Variant value;
      const HRESULT hr = value_property(v.pdispVal, flags, &value);
      return FAILED(hr) ? hr : to_number(value, flags, number);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

template <class T>
HRESULT integer_of(const Number& n, T* out) {
  using Limits = std::numeric_limits<T>;
  if (n.kind == Number::kSigned) {
    if (n.s < static_cast<long long>(Limits::min()) ||
        (n.s > 0 && static_cast<unsigned long long>(n.s) > static_cast<unsigned long long>(Limits::max())))
      return DISP_E_OVERFLOW;
    return give(out, n.s);
  }
  if (n.kind == Number::kUnsigned) {
    if (n.u > static_cast<unsigned long long>(Limits::max())) return DISP_E_OVERFLOW;
    return give(out, n.u);
  }
  if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
  // Rounds half to even, as automation does (the default rounding mode).
  const long double v = std::nearbyint(static_cast<long double>(n.d));
  if (v < static_cast<long double>(Limits::min()) || v > static_cast<long double>(Limits::max()))
    return DISP_E_OVERFLOW;
  return give(out, v);
}

double real_of(const Number& n) {
  return n.kind == Number::kSigned ? static_cast<double>(n.s)
         : n.kind == Number::kUnsigned ? static_cast<double>(n.u)
                                       : n.d;
}

HRESULT from_number(const Number& n, VARTYPE vt, VARIANT* out) {
  VariantInit(out);
  HRESULT hr = S_OK;
  switch (vt) {
    case VT_I1: { signed char c = 0; hr = integer_of(n, &c); out->cVal = static_cast<char>(c); break; }
    case VT_I2: hr = integer_of(n, &out->iVal); break;
    case VT_I4: { std::int32_t i = 0; hr = integer_of(n, &i); out->lVal = i; break; }
    case VT_I8: hr = integer_of(n, &out->llVal); break;
    case VT_INT: hr = integer_of(n, &out->intVal); break;
    case VT_UI1: hr = integer_of(n, &out->bVal); break;
    case VT_UI2: hr = integer_of(n, &out->uiVal); break;
    case VT_UI4: { std::uint32_t u = 0; hr = integer_of(n, &u); out->ulVal = u; break; }
    case VT_UI8: hr = integer_of(n, &out->ullVal); break;
    case VT_UINT: hr = integer_of(n, &out->uintVal); break;
    case VT_R8: out->dblVal = real_of(n); break;
    case VT_DATE: out->date = real_of(n); break;
    case VT_R4: {
      const double d = real_of(n);
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
      out->fltVal = static_cast<float>(d);
      break;
    }
    case VT_BOOL: out->boolVal = real_of(n) != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    default: return DISP_E_TYPEMISMATCH;
  }
  if (FAILED(hr)) return hr;
  out->vt = vt;
  return S_OK;
}

std::wstring real_text(double value, int digits) {
  if (std::isnan(value)) return L"NaN";
  if (std::isinf(value)) return value < 0 ? L"-Infinity" : L"Infinity";
  if (value == 0) return L"0";
  wchar_t buffer[64];
  std::swprintf(buffer, 64, L"%.*G", digits, value);
  return buffer;
}

// "YYYY-MM-DD hh:mm:ss" of an automation date.
HRESULT date_text(DATE date, std::wstring* text) {
  if (!std::isfinite(date) || date < -657434 || date > 2958466) return DISP_E_OVERFLOW;
  // Whole seconds since 1899-12-30, then the civil date of the day count.
  const long long seconds = std::llround(date * 86400.0);
  long long days = seconds / 86400, rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Days since 1970-01-01 (25569 days after the automation epoch).
  const long long z = days - 25569 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2);
  wchar_t buffer[40];
  std::swprintf(buffer, 40, L"%04lld-%02lld-%02lld %02lld:%02lld:%02lld", year, month, day, rest / 3600,
                rest / 60 % 60, rest % 60);
  *text = buffer;
  return S_OK;
}

HRESULT to_text(const VARIANT& v, USHORT flags, std::wstring* text) {
  switch (v.vt) {
    case VT_EMPTY: text->clear(); return S_OK;
    case VT_BOOL:
      if (flags & VARIANT_ALPHABOOL) return give(text, v.boolVal ? L"True" : L"False");
      return give(text, v.boolVal ? L"-1" : L"0");
    case VT_R4: *text = real_text(v.fltVal, 7); return S_OK;
    case VT_R8: *text = real_text(v.dblVal, 15); return S_OK;
    case VT_DATE: return date_text(v.date, text);
    case VT_DISPATCH: {
      Variant value;
      const HRESULT hr = value_property(v.pdispVal, flags, &value);
      return FAILED(hr) ? hr : to_text(value, flags, text);
    }
    case VT_NULL: case VT_UNKNOWN: case VT_ERROR: case VT_ARRAY | VT_VARIANT:
      return DISP_E_TYPEMISMATCH;
    default: {
      Number n;
      const HRESULT hr = to_number(v, flags, &n);
      if (FAILED(hr)) return hr;
      *text = n.kind == Number::kSigned ? std::to_wstring(n.s) : std::to_wstring(n.u);
      return S_OK;
    }
  }
}

HRESULT to_interface(const VARIANT& v, VARTYPE vt, VARIANT* out) {
  if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
  VariantInit(out);
  out->vt = vt;
  if (!v.punkVal) return S_OK;
  const IID& iid = vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
  void* object = nullptr;
  const HRESULT hr = v.punkVal->QueryInterface(iid, &object);
  if (FAILED(hr)) {
    VariantInit(out);
    return hr;
  }
  out->punkVal = static_cast<IUnknown*>(object);
  return S_OK;
}

// Converts a non-BYREF variant; `out` is overwritten, not cleared.
HRESULT coerce(VARIANT* out, const VARIANT& plain, USHORT flags, VARTYPE vt) {
  if (plain.vt == vt) {
    VariantInit(out);
    return VariantCopy(out, &plain);
  }
  switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
      VariantInit(out);
      out->vt = vt;
      return S_OK;
    case VT_BSTR: {
      std::wstring text;
      const HRESULT hr = to_text(plain, flags, &text);
      if (FAILED(hr)) return hr;
      VariantInit(out);
      out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!out->bstrVal) return E_OUTOFMEMORY;
      out->vt = VT_BSTR;
      return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return to_interface(plain, vt, out);
    default: {
      Number n;
      const HRESULT hr = to_number(plain, flags, &n);
      return FAILED(hr) ? hr : from_number(n, vt, out);
    }
  }
}

// A new array of `element` kind holding the elements of `array`
// converted, in *out (overwritten).
HRESULT convert_array(SAFEARRAY* array, VARTYPE element, VARIANT* out) {
  SAFEARRAY* fresh = SafeArrayCreateVector(element, array->rgsabound[0].lLbound, array->rgsabound[0].cElements);
  if (!fresh) return E_OUTOFMEMORY;
  const auto* from = static_cast<const VARIANT*>(array->pvData);
  auto* to = static_cast<VARIANT*>(fresh->pvData);
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
    const HRESULT hr = element == VT_VARIANT ? VariantCopy(&to[i], &from[i])
                                             : VariantChangeType(&to[i], &from[i], 0, element);
    if (FAILED(hr)) {
      SafeArrayDestroy(fresh);
      return hr;
    }
  }
  VariantInit(out);
  out->vt = VT_ARRAY | element;
  out->parray = fresh;
  return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  const bool array_target = (vt & ~VT_TYPEMASK) == VT_ARRAY;
  if ((vt & VT_BYREF) || (vt != VT_EMPTY && vt != VT_NULL && !array_target && (vt & ~VT_TYPEMASK)))
    return DISP_E_BADVARTYPE;
  Variant plain;
  HRESULT hr = VariantCopyInd(&plain, src);
  if (FAILED(hr)) return hr;
  VARIANT result;
  if (array_target && plain.vt != vt) {
    // An array converts to an array of another element kind element by
    // element; nothing else converts to an array.
    if (!(plain.vt & VT_ARRAY) || !plain.parray) return DISP_E_TYPEMISMATCH;
    hr = convert_array(plain.parray, vt & VT_TYPEMASK, &result);
  } else {
    hr = coerce(&result, plain, flags, vt);
  }
  if (FAILED(hr)) return hr;
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  *dest = result;
  return S_OK;
}
