// A read-only collection of named items for the automation classes:
// a folder's Files and SubFolders, the shell's environment. Scripts walk it
// with `new Enumerator(c)` (the items in order), read `Count`, and take one
// item with `Item(name)` (names compared without regard to case) or
// `Item(index)` (0-based).
#ifndef QUORVANE_PLATFORM_SCRIPT_COLLECTION_H_
#define QUORVANE_PLATFORM_SCRIPT_COLLECTION_H_

#include <string>
#include <utility>
#include <vector>

#include "platform/com/com.h"

struct IItemCollection : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{3C5B7E21-94A0-4B8F-9D16-0E2F4A6B8C13}");

  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT get_Item(VARIANT key, VARIANT* item) = 0;
  virtual HRESULT get__NewEnum(IUnknown** walk) = 0;

 protected:
  ~IItemCollection() = default;
};

namespace Tavrin::Platform::Script {

struct NamedItem {
  std::wstring name;
  Com::Variant value;
};

struct CollectionOptions {
  // The error text for an Item that is not there (the name or index
  // follows it); empty: a missing name gives an empty text instead.
  std::wstring not_found;
  // What Enumerator walks; the items' values when empty.
  std::vector<Com::Variant> walk;
};

// A new collection over `items`.
Com::ComPtr<IItemCollection> make_collection(std::vector<NamedItem> items, CollectionOptions options);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_COLLECTION_H_
