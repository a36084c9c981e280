// The entry points of the in-process server QuorvaneRuntime, exported with
// C linkage. They throw nothing.
#include <atomic>
#include <new>
#include <string>

#include "platform/com/com_ptr.h"
#include "platform/export.h"
#include "runtime/class_factory.h"
#include "platform/module_path.h"
#include "runtime/module_locks.h"
#include "runtime/registration.h"
#include "runtime/velmora_script.h"

namespace {

using Tavrin::Platform::Com::RegistrationScope;

// Set by DllInstall's "user"; stays for the rest of the process.
std::atomic<bool> per_user_registration{false};

RegistrationScope registration_scope() {
  return per_user_registration ? RegistrationScope::kUser : RegistrationScope::kMachine;
}

// The full path of this server file.
HRESULT server_path(std::wstring* path) {
  try {
    *path = Tavrin::Platform::module_file_path(reinterpret_cast<const void*>(&registration_scope));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace

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

// Registers the class, its program ids and the type library.
QUORVANE_MODULE_EXPORT HRESULT DllRegisterServer() {
  std::wstring path;
  const HRESULT hr = server_path(&path);
  return FAILED(hr) ? hr : Tavrin::Runtime::register_server(path, registration_scope());
}

// Removes what DllRegisterServer wrote.
QUORVANE_MODULE_EXPORT HRESULT DllUnregisterServer() {
  return Tavrin::Runtime::unregister_server(registration_scope());
}

// Registers (install) or unregisters; the command line "user" (any case)
// switches to per-user registration first. A failed registration is undone.
QUORVANE_MODULE_EXPORT HRESULT DllInstall(BOOL install, LPCWSTR command_line) {
  if (Tavrin::Runtime::asks_for_user_scope(command_line)) per_user_registration = true;
  std::wstring path;
  if (install) {
    const HRESULT hr = server_path(&path);
    if (FAILED(hr)) return hr;
  }
  return Tavrin::Runtime::install_server(install != 0, path, registration_scope());
}
