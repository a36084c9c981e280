#include "platform/script/dictionary.h"

#include <map>
#include <new>
#include <vector>

#include "platform/com/com_object.h"
#include "platform/com/enum_variant.h"
#include "platform/script/automation_error_internal.h"

namespace Tavrin::Platform::Script {
namespace {

using namespace Com;

constexpr USHORT kIn = PARAMFLAG_FIN;
constexpr USHORT kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr ParamDescription kKeyItem[] = {{L"Key", kIn}, {L"Item", kIn}};
constexpr ParamDescription kKeyResult[] = {{L"Key", kIn}, {L"result", kRetval}};
constexpr ParamDescription kKey[] = {{L"Key", kIn}};
constexpr ParamDescription kGet[] = {{L"value", kRetval}};
constexpr ParamDescription kNone[] = {{nullptr, 0}};

constexpr MemberDescription kMembers[] = {
    {DISPID_VALUE, INVOKE_PROPERTYPUT, L"Item", kKeyItem, false, L"Set the item of a key",
     bind_member<&IDictionary::put_Item>()},
    {DISPID_VALUE, INVOKE_PROPERTYGET, L"Item", kKeyResult, false, L"The item of a key",
     bind_member<&IDictionary::get_Item>()},
    {1, INVOKE_FUNC, L"Add", kKeyItem, false, L"Add a new key and its item", bind_member<&IDictionary::Add>()},
    {2, INVOKE_PROPERTYGET, L"Count", kGet, false, L"Number of keys", bind_member<&IDictionary::get_Count>()},
    {3, INVOKE_FUNC, L"Exists", kKeyResult, false, L"Whether a key is there", bind_member<&IDictionary::Exists>()},
    {4, INVOKE_FUNC, L"Items", kGet, false, L"An array of the items", bind_member<&IDictionary::Items>()},
    {5, INVOKE_FUNC, L"Keys", kGet, false, L"An array of the keys", bind_member<&IDictionary::Keys>()},
    {6, INVOKE_FUNC, L"Remove", kKey, false, L"Remove a key and its item", bind_member<&IDictionary::Remove>()},
    {7, INVOKE_FUNC, L"RemoveAll", std::span<const ParamDescription>(kNone, 0), false, L"Remove everything",
     bind_member<&IDictionary::RemoveAll>()},
    {DISPID_NEWENUM, INVOKE_PROPERTYGET, L"_NewEnum", kGet, false, nullptr,
     bind_member<&IDictionary::get__NewEnum>()},
};
constexpr InterfaceDescription kDescription = {L"IDictionary", IDictionary::kIid,
                                               TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, kMembers};

// The identity of a key; false when the value cannot be a key (an array).
bool key_identity(const VARIANT& key, std::wstring* identity) {
  Variant plain;
  if (FAILED(VariantCopyInd(&plain, &key))) return false;
  switch (plain.vt) {
    case VT_EMPTY: *identity = L"e"; return true;
    case VT_NULL: *identity = L"z"; return true;
    case VT_BSTR: *identity = L"s" + bstr_text(plain.bstrVal); return true;
    case VT_BOOL: *identity = plain.boolVal ? L"b1" : L"b0"; return true;
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      ComPtr<IUnknown> unknown;
      if (plain.punkVal) plain.punkVal->QueryInterface(IID_IUnknown, unknown.put_void());
      *identity = L"o" + std::to_wstring(reinterpret_cast<std::uintptr_t>(unknown.get()));
      return true;
    }
    default: {
      if (plain.vt & VT_ARRAY) return false;
      Variant number;
      if (FAILED(VariantChangeType(&number, &plain, 0, VT_R8))) return false;
      wchar_t text[40];
      std::swprintf(text, 40, L"n%.17g", number.dblVal);
      *identity = text;
      return true;
    }
  }
}

HRESULT give_array(const std::vector<Variant>& values, VARIANT* out) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
  if (!array) return E_OUTOFMEMORY;
  auto* items = static_cast<VARIANT*>(array->pvData);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const HRESULT hr = VariantCopy(&items[i], &values[i]);
    if (FAILED(hr)) {
      SafeArrayDestroy(array);
      return hr;
    }
  }
  out->vt = VT_ARRAY | VT_VARIANT;
  out->parray = array;
  return S_OK;
}

class Dictionary final : public ComObject<DispatchImpl<IDictionary>, IDictionary, IDispatch> {
 public:
  Dictionary() : ComObject(kDescription) {}

  HRESULT put_Item(VARIANT key, VARIANT item) override {
    return guard([&] {
      std::wstring identity;
      if (!key_identity(key, &identity)) return bad_key();
      const auto found = index_.find(identity);
      if (found == index_.end()) return add(identity, key, item);
      return VariantCopyInd(&entries_[found->second].item, &item);
    });
  }
  HRESULT get_Item(VARIANT key, VARIANT* item) override {
    return guard([&] {
      std::wstring identity;
      if (!key_identity(key, &identity)) return bad_key();
      auto found = index_.find(identity);
      if (found == index_.end()) {
        const HRESULT hr = add(identity, key, Variant());
        if (FAILED(hr)) return hr;
        found = index_.find(identity);
      }
      return VariantCopy(item, &entries_[found->second].item);
    });
  }
  HRESULT Add(VARIANT key, VARIANT item) override {
    return guard([&] {
      std::wstring identity;
      if (!key_identity(key, &identity)) return bad_key();
      if (index_.count(identity))
        return fail(kKeyExists, IDictionary::kIid,
                    L"This key is already associated with an element of this collection: " + key_text(key));
      return add(identity, key, item);
    });
  }
  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(entries_.size());
    return S_OK;
  }
  HRESULT Exists(VARIANT key, VARIANT_BOOL* exists) override {
    return guard([&] {
      std::wstring identity;
      if (!key_identity(key, &identity)) return bad_key();
      *exists = index_.count(identity) ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    });
  }
  HRESULT Items(VARIANT* items) override {
    return guard([&] {
      std::vector<Variant> values;
      for (const Entry& e : entries_) values.push_back(e.item);
      return give_array(values, items);
    });
  }
  HRESULT Keys(VARIANT* keys) override {
    return guard([&] { return give_array(key_list(), keys); });
  }
  HRESULT Remove(VARIANT key) override {
    return guard([&] {
      std::wstring identity;
      if (!key_identity(key, &identity)) return bad_key();
      const auto found = index_.find(identity);
      if (found == index_.end())
        return fail(kElementNotFound, IDictionary::kIid, L"Element not found: " + key_text(key));
      entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(found->second));
      rebuild_index();
      return S_OK;
    });
  }
  HRESULT RemoveAll() override {
    entries_.clear();
    index_.clear();
    return S_OK;
  }
  HRESULT get__NewEnum(IUnknown** walk) override {
    return guard([&] {
      *walk = create_enum_variant(key_list());
      return S_OK;
    });
  }

 private:
  struct Entry {
    std::wstring identity;
    Variant key;
    Variant item;
  };

  ~Dictionary() override = default;

  HRESULT add(const std::wstring& identity, const VARIANT& key, const VARIANT& item) {
    Entry entry{identity, Variant(), Variant()};
    HRESULT hr = VariantCopyInd(&entry.key, &key);
    if (SUCCEEDED(hr)) hr = VariantCopyInd(&entry.item, &item);
    if (FAILED(hr)) return hr;
    entries_.push_back(std::move(entry));
    index_[identity] = entries_.size() - 1;
    return S_OK;
  }
  void rebuild_index() {
    index_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i) index_[entries_[i].identity] = i;
  }
  std::vector<Variant> key_list() const {
    std::vector<Variant> keys;
    for (const Entry& e : entries_) keys.push_back(e.key);
    return keys;
  }
  static std::wstring key_text(const VARIANT& key) {
    Variant text;
    return SUCCEEDED(VariantChangeType(&text, &key, 0, VT_BSTR)) ? bstr_text(text.bstrVal) : L"(object)";
  }
  static HRESULT bad_key() { return fail(kInvalidArgument, IDictionary::kIid, L"An array cannot be a key"); }

  template <class Body>
  static HRESULT guard(Body body) {
    return guard_method(IDictionary::kIid, body);
  }

  std::vector<Entry> entries_;
  std::map<std::wstring, std::size_t> index_;
};

}  // namespace

HRESULT create_dictionary(REFIID iid, void** object) {
  return create_object<Dictionary>(iid, object);
}

}  // namespace Tavrin::Platform::Script
