// Reading the class registrations under HKEY_CLASSES_ROOT (internal to the
// component system): class id to server, program id to class id.
#ifndef QUORVANE_PLATFORM_COM_CLASS_REGISTRY_INTERNAL_H_
#define QUORVANE_PLATFORM_COM_CLASS_REGISTRY_INTERNAL_H_

#include <optional>
#include <string>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace Tavrin::Platform::Com {

// A string value read from the registry, or why there is none.
struct RegistryText {
  HRESULT status = S_OK;  // S_OK, REGDB_E_CLASSNOTREG when the key or value is
                          // missing, HRESULT_FROM_WIN32 of any other failure
  std::wstring text;
};

// The default value of HKEY_CLASSES_ROOT\<path> (or its value `name`).
RegistryText read_class_string(const std::wstring& path, const wchar_t* name = L"");

// "CLSID\{ID}\<subkey>" for `clsid`.
std::wstring class_key(const CLSID& clsid, const wchar_t* subkey);

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_CLASS_REGISTRY_INTERNAL_H_
