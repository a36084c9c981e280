// Registry access for the programs: the registry calls of the platform
// layer (platform/registry.h) behind shared key handles that close their
// key when the last copy goes, with failures thrown as exceptions.
//
// Failures: a registry call that fails throws its result code as
// boost::system::error_code in the system category, by value (a missing key
// or value is 2, ERROR_FILE_NOT_FOUND; the other codes are named in
// platform/registry.h). A typed query of a value of another type throws
// RegistryTypeError ("Registry type not equal"). No key is leaked on any
// path. String data are UTF-16LE code units, two bytes a unit, as on
// Windows. Stateless: every function may be called from any thread, and
// handles may be copied between threads.
#ifndef QUORVANE_COMMON_REGISTRY_H_
#define QUORVANE_COMMON_REGISTRY_H_

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/export.h"
#include "platform/registry.h"

namespace Tavrin::Windows::Registry {

// A key handle: a shared pointer to a heap cell holding one HKEY. Its
// deleter closes the key and frees the cell when the last copy goes.
using HKeyPtr = std::shared_ptr<HKEY>;

// A raw value: its bytes exactly as stored, and its type code.
using RegistryValue = std::pair<std::vector<char>, unsigned long>;

// Thrown by reg_query_dword and reg_query_string for a value of another
// type; what() is "Registry type not equal".
class QUORVANE_COMMON_EXPORT RegistryTypeError : public std::exception {
 public:
  const char* what() const noexcept override;
};

// A handle owning `key` (a predefined key may be wrapped too: closing it
// does nothing). If the handle cannot be made, the key is closed and
// std::bad_alloc thrown.
QUORVANE_COMMON_EXPORT HKeyPtr create_hkey_ptr(HKEY key);

// The current user's hive, opened with `access` (RegOpenCurrentUser).
QUORVANE_COMMON_EXPORT HKeyPtr reg_open_current_user(unsigned long access);

// Opens `subkey` below `key` with `access` (RegOpenKeyExW).
QUORVANE_COMMON_EXPORT HKeyPtr reg_open_key(HKeyPtr key, const std::wstring& subkey,
                                            unsigned long access);

// Opens `subkey` below `key` with `access`, creating it and the keys on the
// way when missing (RegCreateKeyExW: no class, non-volatile).
QUORVANE_COMMON_EXPORT HKeyPtr reg_create_key(HKeyPtr key, const std::wstring& subkey,
                                              unsigned long access);

// Deletes `subkey` below `key`; it must have no subkeys (RegDeleteKeyW).
QUORVANE_COMMON_EXPORT void reg_delete_key(HKeyPtr key, const std::wstring& subkey);

// Deletes the value `name` (empty: the default value) of `key`.
QUORVANE_COMMON_EXPORT void reg_delete_value(HKeyPtr key, const std::wstring& name);

// The value `name` of `key`: its bytes and type code. The buffer starts at
// 1024 zero bytes and grows in steps of 1024 while the value does not fit.
QUORVANE_COMMON_EXPORT RegistryValue reg_query_value(HKeyPtr key, const std::wstring& name);

// A REG_DWORD value: its first four bytes, little-endian. Throws
// RegistryTypeError for another type, and ERROR_INVALID_DATA as an
// error_code when the value has fewer than four bytes.
QUORVANE_COMMON_EXPORT unsigned long reg_query_dword(HKeyPtr key, const std::wstring& name);

// A REG_SZ value (REG_EXPAND_SZ is refused too) up to its first NUL
// character, or whole when it has none. Throws RegistryTypeError for
// another type.
QUORVANE_COMMON_EXPORT std::wstring reg_query_string(HKeyPtr key, const std::wstring& name);

// Writes `data` as the value `name` of type `type` (RegSetValueExW).
QUORVANE_COMMON_EXPORT void reg_set_value(HKeyPtr key, const std::wstring& name,
                                          unsigned long type, const std::vector<char>& data);

// Writes four little-endian bytes with type REG_DWORD. A number above
// 0xFFFFFFFF, which four bytes cannot hold, throws ERROR_INVALID_PARAMETER
// as an error_code and writes nothing.
QUORVANE_COMMON_EXPORT void reg_set_dword(HKeyPtr key, const std::wstring& name,
                                          unsigned long value);

// Writes the string as UTF-16LE, two bytes a unit, without a terminating
// NUL, with type REG_SZ.
QUORVANE_COMMON_EXPORT void reg_set_string(HKeyPtr key, const std::wstring& name,
                                           const std::wstring& value);

}  // namespace Tavrin::Windows::Registry

#endif  // QUORVANE_COMMON_REGISTRY_H_
