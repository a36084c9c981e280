// One-dimensional arrays of VARIANT. The header and the elements are one
// allocation; cLocks counts SafeArrayAccessData calls.
#include "platform/com/variant.h"

#include <cstdlib>
#include <limits>

namespace {

VARIANT* elements(SAFEARRAY* array) { return static_cast<VARIANT*>(array->pvData); }

bool offset_of(SAFEARRAY* array, const LONG* index, ULONG* offset) {
  const long long relative = static_cast<long long>(*index) - array->rgsabound[0].lLbound;
  if (relative < 0 || relative >= static_cast<long long>(array->rgsabound[0].cElements)) return false;
  *offset = static_cast<ULONG>(relative);
  return true;
}

}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG count) {
  if (vt != VT_VARIANT) return nullptr;
  if (count > (std::numeric_limits<std::size_t>::max() - sizeof(SAFEARRAY)) / sizeof(VARIANT)) return nullptr;
  void* block = std::malloc(sizeof(SAFEARRAY) + count * sizeof(VARIANT));
  if (!block) return nullptr;
  SAFEARRAY* array = static_cast<SAFEARRAY*>(block);
  array->cDims = 1;
  array->fFeatures = 0;
  array->cbElements = sizeof(VARIANT);
  array->cLocks = 0;
  array->pvData = array + 1;
  array->rgsabound[0].cElements = count;
  array->rgsabound[0].lLbound = lower_bound;
  for (ULONG i = 0; i < count; ++i) VariantInit(&elements(array)[i]);
  return array;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return S_OK;
  if (array->cLocks) return DISP_E_ARRAYISLOCKED;
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) VariantClear(&elements(array)[i]);
  std::free(array);
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) {
  if (!copy) return E_INVALIDARG;
  *copy = nullptr;
  if (!array) return S_OK;
  SAFEARRAY* fresh = SafeArrayCreateVector(VT_VARIANT, array->rgsabound[0].lLbound, array->rgsabound[0].cElements);
  if (!fresh) return E_OUTOFMEMORY;
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
    const HRESULT hr = VariantCopy(&elements(fresh)[i], &elements(array)[i]);
    if (FAILED(hr)) {
      SafeArrayDestroy(fresh);
      return hr;
    }
  }
  *copy = fresh;
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) { return array ? array->cDims : 0; }

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *bound = array->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound) {
  if (!array || !bound) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *bound = array->rgsabound[0].lLbound + static_cast<LONG>(array->rgsabound[0].cElements) - 1;
  return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
  if (!array || !vt) return E_INVALIDARG;
  *vt = VT_VARIANT;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* index, void* out) {
  if (!array || !index || !out) return E_INVALIDARG;
  ULONG offset = 0;
  if (!offset_of(array, index, &offset)) return DISP_E_BADINDEX;
  VARIANT* target = static_cast<VARIANT*>(out);
  VariantInit(target);
  return VariantCopy(target, &elements(array)[offset]);
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* index, const void* value) {
  if (!array || !index || !value) return E_INVALIDARG;
  ULONG offset = 0;
  if (!offset_of(array, index, &offset)) return DISP_E_BADINDEX;
  return VariantCopy(&elements(array)[offset], static_cast<const VARIANT*>(value));
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
  if (!array || !data) return E_INVALIDARG;
  ++array->cLocks;
  *data = array->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) {
  if (!array) return E_INVALIDARG;
  if (array->cLocks == 0) return E_UNEXPECTED;
  --array->cLocks;
  return S_OK;
}
