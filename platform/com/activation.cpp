#include "platform/com/activation.h"

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string_view>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "platform/com/apartment.h"
#include "platform/com/class_registry_internal.h"
#include "platform/com/com_ptr.h"
#include "platform/com/function_factory.h"
#include "platform/com/inproc_module_internal.h"
#include "platform/com/remote/local_server.h"

namespace Tavrin::Platform::Com {
namespace {

struct BuiltinClass {
  std::wstring progid;
  BuiltinFactory factory;
  std::wstring independent_progid;
};

struct Builtins {
  std::mutex mutex;
  std::map<CLSID, BuiltinClass, GuidLess> classes;
};

Builtins& builtins() {
  static auto* all = new Builtins();  // lives as long as the process
  return *all;
}

HRESULT hand_out_factory(BuiltinFactory make, REFIID iid, void** object) {
  ComPtr<IClassFactory> factory = make_function_factory(std::move(make));
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(iid, object);
}

// Program ids compare as registry key names do: without regard to case.
bool equal_ignoring_case(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

bool find_builtin(REFCLSID clsid, BuiltinFactory* factory) {
  Builtins& all = builtins();
  std::lock_guard<std::mutex> lock(all.mutex);
  const auto it = all.classes.find(clsid);
  if (it == all.classes.end()) return false;
  *factory = it->second.factory;
  return true;
}

// The class object of a class registered with InprocServer32; S_FALSE when
// the class has no such registration.
HRESULT inproc_class_object(REFCLSID clsid, REFIID iid, void** object) {
  const RegistryText path = read_class_string(class_key(clsid, L"InprocServer32"));
  if (path.status == REGDB_E_CLASSNOTREG || (SUCCEEDED(path.status) && path.text.empty())) return S_FALSE;
  if (FAILED(path.status)) return path.status;
  LPFNGETCLASSOBJECT entry = nullptr;
  const HRESULT hr = module_class_object_entry(path.text, &entry);
  if (FAILED(hr)) return hr;
  return entry(clsid, iid, object);
}

// The class object of a class registered with LocalServer32; S_FALSE when
// the class has no such registration.
HRESULT local_class_object(REFCLSID clsid, REFIID iid, void** object) {
  const RegistryText command = read_class_string(class_key(clsid, L"LocalServer32"));
  if (command.status == REGDB_E_CLASSNOTREG || (SUCCEEDED(command.status) && command.text.empty())) return S_FALSE;
  if (FAILED(command.status)) return command.status;
  const CLSID id = clsid;
  return hand_out_factory(
      [id, line = command.text](REFIID wanted, void** made) {
        return create_local_server_instance(id, line, wanted, made);
      },
      iid, object);
}

}  // namespace

void register_builtin_class(REFCLSID clsid, const std::wstring& progid, BuiltinFactory factory,
                            const std::wstring& independent_progid) {
  Builtins& all = builtins();
  std::lock_guard<std::mutex> lock(all.mutex);
  all.classes[clsid] = BuiltinClass{progid, std::move(factory), independent_progid};
}

}  // namespace Tavrin::Platform::Com

using namespace Tavrin::Platform::Com;

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* server_info, REFIID iid, void** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  if (server_info) return E_INVALIDARG;
  if (!Tavrin::Platform::apartment_initialised()) return CO_E_NOTINITIALIZED;
  try {
    BuiltinFactory builtin;
    if (find_builtin(clsid, &builtin)) return hand_out_factory(std::move(builtin), iid, object);
    if (context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)) {
      const HRESULT hr = inproc_class_object(clsid, iid, object);
      if (hr != S_FALSE) return hr;
    }
    if (context & CLSCTX_LOCAL_SERVER) {
      const HRESULT hr = local_class_object(clsid, iid, object);
      if (hr != S_FALSE) return hr;
    }
    return REGDB_E_CLASSNOTREG;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object) {
  if (!object) return E_INVALIDARG;
  *object = nullptr;
  ComPtr<IClassFactory> factory;
  const HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.put_void());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(outer, iid, object);
}

HRESULT CLSIDFromProgID(LPCOLESTR progid, CLSID* clsid) {
  if (!clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  if (!progid || !*progid) return CO_E_CLASSSTRING;
  try {
    {
      Builtins& all = builtins();
      std::lock_guard<std::mutex> lock(all.mutex);
      for (const auto& [id, builtin] : all.classes)
        if ((!builtin.progid.empty() && equal_ignoring_case(builtin.progid, progid)) ||
            (!builtin.independent_progid.empty() && equal_ignoring_case(builtin.independent_progid, progid))) {
          *clsid = id;
          return S_OK;
        }
    }
    // A version-independent program id names its current version in CurVer;
    // the chain is followed a few steps at most, so a loop cannot hang us.
    std::wstring name = progid;
    for (int step = 0; step < 8; ++step) {
      const RegistryText text = read_class_string(name + L"\\CLSID");
      if (SUCCEEDED(text.status)) return CLSIDFromString(text.text.c_str(), clsid);
      const RegistryText current = read_class_string(name + L"\\CurVer");
      if (FAILED(current.status) || current.text.empty()) break;
      name = current.text;
    }
    return CO_E_CLASSSTRING;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* progid) {
  if (!progid) return E_INVALIDARG;
  *progid = nullptr;
  try {
    std::wstring name;
    {
      Builtins& all = builtins();
      std::lock_guard<std::mutex> lock(all.mutex);
      const auto it = all.classes.find(clsid);
      if (it != all.classes.end()) name = it->second.progid;
    }
    if (name.empty()) {
      const RegistryText text = read_class_string(class_key(clsid, L"ProgID"));
      if (FAILED(text.status)) return text.status;
      name = text.text;
    }
    if (name.empty()) return REGDB_E_CLASSNOTREG;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(OLECHAR)));
    if (!copy) return E_OUTOFMEMORY;
    std::wmemcpy(copy, name.c_str(), name.size() + 1);
    *progid = copy;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT OleRun(IUnknown* object) {
  if (!object) return E_INVALIDARG;
  ComPtr<IRunnableObject> runnable;
  if (FAILED(object->QueryInterface(IID_IRunnableObject, runnable.put_void())) || !runnable) return S_OK;
  return runnable->Run(nullptr);
}

void* CoTaskMemAlloc(std::size_t size) { return std::malloc(size ? size : 1); }

void CoTaskMemFree(void* block) { std::free(block); }

void CoFreeUnusedLibraries() { unload_unused_modules(); }

namespace Tavrin::Platform::Com {

HRESULT create_running_object(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  ComPtr<IUnknown> unknown;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.put_void());
  if (SUCCEEDED(hr)) hr = OleRun(unknown.get());
  if (SUCCEEDED(hr)) hr = unknown->QueryInterface(iid, object);
  return hr;
}

}  // namespace Tavrin::Platform::Com
