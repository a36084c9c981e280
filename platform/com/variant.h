// VARIANT: automation's tagged value, and SAFEARRAY, its array. Fields and
// constants have their Windows names, so that code reads `v.vt == VT_BSTR`
// and `v.bstrVal` as it would there.
//
// Kinds offered: VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R4, VT_R8, VT_DATE, VT_BSTR,
// VT_DISPATCH, VT_ERROR, VT_BOOL, VT_UNKNOWN, VT_I1, VT_UI1, VT_UI2, VT_UI4,
// VT_I8, VT_UI8, VT_INT, VT_UINT, VT_ARRAY | VT_VARIANT or VT_ARRAY | one of
// the kinds above (a one-dimensional SAFEARRAY), and VT_BYREF | any of these
// or VT_VARIANT. Other kinds are refused with DISP_E_BADVARTYPE.
//
// Ownership: a VARIANT owns its BSTR, its interface reference and its array
// (VariantClear frees them), never what a VT_BYREF points at. Variant is the
// owning C++ wrapper.
#ifndef QUORVANE_PLATFORM_COM_VARIANT_H_
#define QUORVANE_PLATFORM_COM_VARIANT_H_

#include <string>
#include <string_view>

#include "platform/com/bstr.h"
#include "platform/com/hresult.h"
#include "platform/export.h"
#include "platform/win32/types.h"

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;

// A point in time: days since 1899-12-30 00:00, the fraction the time of day
// (local time, as automation keeps it).
using DATE = double;
enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;  // VT_I4 (32-bit range)
    BYTE bVal;
    SHORT iVal;
    float fltVal;
    double dblVal;
    DATE date;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    char cVal;
    USHORT uiVal;
    ULONG ulVal;  // VT_UI4 (32-bit range)
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
    BYTE* pbVal;
    SHORT* piVal;
    LONG* plVal;
    LONGLONG* pllVal;
    float* pfltVal;
    double* pdblVal;
    DATE* pdate;
    VARIANT_BOOL* pboolVal;
    SCODE* pscode;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    char* pcVal;
    USHORT* puiVal;
    ULONG* pulVal;
    ULONGLONG* pullVal;
    INT* pintVal;
    UINT* puintVal;
    void* byref;
  };
};
using VARIANTARG = VARIANT;
using LPVARIANT = VARIANT*;

// Flags of VariantChangeType.
constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;

// Makes `v` VT_EMPTY without looking at what it held.
QUORVANE_PLATFORM_EXPORT void VariantInit(VARIANT* v);
// Frees what `v` owns and makes it VT_EMPTY. DISP_E_BADVARTYPE (and `v`
// untouched) for an unknown kind.
QUORVANE_PLATFORM_EXPORT HRESULT VariantClear(VARIANT* v);
// Clears `dest`, then makes it a deep copy of `src` (new BSTR, AddRef'ed
// interface, copied array; a VT_BYREF is copied as the same reference).
QUORVANE_PLATFORM_EXPORT HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// As VariantCopy, but a VT_BYREF source is copied as the value it points at.
QUORVANE_PLATFORM_EXPORT HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);

// Converts `src` (dereferenced when VT_BYREF) to kind `vt` into `dest`,
// which it clears first; `dest` may be `src`. On failure `dest` is left as
// it was. The automation coercions, with the system locale's rules ("." as
// decimal point, no digit grouping):
// - to VT_BSTR: VT_EMPTY gives ""; integers their decimal text; VT_R4/VT_R8
//   up to 7/15 significant digits with "E+nn" exponents for large and small
//   magnitudes ("0.1", "1.5", "1E+20"), "NaN", "Infinity" and "-Infinity"
//   as scripts write them; VT_DATE "YYYY-MM-DD hh:mm:ss" (the date alone
//   at midnight); VT_BOOL "-1" or "0", or "True" or
//   "False" with VARIANT_ALPHABOOL; VT_DISPATCH the text of the object's
//   value property (DISPID_VALUE); VT_NULL, VT_UNKNOWN and arrays fail with
//   DISP_E_TYPEMISMATCH.
// - to numbers, VT_DATE and VT_BOOL (a date converts as its day number):
//   VT_EMPTY gives 0; a number that does not fit
//   fails with DISP_E_OVERFLOW; floating values round half to even; VT_BSTR
//   is read as a number (blanks around allowed; also "True"/"False" ignoring
//   case) else DISP_E_TYPEMISMATCH; VT_BOOL reads as -1 or 0; any non-zero
//   number converts to VARIANT_TRUE; VT_DISPATCH through its value property.
//   VT_NULL fails with DISP_E_TYPEMISMATCH.
// - to VT_DISPATCH / VT_UNKNOWN: from either, through QueryInterface (a null
//   pointer converts to null); E_NOINTERFACE when not supported.
// - to VT_NULL / VT_EMPTY: any value gives that kind.
// - an array to an array of another element kind, element by element;
//   nothing else to an array.
QUORVANE_PLATFORM_EXPORT HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT flags, VARTYPE vt);

// ---- SAFEARRAY: one-dimensional arrays ------------------------------------

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;        // always 1
  USHORT fFeatures;
  ULONG cbElements;    // sizeof(VARIANT): elements are VARIANTs of the element kind
  ULONG cLocks;
  void* pvData;        // cElements VARIANTs
  SAFEARRAYBOUND rgsabound[1];
};
using LPSAFEARRAY = SAFEARRAY*;

// A new array of `count` elements of kind `vt` (VT_VARIANT, or a kind
// VARIANT holds other than VT_EMPTY and VT_NULL), zero or empty, indexed
// from `lower_bound`. Every element is kept as a VARIANT of that kind:
// SafeArrayAccessData gives VARIANT* for arrays of any kind. Null for
// another kind or when memory runs out.
QUORVANE_PLATFORM_EXPORT SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG count);
// Clears every element and frees the array. DISP_E_ARRAYISLOCKED while
// its data is accessed.
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayDestroy(SAFEARRAY* array);
// A deep copy in *copy.
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy);
QUORVANE_PLATFORM_EXPORT UINT SafeArrayGetDim(SAFEARRAY* array);
// Bounds of dimension `dim` (1 only). DISP_E_BADINDEX for another dimension.
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
// SafeArrayGetElement copies element `*index` into `out`, which it
// overwrites without clearing: a VARIANT* for an array of VARIANT, else a
// pointer to the element kind (BSTR*, LONG*, IDispatch**, ...; the caller
// owns the copied string or reference). SafeArrayPutElement replaces the
// element by a copy of what `value` points at, of the same kind (for
// VT_BSTR, VT_DISPATCH and VT_UNKNOWN `value` is the string or interface
// itself, as on Windows).
// DISP_E_BADINDEX outside the bounds.
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* index, void* out);
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* index, const void* value);
// Direct access to the elements (a VARIANT* in *data), counted.
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
QUORVANE_PLATFORM_EXPORT HRESULT SafeArrayUnaccessData(SAFEARRAY* array);

namespace Tavrin::Platform::Com {

// Owns one VARIANT and clears it when it goes. Copies are deep.
class QUORVANE_PLATFORM_EXPORT Variant : public VARIANT {
 public:
  Variant() { VariantInit(this); }
  Variant(const Variant& other);
  Variant(const VARIANT& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(const Variant& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() { VariantClear(this); }

  // VT_I4, VT_UI8, VT_R8, VT_BOOL.
  explicit Variant(int value);
  explicit Variant(ULONGLONG value);
  explicit Variant(double value);
  explicit Variant(bool value);
  // VT_BSTR (a new string). Throws std::bad_alloc.
  explicit Variant(std::wstring_view text);
  explicit Variant(const wchar_t* text) : Variant(std::wstring_view(text)) {}
  explicit Variant(const std::wstring& text) : Variant(std::wstring_view(text)) {}
  // VT_DISPATCH / VT_UNKNOWN holding a new reference (null allowed).
  explicit Variant(IDispatch* object);
  explicit Variant(IUnknown* object);

  // VT_NULL.
  static Variant null();
  // Takes over what `v` holds and leaves `v` VT_EMPTY.
  static Variant take(VARIANT* v);

  // Clears and returns the address, for a callee's out-parameter.
  VARIANT* put() {
    VariantClear(this);
    return this;
  }
  // Moves the value out into *out (which is overwritten, not cleared).
  void detach(VARIANT* out);
  // Converts to kind `vt` in place; throws _com_error on failure.
  void change_type(VARTYPE vt, USHORT flags = 0);
  // The value as text through the coercion to VT_BSTR; throws _com_error.
  std::wstring to_string() const;
};

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_VARIANT_H_
