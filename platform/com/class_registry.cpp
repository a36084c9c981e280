#include "platform/com/class_registry_internal.h"

#include <string>

#include "platform/registry.h"

namespace Tavrin::Platform::Com {
namespace {

HRESULT result_of(LONG code) { return code == ERROR_FILE_NOT_FOUND ? REGDB_E_CLASSNOTREG : HRESULT_FROM_WIN32(code); }

// Closes a key handle when it goes.
class KeyCloser {
 public:
  explicit KeyCloser(HKEY key) : key_(key) {}
  ~KeyCloser() { RegCloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  HKEY key_;
};

}  // namespace

RegistryText read_class_string(const std::wstring& path, const wchar_t* name) {
  HKEY key = nullptr;
  LONG code = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key);
  if (code != ERROR_SUCCESS) return {result_of(code), {}};
  KeyCloser closer(key);
  DWORD type = REG_NONE, size = 0;
  code = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  if (code != ERROR_SUCCESS) return {result_of(code), {}};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {REGDB_E_CLASSNOTREG, {}};
  std::string data(size, '\0');
  code = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()), &size);
  if (code != ERROR_SUCCESS) return {result_of(code), {}};
  data.resize(size);
  return {S_OK, registry_string_text(data)};
}

std::wstring class_key(const CLSID& clsid, const wchar_t* subkey) {
  std::wstring path = L"CLSID\\" + guid_to_string(clsid);
  if (subkey && *subkey) path += L"\\" + std::wstring(subkey);
  return path;
}

}  // namespace Tavrin::Platform::Com
