#include "platform/script/collection.h"

#include <cwctype>

#include "platform/com/com_object.h"
#include "platform/com/enum_variant.h"
#include "platform/script/automation_error_internal.h"

namespace Tavrin::Platform::Script {
namespace {

using namespace Com;

constexpr ParamDescription kGet[] = {{L"value", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr ParamDescription kItem[] = {{L"key", PARAMFLAG_FIN}, {L"item", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr MemberDescription kMembers[] = {
    {1, INVOKE_PROPERTYGET, L"Count", kGet, false, L"Number of items",
     bind_member<&IItemCollection::get_Count>()},
    {DISPID_VALUE, INVOKE_PROPERTYGET, L"Item", kItem, false, L"One item, by name or 0-based index",
     bind_member<&IItemCollection::get_Item>()},
    {DISPID_NEWENUM, INVOKE_PROPERTYGET, L"_NewEnum", kGet, false, nullptr,
     bind_member<&IItemCollection::get__NewEnum>()},
};
constexpr InterfaceDescription kDescription = {L"IItemCollection", IItemCollection::kIid,
                                               TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, kMembers};

bool same_name(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

class Collection final : public ComObject<DispatchImpl<IItemCollection>, IItemCollection, IDispatch> {
 public:
  Collection(std::vector<NamedItem> items, CollectionOptions options)
      : ComObject(kDescription), items_(std::move(items)), options_(std::move(options)) {}

  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT key, VARIANT* item) override {
    try {
      Variant plain;
      VariantCopyInd(&plain, &key);
      if (plain.vt == VT_BSTR) {
        const std::wstring name = bstr_text(plain.bstrVal);
        for (const NamedItem& entry : items_)
          if (same_name(entry.name, name)) return VariantCopy(item, &entry.value);
        if (options_.not_found.empty()) {
          item->vt = VT_BSTR;
          item->bstrVal = SysAllocString(L"");
          return item->bstrVal ? S_OK : E_OUTOFMEMORY;
        }
        return fail(kElementNotFound, IItemCollection::kIid, options_.not_found + name);
      }
      Variant index;
      if (FAILED(VariantChangeType(&index, &plain, 0, VT_I4)))
        return fail(kInvalidArgument, IItemCollection::kIid, L"An item is chosen by name or by number");
      if (index.lVal < 0 || static_cast<std::size_t>(index.lVal) >= items_.size())
        return fail(kElementNotFound, IItemCollection::kIid,
                    (options_.not_found.empty() ? L"No item " : options_.not_found) + std::to_wstring(index.lVal));
      return VariantCopy(item, &items_[index.lVal].value);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT get__NewEnum(IUnknown** walk) override {
    try {
      std::vector<Variant> values = options_.walk;
      if (values.empty())
        for (const NamedItem& entry : items_) values.push_back(entry.value);
      *walk = create_enum_variant(std::move(values));
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  ~Collection() override = default;

  std::vector<NamedItem> items_;
  CollectionOptions options_;
};

}  // namespace

ComPtr<IItemCollection> make_collection(std::vector<NamedItem> items, CollectionOptions options) {
  return ComPtr<IItemCollection>::attach(new Collection(std::move(items), std::move(options)));
}

}  // namespace Tavrin::Platform::Script
