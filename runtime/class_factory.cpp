#include "runtime/class_factory.h"

#include <new>

#include "platform/com/com_ptr.h"
#include "runtime/module_locks.h"
#include "runtime/script_object.h"

namespace Tavrin::Runtime {

VelmoraScriptFactory::VelmoraScriptFactory() { lock_module(); }

VelmoraScriptFactory::~VelmoraScriptFactory() { unlock_module(); }

HRESULT VelmoraScriptFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  CVelmoraScript* raw = nullptr;
  try {
    raw = new CVelmoraScript();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
  // Our reference goes when `instance` goes, whatever happens.
  auto instance = Platform::Com::ComPtr<IVelmoraScript>::attach(raw);
  const HRESULT hr = raw->Initialise();
  if (FAILED(hr)) return hr;
  return instance->QueryInterface(iid, object);
}

HRESULT VelmoraScriptFactory::LockServer(BOOL lock) {
  if (lock)
    lock_module();
  else
    unlock_module();
  return S_OK;
}

}  // namespace Tavrin::Runtime
