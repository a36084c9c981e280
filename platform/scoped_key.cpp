#include "platform/scoped_key.h"

namespace Tavrin::Platform {

LONG open_key(HKEY parent, const std::wstring& path, REGSAM access, ScopedKey* key) {
  return RegOpenKeyExW(parent, path.c_str(), 0, access, key->out());
}

LONG create_key(HKEY parent, const std::wstring& path, REGSAM access, ScopedKey* key, bool* created) {
  DWORD disposition = 0;
  const LONG rc = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                  key->out(), &disposition);
  if (rc == ERROR_SUCCESS && created != nullptr) *created = disposition == REG_CREATED_NEW_KEY;
  return rc;
}

LONG read_value(HKEY key, const std::wstring& name, DWORD* type, std::string* data) {
  DWORD found = REG_NONE;
  DWORD size = 0;
  LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &found, nullptr, &size);
  std::string bytes;
  // The value may grow between the two calls: ask again while it does.
  while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    bytes.resize(size);
    rc = RegQueryValueExW(key, name.c_str(), nullptr, &found, reinterpret_cast<BYTE*>(bytes.data()), &size);
    if (rc == ERROR_SUCCESS) {
      bytes.resize(size);
      *type = found;
      *data = std::move(bytes);
      return ERROR_SUCCESS;
    }
  }
  return rc;
}

LONG read_string(HKEY key, const std::wstring& name, std::wstring* text, DWORD* type) {
  DWORD found = REG_NONE;
  std::string bytes;
  const LONG rc = read_value(key, name, &found, &bytes);
  if (rc != ERROR_SUCCESS) return rc;
  if (type != nullptr) *type = found;
  if (found != REG_SZ && found != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  *text = registry_string_text(bytes);
  return ERROR_SUCCESS;
}

LONG write_string(HKEY key, const std::wstring& name, std::wstring_view text, DWORD type) {
  const std::string bytes = registry_string_bytes(text);
  return RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(bytes.size()));
}

LONG write_key_string(HKEY parent, const std::wstring& path, const std::wstring& name, std::wstring_view text) {
  ScopedKey key;
  const LONG rc = create_key(parent, path, KEY_WRITE, &key);
  return rc == ERROR_SUCCESS ? write_string(key.get(), name, text) : rc;
}

LONG read_key_string(HKEY parent, const std::wstring& path, const std::wstring& name, std::wstring* text,
                     DWORD* type) {
  ScopedKey key;
  const LONG rc = open_key(parent, path, KEY_READ, &key);
  return rc == ERROR_SUCCESS ? read_string(key.get(), name, text, type) : rc;
}

}  // namespace Tavrin::Platform
