// The Win32-shaped registry functions over SQLite hives: the table of open
// handles, argument and access checks, and the copying of results into
// callers' buffers. The storage is in registry_hive*.cpp, the keys a
// handle can refer to in registry_key.cpp and registry_classes.cpp.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/registry.h"
#include "platform/registry_key_internal.h"

namespace Tavrin::Platform::RegistryDetail {
namespace {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

// Open handles by number. Handle numbers start low and grow in steps of 4,
// far from the predefined keys' numbers, and are not reused while the
// process lives, so a stale handle cannot reach another key.
class HandleTable {
 public:
  HKEY add(std::shared_ptr<Key> key) {
    std::lock_guard<std::mutex> lock(mu_);
    next_ += 4;
    keys_.emplace(next_, std::move(key));
    return reinterpret_cast<HKEY>(next_);
  }

  std::shared_ptr<Key> find(HKEY handle) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = keys_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == keys_.end() ? nullptr : it->second;
  }

  bool remove(HKEY handle) {
    std::lock_guard<std::mutex> lock(mu_);
    return keys_.erase(reinterpret_cast<std::uintptr_t>(handle)) > 0;
  }

 private:
  std::mutex mu_;
  std::unordered_map<std::uintptr_t, std::shared_ptr<Key>> keys_;
  std::uintptr_t next_ = 0x1000;
};

HandleTable& handles() {
  // Never destroyed: handles may still be closed by other static objects'
  // destructors at exit.
  static HandleTable* table = new HandleTable;
  return *table;
}

bool is_predefined(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE;
}

// The key a handle refers to, or null for a handle that is not open. The
// predefined keys name the hives the environment names now.
std::shared_ptr<Key> resolve(HKEY key) {
  if (key == HKEY_CURRENT_USER) return make_hive_key(user_hive(), Hive::kRoot, KEY_ALL_ACCESS);
  if (key == HKEY_LOCAL_MACHINE)
    return make_hive_key(machine_hive(), Hive::kRoot, KEY_ALL_ACCESS);
  if (key == HKEY_CLASSES_ROOT) return make_classes_key({}, KEY_ALL_ACCESS);
  return handles().find(key);
}

LONG parse_path(LPCWSTR text, Path* out) {
  *out = split_path(text ? std::wstring_view(text) : std::wstring_view());
  for (const auto& part : *out)
    if (part.size() > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

std::wstring_view value_name(LPCWSTR name) { return name ? name : L""; }

REGSAM effective_access(REGSAM desired) {
  desired &= ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
  return (desired & MAXIMUM_ALLOWED) ? KEY_ALL_ACCESS : desired;
}

// Runs `body`, turning an exception into a result code: nothing thrown
// inside the layer reaches its callers.
template <class Body>
LONG guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  } catch (...) {
    return ERROR_REGISTRY_IO_FAILED;
  }
}

// Copies `name` and a NUL into a buffer of *capacity characters; *capacity
// becomes the name's length. False when it does not fit.
bool copy_name(const std::wstring& name, LPWSTR buffer, LPDWORD capacity) {
  const bool fits = *capacity > name.size();
  if (fits) {
    std::copy(name.begin(), name.end(), buffer);
    buffer[name.size()] = L'\0';
  }
  *capacity = name.size();
  return fits;
}

// Copies value data the way RegQueryValueExW does (see platform/registry.h).
bool copy_data(const std::string& data, LPBYTE buffer, LPDWORD size) {
  if (!size) return true;
  const bool fits = !buffer || *size >= data.size();
  if (buffer && fits && !data.empty()) std::memcpy(buffer, data.data(), data.size());
  *size = data.size();
  return fits;
}

LONG open_key(HKEY key, LPCWSTR sub_key, REGSAM desired, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  auto parent = resolve(key);
  if (!parent) return ERROR_INVALID_HANDLE;
  Path path;
  LONG rc = parse_path(sub_key, &path);
  std::shared_ptr<Key> opened;
  if (rc == ERROR_SUCCESS) rc = parent->open(path, effective_access(desired), &opened);
  if (rc == ERROR_SUCCESS) *result = handles().add(std::move(opened));
  return rc;
}

LONG create_key(HKEY key, LPCWSTR sub_key, REGSAM desired, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  auto parent = resolve(key);
  if (!parent) return ERROR_INVALID_HANDLE;
  if (!(parent->access() & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  Path path;
  LONG rc = parse_path(sub_key, &path);
  std::shared_ptr<Key> created_key;
  bool created = false;
  if (rc == ERROR_SUCCESS)
    rc = parent->create(path, effective_access(desired), &created_key, &created);
  if (rc != ERROR_SUCCESS) return rc;
  *result = handles().add(std::move(created_key));
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG remove_key(HKEY key, LPCWSTR sub_key, bool tree) {
  auto parent = resolve(key);
  if (!parent) return ERROR_INVALID_HANDLE;
  const REGSAM needed = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
  if (tree && (parent->access() & needed) != needed) return ERROR_ACCESS_DENIED;
  Path path;
  const LONG rc = parse_path(sub_key, &path);
  return rc == ERROR_SUCCESS ? parent->remove(path, tree) : rc;
}

LONG query_value(HKEY key, LPCWSTR name, LPDWORD type, LPBYTE data, LPDWORD data_size) {
  if (data && !data_size) return ERROR_INVALID_PARAMETER;
  auto target = resolve(key);
  if (!target) return ERROR_INVALID_HANDLE;
  if (!(target->access() & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  StoredValue value;
  const LONG rc = target->query_value(value_name(name), &value);
  if (rc != ERROR_SUCCESS) return rc;
  if (type) *type = value.type;
  return copy_data(value.data, data, data_size) ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

LONG set_value(HKEY key, LPCWSTR name, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size > 0) return ERROR_INVALID_PARAMETER;
  if (value_name(name).size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
  auto target = resolve(key);
  if (!target) return ERROR_INVALID_HANDLE;
  if (!(target->access() & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  const std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
  return target->set_value(value_name(name), type, bytes);
}

LONG delete_value(HKEY key, LPCWSTR name) {
  auto target = resolve(key);
  if (!target) return ERROR_INVALID_HANDLE;
  if (!(target->access() & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  return target->delete_value(value_name(name));
}

LONG enum_key(HKEY key, DWORD index, LPWSTR name, LPDWORD name_size, LPWSTR key_class,
              LPDWORD class_size, void* last_write_time) {
  if (!name || !name_size || last_write_time) return ERROR_INVALID_PARAMETER;
  auto target = resolve(key);
  if (!target) return ERROR_INVALID_HANDLE;
  if (!(target->access() & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  std::wstring subkey;
  const LONG rc = target->subkey_at(index, &subkey);
  if (rc != ERROR_SUCCESS) return rc;
  if (key_class && class_size && *class_size > 0) key_class[0] = L'\0';
  if (class_size) *class_size = 0;
  return copy_name(subkey, name, name_size) ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

LONG enum_value(HKEY key, DWORD index, LPWSTR name, LPDWORD name_size, LPDWORD type,
                LPBYTE data, LPDWORD data_size) {
  if (!name || !name_size || (data && !data_size)) return ERROR_INVALID_PARAMETER;
  auto target = resolve(key);
  if (!target) return ERROR_INVALID_HANDLE;
  if (!(target->access() & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  StoredValue value;
  const LONG rc = target->value_at(index, &value);
  if (rc != ERROR_SUCCESS) return rc;
  if (type) *type = value.type;
  const bool name_fits = copy_name(value.name, name, name_size);
  const bool data_fits = copy_data(value.data, data, data_size);
  return name_fits && data_fits ? ERROR_SUCCESS : ERROR_MORE_DATA;
}

}  // namespace
}  // namespace Tavrin::Platform::RegistryDetail

using namespace Tavrin::Platform::RegistryDetail;

LONG RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD, REGSAM desired, PHKEY result) {
  return guarded([&] { return open_key(key, sub_key, desired, result); });
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD, LPWSTR, DWORD, REGSAM desired,
                     const void*, PHKEY result, LPDWORD disposition) {
  return guarded([&] { return create_key(key, sub_key, desired, result, disposition); });
}

LONG RegOpenCurrentUser(REGSAM desired, PHKEY result) {
  return guarded([&] { return open_key(HKEY_CURRENT_USER, nullptr, desired, result); });
}

LONG RegCloseKey(HKEY key) {
  if (is_predefined(key)) return ERROR_SUCCESS;
  return guarded([&] { return handles().remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE; });
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR sub_key) {
  if (!sub_key) return ERROR_INVALID_PARAMETER;
  return guarded([&] { return remove_key(key, sub_key, false); });
}

LONG RegDeleteTreeW(HKEY key, LPCWSTR sub_key) {
  return guarded([&] { return remove_key(key, sub_key, true); });
}

LONG RegDeleteValueW(HKEY key, LPCWSTR value_name) {
  return guarded([&] { return delete_value(key, value_name); });
}

LONG RegQueryValueExW(HKEY key, LPCWSTR value_name, LPDWORD, LPDWORD type, LPBYTE data,
                      LPDWORD data_size) {
  return guarded([&] { return query_value(key, value_name, type, data, data_size); });
}

LONG RegSetValueExW(HKEY key, LPCWSTR value_name, DWORD, DWORD type, const BYTE* data,
                    DWORD size) {
  return guarded([&] { return set_value(key, value_name, type, data, size); });
}

LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_size, LPDWORD,
                   LPWSTR key_class, LPDWORD class_size, void* last_write_time) {
  return guarded([&] {
    return enum_key(key, index, name, name_size, key_class, class_size, last_write_time);
  });
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_size, LPDWORD, LPDWORD type,
                   LPBYTE data, LPDWORD data_size) {
  return guarded(
      [&] { return enum_value(key, index, name, name_size, type, data, data_size); });
}
