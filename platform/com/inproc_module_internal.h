// The in-process server modules that activation has loaded (internal to the
// component system). Each module is loaded once per process, by path, and
// stays loaded until CoFreeUnusedLibraries finds that it may go.
#ifndef QUORVANE_PLATFORM_COM_INPROC_MODULE_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_INPROC_MODULE_INTERNAL_H_

#include <string>

#include "platform/com/activation.h"

namespace Tavrin::Platform::Com {

// The DllGetClassObject of the module at `path`, loading the module if it is
// not loaded yet. CO_E_DLLNOTFOUND when the module cannot be loaded,
// CO_E_ERRORINDLL when it does not export DllGetClassObject. Thread-safe.
HRESULT module_class_object_entry(const std::wstring& path, LPFNGETCLASSOBJECT* entry);

// Unloads every module whose DllCanUnloadNow returns S_OK (modules without
// that entry stay). Thread-safe.
void unload_unused_modules();

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_INPROC_MODULE_INTERNAL_H_
