// A minimal in-process server for the component system's tests: one class,
// CLSID_ComTestObject, with a lock count for DllCanUnloadNow.
#include <atomic>
#include <new>

#include "platform/com/com_object.h"
#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"
#include "platform/com/testing/test_object.h"
#include "platform/com/type_description.h"
#include "platform/export.h"

namespace {

using namespace Tavrin::Platform::Com;

std::atomic<long> locks{0};

constexpr ParamDescription kRunning[] = {{L"running", PARAMFLAG_FOUT | PARAMFLAG_FRETVAL}};
constexpr ParamDescription kFail[] = {{L"description", PARAMFLAG_FIN}};
constexpr MemberDescription kMembers[] = {
    {1, INVOKE_PROPERTYGET, L"Running", kRunning, false, nullptr, bind_member<&IComTestObject::get_Running>()},
    {2, INVOKE_FUNC, L"Fail", kFail, false, nullptr, bind_member<&IComTestObject::Fail>()},
};
constexpr InterfaceDescription kDescription = {L"IComTestObject", IComTestObject::kIid, TYPEFLAG_FDUAL, kMembers};

class TestObject final : public ComObject<Bases<DispatchImpl<IComTestObject>, IRunnableObject>, IComTestObject,
                                          IDispatch, IRunnableObject> {
 public:
  TestObject() : ComObject(kDescription) { ++locks; }

  HRESULT get_Running(VARIANT_BOOL* running) override {
    *running = running_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT Fail(BSTR description) override {
    report_error(CLSID_ComTestObject, IComTestObject::kIid, bstr_text(description));
    return E_FAIL;
  }

  HRESULT Run(void* /*bind_context*/) override {
    running_ = true;
    return S_OK;
  }
  BOOL IsRunning() override { return running_; }

 private:
  ~TestObject() { --locks; }

  bool running_ = false;
};

class Factory final : public ComObject<IClassFactory, IClassFactory> {
 public:
  Factory() { ++locks; }
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto made = ComPtr<IComTestObject>::attach(new (std::nothrow) TestObject());
    return made ? made->QueryInterface(iid, object) : E_OUTOFMEMORY;
  }
  HRESULT LockServer(BOOL lock) override {
    lock ? ++locks : --locks;
    return S_OK;
  }

 private:
  ~Factory() { --locks; }
};

}  // namespace

QUORVANE_MODULE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_ComTestObject) return CLASS_E_CLASSNOTAVAILABLE;
  auto factory = ComPtr<IClassFactory>::attach(new (std::nothrow) Factory());
  return factory ? factory->QueryInterface(iid, object) : E_OUTOFMEMORY;
}

QUORVANE_MODULE_EXPORT HRESULT DllCanUnloadNow() { return locks == 0 ? S_OK : S_FALSE; }
