// VARIANTs on the wire, and the by-reference arguments of a call that
// crosses processes.
//
// A value travels as its kind (16 bits) and its contents: numbers and
// booleans by width, BSTRs as wire texts (null stays null), arrays of
// VARIANT with their lower bound and elements. Interface pointers do not
// travel: only a null VT_DISPATCH or VT_UNKNOWN may cross; any other value
// of those kinds, like any kind not listed in variant.h, fails with
// DISP_E_BADVARTYPE. Arrays nest at most kMaxArrayDepth deep.
//
// A VT_BYREF argument travels as its kind (VT_BYREF kept) followed by the
// value it points at. The server keeps that value in a cell of its own and
// calls the object with a pointer into the cell; the reply carries each
// cell's final value, which the client stores where its own argument
// points, freeing what was there (in-out semantics).
#ifndef QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_VARIANT_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_VARIANT_INTERNAL_H_

#include <deque>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/com/remote/marshal_wire_internal.h"
#include "platform/com/variant.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com::Wire {

constexpr int kMaxArrayDepth = 8;

// A value that cannot travel, with the HRESULT the call fails with.
class QUORVANE_PLATFORM_EXPORT MarshalError : public std::runtime_error {
 public:
  explicit MarshalError(HRESULT hr) : std::runtime_error("value cannot be marshalled"), hr_(hr) {}
  HRESULT hr() const { return hr_; }

 private:
  HRESULT hr_;
};

// Writes `value`; a VT_BYREF one only when `allow_byref` (an argument).
// Throws MarshalError.
QUORVANE_PLATFORM_EXPORT void write_variant(Writer& out, const VARIANT& value, bool allow_byref = false);

// Reads a value written without VT_BYREF into `value` (cleared first).
// Throws WireError for a malformed message, a VT_BYREF kind included.
QUORVANE_PLATFORM_EXPORT void read_variant(Reader& in, Variant& value);

// The server's side of a call's arguments: rgvarg as it arrived, with a
// cell behind each VT_BYREF argument. Stable addresses: not copyable.
class QUORVANE_PLATFORM_EXPORT ArgumentCells {
 public:
  ArgumentCells() = default;
  ArgumentCells(const ArgumentCells&) = delete;
  ArgumentCells& operator=(const ArgumentCells&) = delete;

  // Reads `count` arguments (rgvarg order). Throws WireError.
  void read(Reader& in, std::uint32_t count);
  VARIANTARG* args() { return args_.empty() ? nullptr : args_.data(); }
  UINT count() const { return static_cast<UINT>(args_.size()); }
  // Writes the count of VT_BYREF arguments, then each one's cell value.
  // Throws MarshalError.
  void write_back(Writer& out) const;

 private:
  std::deque<Variant> values_;  // by-value arguments and cells, owned
  std::vector<VARIANTARG> args_;
  std::vector<const Variant*> cells_;  // in rgvarg order
};

// The client's side: stores the values that a reply carries back into the
// VT_BYREF arguments of `args` (rgvarg order); a reply that carries none
// (a call that failed before the object ran) leaves them. Throws WireError
// when the reply does not match the arguments.
QUORVANE_PLATFORM_EXPORT void read_back(Reader& in, VARIANTARG* args, UINT count);

}  // namespace Tavrin::Platform::Com::Wire

#endif  // QUORVANE_PLATFORM_COM_REMOTE_MARSHAL_VARIANT_INTERNAL_H_
