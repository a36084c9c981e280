#include "platform/com/variant.h"

#include <new>

#include "platform/com/dispatch.h"
#include "platform/com/error_info.h"

namespace {

// Whether `vt` is a kind this layer handles (VT_BYREF and VT_ARRAY apart).
bool known_base(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_DATE: case VT_BSTR:
    case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_UNKNOWN: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

// An array of VARIANTs or of one of the element kinds SAFEARRAY offers.
bool known_array(VARTYPE vt) {
  if ((vt & ~VT_TYPEMASK) != VT_ARRAY) return false;
  const VARTYPE element = vt & VT_TYPEMASK;
  return element == VT_VARIANT || (known_base(element) && element != VT_EMPTY && element != VT_NULL);
}

bool known_kind(VARTYPE vt) {
  if (vt & VT_BYREF) {
    const VARTYPE base = vt & ~VT_BYREF;
    return base == VT_VARIANT || known_array(base) || (known_base(base) && base != VT_EMPTY && base != VT_NULL);
  }
  return known_array(vt) || known_base(vt);
}

// Copies the value of a non-BYREF variant into `dest` (overwritten).
HRESULT copy_value(VARIANT* dest, const VARIANT& src) {
  VARIANT copy = src;
  switch (src.vt) {
    case VT_BSTR:
      if (src.bstrVal) {
        copy.bstrVal = SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal));
        if (!copy.bstrVal) return E_OUTOFMEMORY;
      }
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (src.punkVal) src.punkVal->AddRef();
      break;
    default:
      if ((src.vt & VT_ARRAY) && src.parray) {
        const HRESULT hr = SafeArrayCopy(src.parray, &copy.parray);
        if (FAILED(hr)) return hr;
      }
      break;
  }
  *dest = copy;
  return S_OK;
}

// The value a VT_BYREF variant points at, as a plain variant that does not
// own anything (for copying).
HRESULT dereference(const VARIANT& src, VARIANT* out) {
  const VARTYPE base = src.vt & ~VT_BYREF;
  if (base == VT_VARIANT) {
    if (!src.pvarVal) return E_INVALIDARG;
    if (src.pvarVal->vt & VT_BYREF) return dereference(*src.pvarVal, out);
    *out = *src.pvarVal;
    return S_OK;
  }
  if (!src.byref) return E_INVALIDARG;
  VariantInit(out);
  out->vt = base;
  switch (base) {
    case VT_I2: case VT_BOOL: out->iVal = *src.piVal; break;
    case VT_I4: out->lVal = *src.plVal; break;
    case VT_R4: out->fltVal = *src.pfltVal; break;
    case VT_R8: out->dblVal = *src.pdblVal; break;
    case VT_DATE: out->date = *src.pdate; break;
    case VT_BSTR: out->bstrVal = *src.pbstrVal; break;
    case VT_DISPATCH: case VT_UNKNOWN: out->punkVal = *src.ppunkVal; break;
    case VT_ERROR: out->scode = *src.pscode; break;
    case VT_I1: out->cVal = *src.pcVal; break;
    case VT_UI1: out->bVal = *src.pbVal; break;
    case VT_UI2: out->uiVal = *src.puiVal; break;
    case VT_UI4: out->ulVal = *src.pulVal; break;
    case VT_I8: out->llVal = *src.pllVal; break;
    case VT_UI8: out->ullVal = *src.pullVal; break;
    case VT_INT: out->intVal = *src.pintVal; break;
    case VT_UINT: out->uintVal = *src.puintVal; break;
    default:
      if (!(base & VT_ARRAY)) return DISP_E_BADVARTYPE;
      out->parray = *src.pparray;
      break;
  }
  return S_OK;
}

}  // namespace

void VariantInit(VARIANT* v) {
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->llVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!known_kind(v->vt)) return DISP_E_BADVARTYPE;
  switch (v->vt) {
    case VT_BSTR:
      SysFreeString(v->bstrVal);
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (v->punkVal) v->punkVal->Release();
      break;
    default:
      if ((v->vt & VT_ARRAY) && v->parray) {
        const HRESULT hr = SafeArrayDestroy(v->parray);
        if (FAILED(hr)) return hr;
      }
      break;
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!known_kind(src->vt)) return DISP_E_BADVARTYPE;
  if (dest == src) return S_OK;
  VARIANT copy = *src;  // a VT_BYREF is copied as the same reference
  if (!(src->vt & VT_BYREF)) {
    const HRESULT hr = copy_value(&copy, *src);
    if (FAILED(hr)) return hr;
  }
  const HRESULT cleared = VariantClear(dest);
  if (FAILED(cleared)) {
    VariantClear(&copy);
    return cleared;
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!known_kind(src->vt)) return DISP_E_BADVARTYPE;
  if (!(src->vt & VT_BYREF)) return VariantCopy(dest, src);
  VARIANT plain;
  HRESULT hr = dereference(*src, &plain);
  if (FAILED(hr)) return hr;
  VARIANT copy;
  hr = copy_value(&copy, plain);
  if (FAILED(hr)) return hr;
  hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

namespace Tavrin::Platform::Com {

Variant::Variant(const Variant& other) : Variant(static_cast<const VARIANT&>(other)) {}

Variant::Variant(const VARIANT& other) {
  VariantInit(this);
  check(VariantCopy(this, &other));
}

Variant::Variant(Variant&& other) noexcept {
  *static_cast<VARIANT*>(this) = other;
  VariantInit(&other);
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) check(VariantCopy(this, &other));
  return *this;
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    VariantClear(this);
    *static_cast<VARIANT*>(this) = other;
    VariantInit(&other);
  }
  return *this;
}

Variant::Variant(int value) : Variant() {
  vt = VT_I4;
  lVal = value;
}

Variant::Variant(ULONGLONG value) : Variant() {
  vt = VT_UI8;
  ullVal = value;
}

Variant::Variant(double value) : Variant() {
  vt = VT_R8;
  dblVal = value;
}

Variant::Variant(bool value) : Variant() {
  vt = VT_BOOL;
  boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(std::wstring_view text) : Variant() {
  bstrVal = alloc_bstr(text);
  vt = VT_BSTR;
}

Variant::Variant(IDispatch* object) : Variant() {
  vt = VT_DISPATCH;
  pdispVal = object;
  if (object) object->AddRef();
}

Variant::Variant(IUnknown* object) : Variant() {
  vt = VT_UNKNOWN;
  punkVal = object;
  if (object) object->AddRef();
}

Variant Variant::null() {
  Variant v;
  v.vt = VT_NULL;
  return v;
}

Variant Variant::take(VARIANT* v) {
  Variant result;
  *static_cast<VARIANT*>(&result) = *v;
  VariantInit(v);
  return result;
}

void Variant::detach(VARIANT* out) {
  *out = *static_cast<VARIANT*>(this);
  VariantInit(this);
}

void Variant::change_type(VARTYPE kind, USHORT flags) { check(VariantChangeType(this, this, flags, kind)); }

std::wstring Variant::to_string() const {
  if (vt == VT_BSTR) return bstr_text(bstrVal);
  Variant text;
  check(VariantChangeType(&text, this, 0, VT_BSTR));
  return bstr_text(text.bstrVal);
}

}  // namespace Tavrin::Platform::Com
