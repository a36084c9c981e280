#include "platform/com/class_registry_internal.h"

#include <string>

#include "platform/registry.h"
#include "platform/scoped_key.h"

namespace Tavrin::Platform::Com {
namespace {

HRESULT result_of(LONG code) { return code == ERROR_FILE_NOT_FOUND ? REGDB_E_CLASSNOTREG : HRESULT_FROM_WIN32(code); }

}  // namespace

RegistryText read_class_string(const std::wstring& path, const wchar_t* name) {
  std::wstring text;
  const LONG code = read_key_string(HKEY_CLASSES_ROOT, path, name != nullptr ? name : L"", &text);
  if (code == ERROR_INVALID_DATA) return {REGDB_E_CLASSNOTREG, {}};  // not a string
  if (code != ERROR_SUCCESS) return {result_of(code), {}};
  return {S_OK, std::move(text)};
}

std::wstring class_key(const CLSID& clsid, const wchar_t* subkey) {
  std::wstring path = L"CLSID\\" + guid_to_string(clsid);
  if (subkey && *subkey) path += L"\\" + std::wstring(subkey);
  return path;
}

}  // namespace Tavrin::Platform::Com
