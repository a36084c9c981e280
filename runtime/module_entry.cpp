// The entry points of the in-process server QuorvaneRuntime, exported with
// C linkage. They throw nothing.
#include <new>

#include "platform/com/com_ptr.h"
#include "platform/export.h"
#include "runtime/class_factory.h"
#include "runtime/module_locks.h"
#include "runtime/velmora_script.h"

// The class factory of CVelmoraScript as interface `iid`;
// CLASS_E_CLASSNOTAVAILABLE for any other class id.
QUORVANE_MODULE_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != CLSID_VelmoraScript) return CLASS_E_CLASSNOTAVAILABLE;
  auto* raw = new (std::nothrow) Tavrin::Runtime::VelmoraScriptFactory();
  if (!raw) return E_OUTOFMEMORY;
  auto factory = Tavrin::Platform::Com::ComPtr<IClassFactory>::attach(raw);
  return factory->QueryInterface(iid, object);
}

// S_OK when no object, factory or server lock is left, else S_FALSE.
QUORVANE_MODULE_EXPORT HRESULT DllCanUnloadNow() {
  return Tavrin::Runtime::module_lock_count() == 0 ? S_OK : S_FALSE;
}
