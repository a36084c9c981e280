#include "platform/com/enum_variant.h"

#include <memory>
#include <utility>

#include "platform/com/com_object.h"

namespace Tavrin::Platform::Com {
namespace {

class EnumVariant final : public ComObject<IEnumVARIANT, IEnumVARIANT> {
 public:
  EnumVariant(std::shared_ptr<const std::vector<Variant>> items, std::size_t position)
      : items_(std::move(items)), position_(position) {}

  HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) override {
    if (!items && count > 0) return E_POINTER;
    if (!fetched && count != 1) return E_POINTER;
    ULONG done = 0;
    while (done < count && position_ < items_->size()) {
      VariantInit(&items[done]);
      const HRESULT hr = VariantCopy(&items[done], &(*items_)[position_]);
      if (FAILED(hr)) {
        for (ULONG i = 0; i < done; ++i) VariantClear(&items[i]);
        if (fetched) *fetched = 0;
        return hr;
      }
      ++done;
      ++position_;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    const std::size_t left = items_->size() - position_;
    if (count > left) {
      position_ = items_->size();
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }
  HRESULT Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumVARIANT** copy) override {
    if (!copy) return E_POINTER;
    *copy = new (std::nothrow) EnumVariant(items_, position_);
    return *copy ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~EnumVariant() override = default;

  std::shared_ptr<const std::vector<Variant>> items_;
  std::size_t position_;
};

}  // namespace

IEnumVARIANT* create_enum_variant(std::vector<Variant> items) {
  return new EnumVariant(std::make_shared<const std::vector<Variant>>(std::move(items)), 0);
}

}  // namespace Tavrin::Platform::Com
