#include "platform/com/function_factory.h"

#include <atomic>
#include <new>
#include <utility>

namespace Tavrin::Platform::Com {
namespace {

class FunctionFactory final : public IClassFactory {
 public:
  explicit FunctionFactory(ObjectMaker make) : make_(std::move(make)) {}

  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      return make_(iid, object);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
  HRESULT LockServer(BOOL /*lock*/) override { return S_OK; }

 private:
  ~FunctionFactory() = default;

  ObjectMaker make_;
  std::atomic<ULONG> references_{1};
};

}  // namespace

ComPtr<IClassFactory> make_function_factory(ObjectMaker make) {
  return ComPtr<IClassFactory>::attach(new (std::nothrow) FunctionFactory(std::move(make)));
}

}  // namespace Tavrin::Platform::Com
