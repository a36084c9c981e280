// A stand-in for the runtime object (module recording_runtime.so), which the
// runner tests register in their private registry under the runtime
// object's class id. It keeps the parameters it is given and answers
// GetParameter from them, and appends one line per call to the file named
// by $QUORVANE_RECORD_FILE:
//
//   PutParameter KEY=VALUE   GetParameter NAME   scriptFullName=PATH
//   Echo TEXT...             LogNode TYPE|NAME|VALUE   Sleep MS
//
// Other members fail with E_NOTIMPL.
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <string>

#include "platform/com/com_object.h"
#include "platform/com/function_factory.h"
#include "platform/com/type_description.h"
#include "platform/export.h"
#include "platform/text.h"
#include "runtime/velmora_script.h"
#include "runtime/velmora_script_type.h"

namespace {

using namespace Tavrin::Platform::Com;

void record(const std::wstring& line) {
  const char* path = std::getenv("QUORVANE_RECORD_FILE");
  if (!path) return;
  std::ofstream out(path, std::ios::app | std::ios::binary);
  out << Tavrin::Platform::to_utf8(line) << "\n";
}

class RecordingRuntime final : public ComObject<DispatchImpl<IVelmoraScript>, IVelmoraScript, IDispatch> {
 public:
  RecordingRuntime() : ComObject(Tavrin::Runtime::velmora_script_description()) {}

  HRESULT Sleep(LONG time) override {
    record(L"Sleep " + std::to_wstring(time));
    return S_OK;
  }
  HRESULT Echo(SAFEARRAY* args) override {
    if (!args) return E_INVALIDARG;
    std::wstring line = L"Echo ";
    LONG upper = -1;
    SafeArrayGetUBound(args, 1, &upper);
    for (LONG i = 0; i <= upper; ++i) {
      Variant element;
      SafeArrayGetElement(args, &i, element.put());
      line += element.to_string();
    }
    record(line);
    return S_OK;
  }
  HRESULT get_scriptFullName(BSTR* value) override {
    *value = alloc_bstr(full_name_);
    return S_OK;
  }
  HRESULT put_scriptFullName(BSTR value) override {
    full_name_ = bstr_text(value);
    record(L"scriptFullName=" + full_name_);
    return S_OK;
  }
  HRESULT CreateObject(BSTR, IDispatch**) override { return E_NOTIMPL; }
  HRESULT Remote(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT BenchExec(BSTR, LONG*) override { return E_NOTIMPL; }
  HRESULT PutParameter(BSTR key, BSTR value) override {
    parameters_[bstr_text(key)] = bstr_text(value);
    record(L"PutParameter " + bstr_text(key) + L"=" + bstr_text(value));
    return S_OK;
  }
  HRESULT GetParameter(BSTR name, BSTR* value) override {
    record(L"GetParameter " + bstr_text(name));
    const auto found = parameters_.find(bstr_text(name));
    if (found == parameters_.end()) return E_UNEXPECTED;
    *value = alloc_bstr(found->second);
    return S_OK;
  }
  HRESULT Ping(ULONGLONG*) override { return E_NOTIMPL; }
  HRESULT ScreenShot(BSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT LogNode(BSTR, BSTR type, BSTR name, BSTR value) override {
    record(L"LogNode " + bstr_text(type) + L"|" + bstr_text(name) + L"|" + bstr_text(value));
    return S_OK;
  }
  HRESULT LogElement(BSTR, BSTR) override { return S_OK; }
  HRESULT GenerateUUID(BSTR*) override { return E_NOTIMPL; }
  HRESULT OpenURL(BSTR, BSTR) override { return E_NOTIMPL; }

 private:
  ~RecordingRuntime() = default;

  std::map<std::wstring, std::wstring> parameters_;
  std::wstring full_name_;
};

}  // namespace

QUORVANE_MODULE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_VelmoraScript) return CLASS_E_CLASSNOTAVAILABLE;
  auto factory = make_function_factory([](REFIID wanted, void** made) {
    auto runtime = ComPtr<IVelmoraScript>::attach(new (std::nothrow) RecordingRuntime());
    return runtime ? runtime->QueryInterface(wanted, made) : E_OUTOFMEMORY;
  });
  return factory ? factory->QueryInterface(iid, object) : E_OUTOFMEMORY;
}

QUORVANE_MODULE_EXPORT HRESULT DllCanUnloadNow() { return S_FALSE; }
