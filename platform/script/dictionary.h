// Scripting.Dictionary: items under unique keys, in the order added.
// Keys are compared by kind and value: the string "1" and the number 1 are
// different keys; numbers of any kind with the same value are one key;
// objects are the same key when they are the same object. Item of a
// missing key adds it with an empty item, as scripts expect.
#ifndef QUORVANE_PLATFORM_SCRIPT_DICTIONARY_H_
#define QUORVANE_PLATFORM_SCRIPT_DICTIONARY_H_

#include "platform/com/com.h"

struct IDictionary : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{42C642C1-97E1-11CF-978F-00A02463E06F}");

  virtual HRESULT put_Item(VARIANT key, VARIANT item) = 0;
  virtual HRESULT get_Item(VARIANT key, VARIANT* item) = 0;
  // Fails when the key is there already.
  virtual HRESULT Add(VARIANT key, VARIANT item) = 0;
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT Exists(VARIANT key, VARIANT_BOOL* exists) = 0;
  // Arrays of the items and of the keys, in order.
  virtual HRESULT Items(VARIANT* items) = 0;
  virtual HRESULT Keys(VARIANT* keys) = 0;
  // Fails when the key is not there.
  virtual HRESULT Remove(VARIANT key) = 0;
  virtual HRESULT RemoveAll() = 0;
  // Enumerates the keys.
  virtual HRESULT get__NewEnum(IUnknown** walk) = 0;

 protected:
  ~IDictionary() = default;
};

namespace Tavrin::Platform::Script {

constexpr CLSID CLSID_Dictionary = Com::make_guid("{EE09B103-97E0-11CF-978F-00A02463E06F}");

HRESULT create_dictionary(REFIID iid, void** object);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_DICTIONARY_H_
