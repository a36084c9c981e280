#include "platform/com/remote/marshal_variant_internal.h"

#include <type_traits>

#include "platform/com/dispatch.h"

namespace Tavrin::Platform::Com::Wire {
namespace {

// The kinds held in place in a VARIANT, with their fields.
#define QUORVANE_SCALAR_KINDS(X)                                                                           \
  X(VT_I1, cVal) X(VT_UI1, bVal) X(VT_I2, iVal) X(VT_UI2, uiVal) X(VT_BOOL, boolVal) X(VT_I4, lVal)       \
  X(VT_UI4, ulVal) X(VT_INT, intVal) X(VT_UINT, uintVal) X(VT_ERROR, scode) X(VT_I8, llVal)               \
  X(VT_UI8, ullVal) X(VT_R4, fltVal) X(VT_R8, dblVal) X(VT_DATE, date)

constexpr VARTYPE kVariantArray = VT_ARRAY | VT_VARIANT;

// Integers travel as 64 bits (modulo), floating values as doubles.
template <class T>
void write_scalar(Writer& out, T v) {
  if constexpr (std::is_floating_point_v<T>)
    out.f64(static_cast<double>(v));
  else
    out.u64(static_cast<std::uint64_t>(v));
}

template <class T>
T read_scalar(Reader& in) {
  if constexpr (std::is_floating_point_v<T>)
    return static_cast<T>(in.f64());
  else
    return static_cast<T>(in.u64());
}

void write_value(Writer& out, const VARIANT& value, int depth);

// Writes the contents of kind `kind` stored at `data` (a VARIANT's union,
// or what a VT_BYREF points at).
void write_payload(Writer& out, VARTYPE kind, const void* data, int depth) {
  switch (kind) {
#define QUORVANE_WRITE(Kind, field) \
  case Kind:                        \
    return write_scalar(out, *static_cast<const decltype(VARIANT::field)*>(data));
    QUORVANE_SCALAR_KINDS(QUORVANE_WRITE)
#undef QUORVANE_WRITE
    case VT_EMPTY:
    case VT_NULL:
      return;
    case VT_BSTR: {
      const BSTR text = *static_cast<const BSTR*>(data);
      if (text == nullptr) return out.text(std::nullopt);
      return out.text(std::wstring_view(text, SysStringLen(text)));
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (*static_cast<IUnknown* const*>(data) != nullptr) throw MarshalError(DISP_E_BADVARTYPE);
      return;
    case VT_VARIANT:
      return write_value(out, *static_cast<const VARIANT*>(data), depth);
    case kVariantArray: {
      SAFEARRAY* array = *static_cast<SAFEARRAY* const*>(data);
      out.u8(array != nullptr);
      if (array == nullptr) return;
      if (depth >= kMaxArrayDepth || array->cDims != 1) throw MarshalError(DISP_E_BADVARTYPE);
      out.i64(array->rgsabound[0].lLbound);
      out.u32(static_cast<std::uint32_t>(array->rgsabound[0].cElements));
      const VARIANT* elements = static_cast<const VARIANT*>(array->pvData);
      for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) write_value(out, elements[i], depth + 1);
      return;
    }
    default:
      throw MarshalError(DISP_E_BADVARTYPE);
  }
}

void write_value(Writer& out, const VARIANT& value, int depth) {
  if ((value.vt & VT_BYREF) || value.vt == VT_VARIANT) throw MarshalError(DISP_E_BADVARTYPE);
  out.u16(value.vt);
  write_payload(out, value.vt, &value.llVal, depth);
}

void read_value(Reader& in, VARIANT& target, int depth);

// Reads contents of kind `kind` into `target` (VT_EMPTY on entry).
void read_payload(Reader& in, VARTYPE kind, VARIANT& target, int depth) {
  switch (kind) {
#define QUORVANE_READ(Kind, field)                                 \
  case Kind:                                                       \
    target.field = read_scalar<decltype(VARIANT::field)>(in);      \
    break;
    QUORVANE_SCALAR_KINDS(QUORVANE_READ)
#undef QUORVANE_READ
    case VT_EMPTY:
    case VT_NULL:
      break;
    case VT_BSTR: {
      const std::optional<std::wstring> text = in.text();
      target.bstrVal = text ? alloc_bstr(*text) : nullptr;
      break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
      target.punkVal = nullptr;
      break;
    case kVariantArray: {
      target.parray = nullptr;
      if (in.u8() == 0) break;
      if (depth >= kMaxArrayDepth) throw WireError("arrays nested too deep");
      const LONG lower = static_cast<LONG>(in.i64());
      const std::uint32_t count = in.count(2);
      SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, lower, count);
      if (array == nullptr) throw std::bad_alloc();
      target.vt = kind;
      target.parray = array;
      VARIANT* elements = static_cast<VARIANT*>(array->pvData);
      for (std::uint32_t i = 0; i < count; ++i) read_value(in, elements[i], depth + 1);
      return;
    }
    default:
      throw WireError("unknown value kind");
  }
  target.vt = kind;
}

// Reads a whole value into `target`, which holds nothing that needs freeing.
void read_value(Reader& in, VARIANT& target, int depth) {
  VariantInit(&target);
  const VARTYPE kind = in.u16();
  if (kind & VT_BYREF) throw WireError("by-reference value in a value");
  read_payload(in, kind, target, depth);
}

// Moves `value` (of the argument's kind) to where `arg` points, freeing
// what was there.
void store_through(const VARIANTARG& arg, Variant& value) {
  const VARTYPE kind = arg.vt & ~VT_BYREF;
  if (kind == VT_VARIANT) {
    VariantClear(arg.pvarVal);
    value.detach(arg.pvarVal);
    return;
  }
  if (value.vt != kind) throw WireError("out-parameter of another kind");
  switch (kind) {
#define QUORVANE_STORE(Kind, field)                                      \
  case Kind:                                                             \
    *static_cast<decltype(VARIANT::field)*>(arg.byref) = value.field;    \
    return;
    QUORVANE_SCALAR_KINDS(QUORVANE_STORE)
#undef QUORVANE_STORE
    case VT_EMPTY:
    case VT_NULL:
      return;
    case VT_BSTR:
      SysFreeString(*arg.pbstrVal);
      *arg.pbstrVal = value.bstrVal;
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (*arg.ppunkVal != nullptr) (*arg.ppunkVal)->Release();
      *arg.ppunkVal = nullptr;
      return;
    case kVariantArray:
      if (*arg.pparray != nullptr) SafeArrayDestroy(*arg.pparray);
      *arg.pparray = value.parray;
      break;
    default:
      throw WireError("unknown value kind");
  }
  value.vt = VT_EMPTY;  // ownership moved to the caller's storage
}

}  // namespace

void write_variant(Writer& out, const VARIANT& value, bool allow_byref) {
  if (!(value.vt & VT_BYREF)) return write_value(out, value, 0);
  if (!allow_byref) throw MarshalError(DISP_E_BADVARTYPE);
  if (value.byref == nullptr) throw MarshalError(E_POINTER);
  out.u16(value.vt);
  write_payload(out, value.vt & ~VT_BYREF, value.byref, 0);
}

void read_variant(Reader& in, Variant& value) {
  VariantClear(&value);
  read_value(in, value, 0);
}

void ArgumentCells::read(Reader& in, std::uint32_t count) {
  args_.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    Variant& value = values_.emplace_back();
    const VARTYPE kind = in.u16();
    VARIANTARG arg;
    VariantInit(&arg);
    if (!(kind & VT_BYREF)) {
      read_payload(in, kind, value, 0);
      arg = value;  // a view; `value` owns the contents
    } else {
      const VARTYPE target = kind & ~VT_BYREF;
      if (target == VT_VARIANT)
        read_value(in, value, 0);
      else
        read_payload(in, target, value, 0);
      arg.vt = kind;
      arg.byref = target == VT_VARIANT ? static_cast<void*>(&value) : static_cast<void*>(&value.llVal);
      cells_.push_back(&value);
    }
    args_.push_back(arg);
  }
}

void ArgumentCells::write_back(Writer& out) const {
  out.u32(static_cast<std::uint32_t>(cells_.size()));
  for (const Variant* cell : cells_) write_value(out, *cell, 0);
}

void read_back(Reader& in, VARIANTARG* args, UINT count) {
  std::uint32_t expected = 0;
  for (UINT i = 0; i < count; ++i)
    if (args[i].vt & VT_BYREF) ++expected;
  // A failed call may come back without out-values: the caller's stay.
  const std::uint32_t carried = in.u32();
  if (carried == 0) return;
  if (carried != expected) throw WireError("out-parameters do not match the call");
  for (UINT i = 0; i < count; ++i) {
    if (!(args[i].vt & VT_BYREF)) continue;
    Variant value;
    read_variant(in, value);
    store_through(args[i], value);
  }
}

}  // namespace Tavrin::Platform::Com::Wire
