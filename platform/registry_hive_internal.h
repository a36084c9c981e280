// Storage of one registry hive in a SQLite database, and the process-wide
// set of open hives. Internal to the registry backend.
//
// Tables: keys(id, parent, name, fold) with the root key as id 1, and
// vals(id, key, name, fold, type, data). `fold` is the upper-cased name that
// lookups compare; `name` keeps the case a key or value was created with.
// Key ids are never reused, so a handle to a deleted key stays dead even
// when a key of the same name comes back.
//
// Every call is one transaction (reads a deferred one, writes an immediate
// one that waits up to the busy timeout for other writers). Thread-safe: a
// mutex serialises the calls of a process on its one connection.
#ifndef QUORVANE_PLATFORM_REGISTRY_HIVE_INTERNAL_H_
#define QUORVANE_PLATFORM_REGISTRY_HIVE_INTERNAL_H_

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_db_internal.h"

namespace Tavrin::Platform::RegistryDetail {

// A key path split at its backslashes, empty parts dropped.
using Path = std::vector<std::wstring>;
Path split_path(std::wstring_view text);

// The name as lookups compare it: simple upper case of the Basic
// Multilingual Plane (ASCII only when the C.UTF-8 locale is missing),
// encoded in UTF-8.
std::string fold_name(std::wstring_view name);

struct StoredValue {
  std::wstring name;
  DWORD type = REG_NONE;
  std::string data;
};

class Hive {
 public:
  static constexpr std::int64_t kRoot = 1;

  // `file` is the database path; its folder is created on the first write.
  explicit Hive(std::string file);
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  const std::string& file() const { return file_; }

  // The id of the key `path` below key `from` (ERROR_FILE_NOT_FOUND when a
  // part is missing, ERROR_KEY_DELETED when `from` is gone).
  LONG lookup(std::int64_t from, const Path& path, std::int64_t* id);
  // ERROR_SUCCESS when writes can go through, else ERROR_ACCESS_DENIED (or
  // the failure met while opening).
  LONG check_writable();
  // Creates the missing keys of `path` below `from`; *id is the last one,
  // *created tells whether it is new.
  LONG create(std::int64_t from, const Path& path, std::int64_t* id, bool* created);
  // Deletes the key `path` below `from` and its values. With `tree` its
  // subkeys go too, else ERROR_KEY_HAS_CHILDREN when it has any. The root
  // cannot be deleted (ERROR_ACCESS_DENIED). With `tree` and `keep_top` the
  // key itself stays and only its contents go.
  LONG remove(std::int64_t from, const Path& path, bool tree, bool keep_top);

  LONG query_value(std::int64_t key, std::wstring_view name, StoredValue* out);
  LONG set_value(std::int64_t key, std::wstring_view name, DWORD type, std::string_view data);
  LONG delete_value(std::int64_t key, std::wstring_view name);

  // Subkey names in case-insensitive order; values in the order first set.
  LONG subkey_at(std::int64_t key, DWORD index, std::wstring* name);
  LONG value_at(std::int64_t key, DWORD index, StoredValue* out);
  LONG subkeys(std::int64_t key, std::vector<std::wstring>* names);
  LONG values(std::int64_t key, std::vector<StoredValue>* out);

 private:
  // Run `body` in a transaction under the lock. For reads, `db` is null
  // while the hive file does not exist: an empty hive with only its root.
  LONG read(const std::function<LONG(sqlite3* db)>& body);
  LONG write(const std::function<LONG(sqlite3* db)>& body);
  LONG open_locked(bool for_write);
  LONG open_existing();
  LONG create_file();

  std::mutex mu_;
  const std::string file_;
  Database db_;
  bool read_only_ = false;
  bool snapshot_ = false;  // db_ opened immutable: closed after each read
  pid_t owner_ = 0;  // process that opened db_
};

// The hives the environment names now (see platform/registry.h); one Hive
// object per file per process.
std::shared_ptr<Hive> user_hive();
std::shared_ptr<Hive> machine_hive();

// The fault codes set by set_registry_faults.
LONG injected_read_fault();
LONG injected_write_fault();

}  // namespace Tavrin::Platform::RegistryDetail

#endif  // QUORVANE_PLATFORM_REGISTRY_HIVE_INTERNAL_H_
