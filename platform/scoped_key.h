// Owning open registry keys, and the few reads and writes that every user
// of the registry needs: a value whole, a string value, and a key created
// with a string value (what registration writes). Built on the Win32-shaped
// functions of platform/registry.h, so it behaves alike on any backend.
//
// The helpers return the registry's result codes, as the Reg functions do;
// they never throw. Thread safety: as the Reg functions; a ScopedKey is
// owned by one thread at a time.
#ifndef QUORVANE_PLATFORM_SCOPED_KEY_H_
#define QUORVANE_PLATFORM_SCOPED_KEY_H_

#include <string>
#include <string_view>

#include "platform/export.h"
#include "platform/registry.h"
#include "platform/scoped_handle.h"

namespace Tavrin::Platform {

struct KeyTraits {
  using Handle = HKEY;
  static HKEY empty() noexcept { return nullptr; }
  static void close(HKEY key) noexcept { RegCloseKey(key); }
};

// Owns one open key and closes it when it goes. Move-only. May hold a
// predefined key, for which closing does nothing.
using ScopedKey = ScopedHandle<KeyTraits>;

// Opens `path` below `parent` with `access` (RegOpenKeyExW) into *key,
// which holds nothing on failure.
QUORVANE_PLATFORM_EXPORT LONG open_key(HKEY parent, const std::wstring& path, REGSAM access, ScopedKey* key);

// Opens `path` below `parent` with `access`, creating it and the keys on
// the way (RegCreateKeyExW: no class, non-volatile). *created (if given)
// tells whether the key is new.
QUORVANE_PLATFORM_EXPORT LONG create_key(HKEY parent, const std::wstring& path, REGSAM access, ScopedKey* key,
                                         bool* created = nullptr);

// The value `name` (empty: the default value) of `key`: its type and its
// bytes, whatever their size, even while another writer changes it.
// *type and *data are unchanged on failure.
QUORVANE_PLATFORM_EXPORT LONG read_value(HKEY key, const std::wstring& name, DWORD* type, std::string* data);

// A REG_SZ or REG_EXPAND_SZ value as text (up to its first NUL).
// ERROR_INVALID_DATA for a value of another type. *type (if given)
// receives the type.
QUORVANE_PLATFORM_EXPORT LONG read_string(HKEY key, const std::wstring& name, std::wstring* text,
                                          DWORD* type = nullptr);

// Writes `text` as the string value `name` of `key`, with type `type`
// (REG_SZ or REG_EXPAND_SZ), UTF-16LE without a terminator.
QUORVANE_PLATFORM_EXPORT LONG write_string(HKEY key, const std::wstring& name, std::wstring_view text,
                                           DWORD type = REG_SZ);

// Creates `path` below `parent` and writes `text` as its REG_SZ value
// `name` (empty: the default value): one registration entry.
QUORVANE_PLATFORM_EXPORT LONG write_key_string(HKEY parent, const std::wstring& path, const std::wstring& name,
                                               std::wstring_view text);

// Opens `path` below `parent` and reads its string value `name`.
QUORVANE_PLATFORM_EXPORT LONG read_key_string(HKEY parent, const std::wstring& path, const std::wstring& name,
                                              std::wstring* text, DWORD* type = nullptr);

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_SCOPED_KEY_H_
