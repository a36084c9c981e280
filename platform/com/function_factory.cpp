#include "platform/com/com_object.h"
#include "platform/com/function_factory.h"

#include <atomic>
#include <new>
#include <utility>

namespace Tavrin::Platform::Com {
namespace {

class FunctionFactory final : public ComObject<IClassFactory, IClassFactory> {
 public:
  explicit FunctionFactory(ObjectMaker make) : make_(std::move(make)) {}

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
};

}  // namespace

ComPtr<IClassFactory> make_function_factory(ObjectMaker make) {
  return ComPtr<IClassFactory>::attach(new (std::nothrow) FunctionFactory(std::move(make)));
}

}  // namespace Tavrin::Platform::Com
