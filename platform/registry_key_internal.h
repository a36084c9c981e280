// What an open registry handle refers to: a key of one hive, or a key of
// the merged HKEY_CLASSES_ROOT view. Internal to the registry backend; the
// Win32-shaped functions (registry_sqlite.cpp) check arguments and access
// rights and leave the work to these objects.
#ifndef QUORVANE_PLATFORM_REGISTRY_KEY_INTERNAL_H_
#define QUORVANE_PLATFORM_REGISTRY_KEY_INTERNAL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "platform/registry_hive_internal.h"

namespace Tavrin::Platform::RegistryDetail {

// Rights that only writing needs.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

class Key {
 public:
  explicit Key(REGSAM access) : access_(access) {}
  virtual ~Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  // The rights the handle was opened with.
  REGSAM access() const { return access_; }

  // A new key object for `sub` below this key (empty: this key again).
  virtual LONG open(const Path& sub, REGSAM access, std::shared_ptr<Key>* out) = 0;
  virtual LONG create(const Path& sub, REGSAM access, std::shared_ptr<Key>* out,
                      bool* created) = 0;
  // Deletes `sub` (empty: this key). With `tree` its subkeys go too, and an
  // empty `sub` empties this key instead of deleting it.
  virtual LONG remove(const Path& sub, bool tree) = 0;

  virtual LONG query_value(std::wstring_view name, StoredValue* out) = 0;
  virtual LONG set_value(std::wstring_view name, DWORD type, std::string_view data) = 0;
  virtual LONG delete_value(std::wstring_view name) = 0;
  virtual LONG subkey_at(DWORD index, std::wstring* name) = 0;
  virtual LONG value_at(DWORD index, StoredValue* out) = 0;

 private:
  const REGSAM access_;
};

// Key `id` of `hive`.
std::shared_ptr<Key> make_hive_key(std::shared_ptr<Hive> hive, std::int64_t id, REGSAM access);
// The key `path` (relative to Software\Classes) of the merged classes view.
std::shared_ptr<Key> make_classes_key(Path path, REGSAM access);

}  // namespace Tavrin::Platform::RegistryDetail

#endif  // QUORVANE_PLATFORM_REGISTRY_KEY_INTERNAL_H_
