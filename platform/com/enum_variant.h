// IEnumVARIANT: the enumerator of a collection's elements, which a
// collection hands out as the value of its member _NewEnum (DISPID_NEWENUM,
// called as a method or property get, result VT_UNKNOWN or VT_DISPATCH).
// Scripts walk it with `new Enumerator(collection)`.
#ifndef QUORVANE_PLATFORM_COM_ENUM_VARIANT_H_
#define QUORVANE_PLATFORM_COM_ENUM_VARIANT_H_

#include <vector>

#include "platform/com/unknown.h"
#include "platform/com/variant.h"
#include "platform/export.h"

constexpr LONG DISPID_NEWENUM = -4;

struct IEnumVARIANT : IUnknown {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{00020404-0000-0000-C000-000000000046}");

  // Copies up to `count` next elements into items[0..] (each overwritten,
  // not cleared) and sets *fetched (may be null when count is 1). S_OK when
  // `count` were copied, S_FALSE when fewer were left.
  virtual HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) = 0;
  // Skips `count` elements: S_FALSE when fewer were left.
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  // A new enumerator at the same position over the same elements.
  virtual HRESULT Clone(IEnumVARIANT** copy) = 0;

 protected:
  ~IEnumVARIANT() = default;
};
constexpr IID IID_IEnumVARIANT = IEnumVARIANT::kIid;

namespace Tavrin::Platform::Com {

// An enumerator over copies of `items`, in order. Throws std::bad_alloc.
QUORVANE_PLATFORM_EXPORT IEnumVARIANT* create_enum_variant(std::vector<Variant> items);

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_ENUM_VARIANT_H_
