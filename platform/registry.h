// The Windows registry, stood in for on Linux. The functions have the names,
// parameters and result codes of the Win32 registry API, so that callers are
// written as for Windows and a Windows backend maps each one straight onto
// the real function. This backend (registry_*.cpp) keeps each hive in a
// SQLite database:
//
// - HKEY_CURRENT_USER is "$XDG_CONFIG_HOME/quorvane/registry/user.db"
//   ($HOME/.config when XDG_CONFIG_HOME is unset or not absolute).
// - HKEY_LOCAL_MACHINE is "$QUORVANE_MACHINE_DIR/registry/machine.db", the
//   folder defaulting to the one fixed at build time. The variables are read
//   whenever a predefined key is used, so tests and unprivileged users move
//   the hives by setting them (the way WINEPREFIX moves a Wine installation).
// - HKEY_CLASSES_ROOT is a merged view of HKCU\Software\Classes and
//   HKLM\Software\Classes. Reads (values, subkeys, opening) look in the user's
//   classes first, then in the machine's; enumeration lists the union, sorted
//   subkeys and the user's values first. Writes go to the machine's classes
//   unless the key exists only in the user's; a new key goes where its
//   nearest existing ancestor is, the machine's when both have it. A key
//   opened below HKEY_CLASSES_ROOT stays a view: it follows its path, not
//   one hive's key.
//
// Hives are opened lazily and shared by all handles of a process. A hive
// file that does not exist reads as an empty hive; the first write creates
// its folder and file. The databases run in WAL mode with a busy timeout and
// one transaction per call, so several processes may use a hive at once and
// a process that dies loses at most the call it was in. A hive whose folder
// or file cannot be written is read-only: opening or creating one of its keys
// with write access, and any write through a handle, fail with
// ERROR_ACCESS_DENIED, as on Windows without the right to write. (When not
// even WAL's shared-memory file can be made beside it, such a hive is read
// from its main file afresh on every call.) A forked child opens its own
// connections and leaves the parent's alone.
//
// Semantics kept from Windows: key names compare without regard to case
// (simple upper-casing of the Basic Multilingual Plane) and keep the case
// they were created with; the default value has the empty (or null) name;
// value data are stored as the bytes given, whatever the type (REG_SZ data
// are UTF-16LE here, see registry_string_bytes); subkeys enumerate in
// case-insensitive order, values in the order they were first set; deleting
// a key that has subkeys fails; handles of deleted keys fail with
// ERROR_KEY_DELETED. Not kept: security descriptors, volatile keys (accepted,
// stored as non-volatile), last-write times, notifications, symbolic links.
// Path parts are separated by backslashes; empty parts (leading, doubled or
// trailing backslashes) are skipped.
//
// Result codes are errno values (0 is ERROR_SUCCESS); the ERROR_ constants
// below name the ones used. Every function is safe to call from any thread;
// a handle may be used by several threads at once.
#ifndef QUORVANE_PLATFORM_REGISTRY_H_
#define QUORVANE_PLATFORM_REGISTRY_H_

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/export.h"
#include "platform/win32/types.h"

// The predefined keys. They are always open; closing them does nothing.
inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline const HKEY HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

// Result codes. Windows' numbers differ; callers compare with the names.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = ENOENT;       // no such key or value
constexpr LONG ERROR_ACCESS_DENIED = EACCES;        // hive not writable, or handle lacks the right
constexpr LONG ERROR_INVALID_HANDLE = EBADF;        // not an open key
constexpr LONG ERROR_INVALID_PARAMETER = EINVAL;    // bad argument (null where required, name too long)
constexpr LONG ERROR_MORE_DATA = ERANGE;            // buffer too small; the size needed is reported
constexpr LONG ERROR_NO_MORE_ITEMS = ENODATA;       // enumeration index past the end
constexpr LONG ERROR_KEY_DELETED = EIDRM;           // the handle's key was deleted
constexpr LONG ERROR_KEY_HAS_CHILDREN = ENOTEMPTY;  // RegDeleteKeyW on a key with subkeys
                                                    // (Windows answers ERROR_ACCESS_DENIED)
constexpr LONG ERROR_INVALID_DATA = EBADMSG;        // stored data of the wrong shape
constexpr LONG ERROR_OUTOFMEMORY = ENOMEM;
constexpr LONG ERROR_BUSY = EBUSY;                  // hive locked by others past the busy timeout
constexpr LONG ERROR_REGISTRY_IO_FAILED = EIO;      // hive file unreadable or damaged
constexpr LONG ERROR_DISK_FULL = ENOSPC;

// Access rights (Windows' values).
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM WRITE_DAC = 0x00040000;
constexpr REGSAM WRITE_OWNER = 0x00080000;
constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
constexpr REGSAM KEY_READ = READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
constexpr REGSAM KEY_WRITE = READ_CONTROL | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// RegCreateKeyExW options and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Value types. Other numbers are stored as given too.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Opens `sub_key` (null or empty: the key itself, as a new handle) below
// `key` into *result. `options` and `reserved` are ignored. Fails with
// ERROR_FILE_NOT_FOUND when the key does not exist and with
// ERROR_ACCESS_DENIED when `desired` asks for a write right on a hive that
// cannot be written. *result is null on failure.
QUORVANE_PLATFORM_EXPORT LONG RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options,
                                            REGSAM desired, PHKEY result);

// Opens `sub_key` below `key`, creating it and every missing key on the way
// in one transaction. `reserved`, `key_class` and `security` are ignored;
// REG_OPTION_VOLATILE keys are kept like others. *disposition (if given)
// tells REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. Requires
// KEY_CREATE_SUB_KEY on `key`. *result is null on failure.
QUORVANE_PLATFORM_EXPORT LONG RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved,
                                              LPWSTR key_class, DWORD options, REGSAM desired,
                                              const void* security, PHKEY result,
                                              LPDWORD disposition);

// A new handle to the root of the current user's hive (close it after use).
QUORVANE_PLATFORM_EXPORT LONG RegOpenCurrentUser(REGSAM desired, PHKEY result);

// Closes a handle. Predefined keys: no effect. ERROR_INVALID_HANDLE for a
// handle that is not open.
QUORVANE_PLATFORM_EXPORT LONG RegCloseKey(HKEY key);

// Deletes `sub_key` below `key` (empty: the key itself) with its values.
// ERROR_KEY_HAS_CHILDREN when it has subkeys; ERROR_ACCESS_DENIED for the
// root of a hive or of HKEY_CLASSES_ROOT.
QUORVANE_PLATFORM_EXPORT LONG RegDeleteKeyW(HKEY key, LPCWSTR sub_key);

// Deletes `sub_key` below `key` with all its subkeys and values, in one
// transaction. With a null or empty `sub_key` the values and subkeys of
// `key` go and the key itself stays.
QUORVANE_PLATFORM_EXPORT LONG RegDeleteTreeW(HKEY key, LPCWSTR sub_key);

// Deletes a value (null or empty name: the default value). Requires
// KEY_SET_VALUE.
QUORVANE_PLATFORM_EXPORT LONG RegDeleteValueW(HKEY key, LPCWSTR value_name);

// Reads a value (null or empty name: the default value); requires
// KEY_QUERY_VALUE. *type (if given) receives the type. With `data` null and
// `data_size` given, *data_size receives the size. With `data` given,
// `data_size` is required and holds the buffer size: when the value fits it
// is copied and *data_size set to its size; when it does not,
// ERROR_MORE_DATA is returned, *data_size holds the size needed and the
// buffer's contents are unspecified. No terminator is added to strings.
QUORVANE_PLATFORM_EXPORT LONG RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD reserved,
                                               LPDWORD type, LPBYTE data, LPDWORD data_size);

// Writes a value of any type with exactly `size` bytes of `data` (null only
// when `size` is 0), replacing the value of that name. Requires
// KEY_SET_VALUE.
QUORVANE_PLATFORM_EXPORT LONG RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD reserved,
                                             DWORD type, const BYTE* data, DWORD size);

// The name of subkey number `index` (0-based, case-insensitive order) into
// `name`, whose capacity in characters *name_size gives; on success
// *name_size is the length without the terminating NUL that is written.
// When the buffer is too small: ERROR_MORE_DATA and *name_size is the
// length needed without the NUL. Past the end: ERROR_NO_MORE_ITEMS.
// `key_class` (if given) receives an empty string; `last_write_time` must
// be null (times are not kept). Requires KEY_ENUMERATE_SUB_KEYS.
QUORVANE_PLATFORM_EXPORT LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name,
                                            LPDWORD name_size, LPDWORD reserved,
                                            LPWSTR key_class, LPDWORD class_size,
                                            void* last_write_time);

// Value number `index` (0-based, in the order values were first set): its
// name as RegEnumKeyExW gives a subkey name, and type and data as
// RegQueryValueExW gives them. When the name or the data does not fit:
// ERROR_MORE_DATA with both sizes needed reported. Past the end:
// ERROR_NO_MORE_ITEMS. Requires KEY_QUERY_VALUE.
QUORVANE_PLATFORM_EXPORT LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name,
                                            LPDWORD name_size, LPDWORD reserved, LPDWORD type,
                                            LPBYTE data, LPDWORD data_size);

namespace Tavrin::Platform {

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ data are UTF-16LE code units here,
// as on Windows (two bytes a unit, so "abc" is six bytes without a
// terminator). Code points above U+FFFF become surrogate pairs; values that
// are no code point become U+FFFD. No terminator is added.
QUORVANE_PLATFORM_EXPORT std::string registry_string_bytes(std::wstring_view text);

// Decodes UTF-16LE registry string data up to the first NUL unit (or the
// end). Surrogate pairs are combined; a lone surrogate is kept as it is; an
// odd last byte is ignored.
QUORVANE_PLATFORM_EXPORT std::wstring registry_string_text(std::string_view bytes);

// Fault injection for tests: while a code is set, every read (or every
// write) of any hive fails with it before the hive is touched. Process-wide.
struct RegistryFaults {
  LONG on_read = ERROR_SUCCESS;
  LONG on_write = ERROR_SUCCESS;
};
QUORVANE_PLATFORM_EXPORT void set_registry_faults(const RegistryFaults& faults);

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_REGISTRY_H_
