// One-dimensional arrays. The header and the elements are one allocation,
// preceded by the element kind (as Windows keeps it before the header);
// cLocks counts SafeArrayAccessData calls.
//
// Every element is stored as a VARIANT of the array's element kind, so
// SafeArrayAccessData gives VARIANTs for arrays of any kind; the element
// functions take and give the element kind itself (a BSTR, a LONG, ...)
// for typed arrays and a VARIANT for arrays of VARIANT, as on Windows.
#include "platform/com/variant.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/com/unknown.h"

namespace {

struct Block {
  VARTYPE vt;
  alignas(std::max_align_t) SAFEARRAY array;
};

Block* block_of(SAFEARRAY* array) {
  return reinterpret_cast<Block*>(reinterpret_cast<char*>(array) - offsetof(Block, array));
}

VARIANT* elements(SAFEARRAY* array) { return static_cast<VARIANT*>(array->pvData); }

bool offset_of(SAFEARRAY* array, const LONG* index, ULONG* offset) {
  const long long relative = static_cast<long long>(*index) - array->rgsabound[0].lLbound;
  if (relative < 0 || relative >= static_cast<long long>(array->rgsabound[0].cElements)) return false;
  *offset = static_cast<ULONG>(relative);
  return true;
}

// Bytes of one element of kind `vt` as the element functions pass it; 0
// for a kind that arrays do not hold.
std::size_t element_size(VARTYPE vt) {
  switch (vt) {
    case VT_VARIANT: return sizeof(VARIANT);
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_INT: case VT_UINT: case VT_R4: case VT_ERROR: return 4;
    case VT_I8: case VT_UI8: case VT_R8: case VT_DATE: return 8;
    case VT_BSTR: return sizeof(BSTR);
    case VT_DISPATCH: case VT_UNKNOWN: return sizeof(void*);
    default: return 0;
  }
}

}  // namespace

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG count) {
  if (element_size(vt) == 0) return nullptr;
  if (count > (std::numeric_limits<std::size_t>::max() - sizeof(Block)) / sizeof(VARIANT)) return nullptr;
  void* memory = std::malloc(sizeof(Block) + count * sizeof(VARIANT));
  if (!memory) return nullptr;
  Block* block = static_cast<Block*>(memory);
  block->vt = vt;
  SAFEARRAY* array = &block->array;
  array->cDims = 1;
  array->fFeatures = 0;
  array->cbElements = sizeof(VARIANT);
  array->cLocks = 0;
  array->pvData = block + 1;
  array->rgsabound[0].cElements = count;
  array->rgsabound[0].lLbound = lower_bound;
  std::memset(static_cast<void*>(elements(array)), 0, count * sizeof(VARIANT));
  for (ULONG i = 0; i < count; ++i)
    elements(array)[i].vt = vt == VT_VARIANT ? VARTYPE{VT_EMPTY} : vt;  // zero, null string, null pointer
  return array;
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
  if (!array) return S_OK;
  if (array->cLocks) return DISP_E_ARRAYISLOCKED;
  for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) VariantClear(&elements(array)[i]);
  std::free(block_of(array));
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) {
  if (!copy) return E_INVALIDARG;
  *copy = nullptr;
  if (!array) return S_OK;
  SAFEARRAY* fresh =
      SafeArrayCreateVector(block_of(array)->vt, array->rgsabound[0].lLbound, array->rgsabound[0].cElements);
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
  *vt = block_of(array)->vt;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* index, void* out) {
  if (!array || !index || !out) return E_INVALIDARG;
  ULONG offset = 0;
  if (!offset_of(array, index, &offset)) return DISP_E_BADINDEX;
  const VARTYPE vt = block_of(array)->vt;
  if (vt == VT_VARIANT) {
    VARIANT* target = static_cast<VARIANT*>(out);
    VariantInit(target);
    return VariantCopy(target, &elements(array)[offset]);
  }
  VARIANT copy;
  std::memset(static_cast<void*>(&copy), 0, sizeof copy);
  const HRESULT hr = VariantCopy(&copy, &elements(array)[offset]);
  if (FAILED(hr)) return hr;
  std::memcpy(out, &copy.llVal, element_size(vt));  // the caller owns the copied string or reference
  return S_OK;
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* index, const void* value) {
  if (!array || !index || !value) return E_INVALIDARG;
  ULONG offset = 0;
  if (!offset_of(array, index, &offset)) return DISP_E_BADINDEX;
  const VARTYPE vt = block_of(array)->vt;
  if (vt == VT_VARIANT) return VariantCopy(&elements(array)[offset], static_cast<const VARIANT*>(value));
  VARIANT given;
  std::memset(static_cast<void*>(&given), 0, sizeof given);
  given.vt = vt;
  if (vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN)
    given.byref = const_cast<void*>(value);  // the string or interface itself, as on Windows
  else
    std::memcpy(&given.llVal, value, element_size(vt));
  // `given` is borrowed: VariantCopy copies the string or takes a reference.
  return VariantCopy(&elements(array)[offset], &given);
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
