// Key and value operations of a hive, each one transaction.
#include "platform/registry_hive_internal.h"
#include "platform/text.h"

namespace Tavrin::Platform::RegistryDetail {

namespace {

LONG db_error(const Statement& s, bool writing) { return registry_error(s.code(), writing); }

// ERROR_SUCCESS when key `id` exists, else ERROR_KEY_DELETED.
LONG check_alive(sqlite3* db, std::int64_t id, bool writing) {
  if (id == Hive::kRoot) return ERROR_SUCCESS;
  Statement s(db, "SELECT 1 FROM keys WHERE id = ?1");
  s.bind(1, id);
  if (s.step()) return ERROR_SUCCESS;
  return s.code() == SQLITE_OK ? ERROR_KEY_DELETED : db_error(s, writing);
}

LONG find_child(sqlite3* db, std::int64_t parent, const std::wstring& name, std::int64_t* id,
                bool writing) {
  Statement s(db, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
  s.bind(1, parent).bind_text(2, fold_name(name));
  if (s.step()) {
    *id = s.column_int(0);
    return ERROR_SUCCESS;
  }
  return s.code() == SQLITE_OK ? ERROR_FILE_NOT_FOUND : db_error(s, writing);
}

LONG walk(sqlite3* db, std::int64_t from, const Path& path, std::int64_t* id, bool writing) {
  LONG rc = check_alive(db, from, writing);
  std::int64_t at = from;
  for (size_t i = 0; rc == ERROR_SUCCESS && i < path.size(); ++i)
    rc = find_child(db, at, path[i], &at, writing);
  if (rc == ERROR_SUCCESS) *id = at;
  return rc;
}

// What a read of key `id` of a hive whose file does not exist finds.
LONG empty_hive(std::int64_t id) {
  return id == Hive::kRoot ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
}

LONG run(sqlite3* db, const char* sql, std::int64_t id) {
  Statement s(db, sql);
  s.bind(1, id);
  return registry_error(s.run(), true);
}

LONG remove_one(sqlite3* db, std::int64_t id) {
  Statement s(db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
  s.bind(1, id);
  if (s.step()) return ERROR_KEY_HAS_CHILDREN;
  if (s.code() != SQLITE_OK) return db_error(s, true);
  LONG rc = run(db, "DELETE FROM vals WHERE key = ?1", id);
  if (rc == ERROR_SUCCESS) rc = run(db, "DELETE FROM keys WHERE id = ?1", id);
  return rc;
}

LONG remove_tree(sqlite3* db, std::int64_t id, bool keep_top) {
  LONG rc = run(db,
                "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL "
                "  SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
                "DELETE FROM vals WHERE key IN sub",
                id);
  if (rc == ERROR_SUCCESS)
    rc = run(db,
             "WITH RECURSIVE sub(id) AS (SELECT id FROM keys WHERE parent = ?1 UNION ALL "
             "  SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) "
             "DELETE FROM keys WHERE id IN sub",
             id);
  if (rc == ERROR_SUCCESS && !keep_top) rc = run(db, "DELETE FROM keys WHERE id = ?1", id);
  return rc;
}

// Reads columns name, type, data of the current row.
void read_value(const Statement& s, StoredValue* out) {
  out->name = from_utf8(s.column_text(0));
  out->type = static_cast<DWORD>(s.column_int(1));
  out->data = s.column_blob(2);
}

}  // namespace

LONG Hive::lookup(std::int64_t from, const Path& path, std::int64_t* id) {
  return read([&](sqlite3* db) -> LONG {
    if (!db) {
      if (from != kRoot) return ERROR_KEY_DELETED;
      if (!path.empty()) return ERROR_FILE_NOT_FOUND;
      *id = kRoot;
      return ERROR_SUCCESS;
    }
    return walk(db, from, path, id, false);
  });
}

LONG Hive::create(std::int64_t from, const Path& path, std::int64_t* id, bool* created) {
  *created = false;
  return write([&](sqlite3* db) -> LONG {
    LONG rc = check_alive(db, from, true);
    std::int64_t at = from;
    bool made = false;
    for (size_t i = 0; rc == ERROR_SUCCESS && i < path.size(); ++i) {
      rc = find_child(db, at, path[i], &at, true);
      if (rc != ERROR_FILE_NOT_FOUND) continue;
      Statement s(db, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
      s.bind(1, at).bind_text(2, to_utf8(path[i])).bind_text(3, fold_name(path[i]));
      rc = registry_error(s.run(), true);
      at = sqlite3_last_insert_rowid(db);
      made = true;
    }
    if (rc == ERROR_SUCCESS) *id = at, *created = made;
    return rc;
  });
}

LONG Hive::remove(std::int64_t from, const Path& path, bool tree, bool keep_top) {
  return write([&](sqlite3* db) -> LONG {
    std::int64_t id = 0;
    const LONG rc = walk(db, from, path, &id, true);
    if (rc != ERROR_SUCCESS) return rc;
    if (id == kRoot && !(tree && keep_top)) return ERROR_ACCESS_DENIED;
    return tree ? remove_tree(db, id, keep_top) : remove_one(db, id);
  });
}

LONG Hive::query_value(std::int64_t key, std::wstring_view name, StoredValue* out) {
  return read([&](sqlite3* db) -> LONG {
    if (!db) return empty_hive(key);
    const LONG rc = check_alive(db, key, false);
    if (rc != ERROR_SUCCESS) return rc;
    Statement s(db, "SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2");
    s.bind(1, key).bind_text(2, fold_name(name));
    if (s.step()) {
      read_value(s, out);
      return ERROR_SUCCESS;
    }
    return s.code() == SQLITE_OK ? ERROR_FILE_NOT_FOUND : db_error(s, false);
  });
}

LONG Hive::set_value(std::int64_t key, std::wstring_view name, DWORD type, std::string_view data) {
  return write([&](sqlite3* db) -> LONG {
    const LONG rc = check_alive(db, key, true);
    if (rc != ERROR_SUCCESS) return rc;
    // An existing value keeps its name's case and its place in the order.
    Statement s(db,
                "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
    s.bind(1, key).bind_text(2, to_utf8(name)).bind_text(3, fold_name(name));
    s.bind(4, static_cast<std::int64_t>(type)).bind_blob(5, data);
    return registry_error(s.run(), true);
  });
}

LONG Hive::delete_value(std::int64_t key, std::wstring_view name) {
  return write([&](sqlite3* db) -> LONG {
    const LONG rc = check_alive(db, key, true);
    if (rc != ERROR_SUCCESS) return rc;
    Statement s(db, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
    s.bind(1, key).bind_text(2, fold_name(name));
    if (s.run() != SQLITE_OK) return db_error(s, true);
    return sqlite3_changes(db) > 0 ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

LONG Hive::subkey_at(std::int64_t key, DWORD index, std::wstring* name) {
  return read([&](sqlite3* db) -> LONG {
    if (!db) return key == kRoot ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
    const LONG rc = check_alive(db, key, false);
    if (rc != ERROR_SUCCESS) return rc;
    Statement s(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold LIMIT 1 OFFSET ?2");
    s.bind(1, key).bind(2, static_cast<std::int64_t>(index));
    if (s.step()) {
      *name = from_utf8(s.column_text(0));
      return ERROR_SUCCESS;
    }
    return s.code() == SQLITE_OK ? ERROR_NO_MORE_ITEMS : db_error(s, false);
  });
}

LONG Hive::value_at(std::int64_t key, DWORD index, StoredValue* out) {
  return read([&](sqlite3* db) -> LONG {
    if (!db) return key == kRoot ? ERROR_NO_MORE_ITEMS : ERROR_KEY_DELETED;
    const LONG rc = check_alive(db, key, false);
    if (rc != ERROR_SUCCESS) return rc;
    Statement s(db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    s.bind(1, key).bind(2, static_cast<std::int64_t>(index));
    if (s.step()) {
      read_value(s, out);
      return ERROR_SUCCESS;
    }
    return s.code() == SQLITE_OK ? ERROR_NO_MORE_ITEMS : db_error(s, false);
  });
}

LONG Hive::subkeys(std::int64_t key, std::vector<std::wstring>* names) {
  names->clear();
  return read([&](sqlite3* db) -> LONG {
    if (!db) return key == kRoot ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    const LONG rc = check_alive(db, key, false);
    if (rc != ERROR_SUCCESS) return rc;
    Statement s(db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold");
    s.bind(1, key);
    while (s.step()) names->push_back(from_utf8(s.column_text(0)));
    return db_error(s, false);
  });
}

LONG Hive::values(std::int64_t key, std::vector<StoredValue>* out) {
  out->clear();
  return read([&](sqlite3* db) -> LONG {
    if (!db) return key == kRoot ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    const LONG rc = check_alive(db, key, false);
    if (rc != ERROR_SUCCESS) return rc;
    Statement s(db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id");
    s.bind(1, key);
    while (s.step()) read_value(s, &out->emplace_back());
    return db_error(s, false);
  });
}

}  // namespace Tavrin::Platform::RegistryDetail
