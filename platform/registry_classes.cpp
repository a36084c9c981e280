// The merged HKEY_CLASSES_ROOT view over HKCU\Software\Classes and
// HKLM\Software\Classes (rules in platform/registry.h). A view key holds
// its path and finds the hives' keys again on every call, so it sees keys
// that appear in or vanish from either hive meanwhile.
#include <algorithm>
#include <set>
#include <utility>

#include "platform/registry_key_internal.h"

namespace Tavrin::Platform::RegistryDetail {

namespace {

Path in_hive(const Path& path) {
  Path full{L"Software", L"Classes"};
  full.insert(full.end(), path.begin(), path.end());
  return full;
}

Path joined(const Path& a, const Path& b) {
  Path out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// Where `path` exists: the key id in each hive, 0 when absent there.
struct Presence {
  std::int64_t user = 0;
  std::int64_t machine = 0;
  bool any() const { return user || machine; }
};

LONG find_in(Hive& hive, const Path& path, std::int64_t* id) {
  const LONG rc = hive.lookup(Hive::kRoot, in_hive(path), id);
  if (rc == ERROR_FILE_NOT_FOUND) *id = 0;
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

LONG presence(const Path& path, Presence* out) {
  LONG rc = find_in(*user_hive(), path, &out->user);
  if (rc == ERROR_SUCCESS) rc = find_in(*machine_hive(), path, &out->machine);
  return rc;
}

class ClassesKey final : public Key {
 public:
  ClassesKey(Path path, REGSAM access) : Key(access), path_(std::move(path)) {}

  LONG open(const Path& sub, REGSAM access, std::shared_ptr<Key>* out) override {
    const Path path = joined(path_, sub);
    Presence where;
    LONG rc = presence(path, &where);
    if (rc == ERROR_SUCCESS && !where.any() && !path.empty()) rc = ERROR_FILE_NOT_FOUND;
    if (rc == ERROR_SUCCESS) *out = make_classes_key(path, access);
    return rc;
  }

  LONG create(const Path& sub, REGSAM access, std::shared_ptr<Key>* out,
              bool* created) override {
    const Path path = joined(path_, sub);
    Presence where;
    LONG rc = presence(path, &where);
    *created = false;
    if (rc == ERROR_SUCCESS && !where.any()) {
      std::shared_ptr<Hive> hive;
      rc = home_of_new(path, &hive);
      std::int64_t id = 0;
      if (rc == ERROR_SUCCESS) rc = hive->create(Hive::kRoot, in_hive(path), &id, created);
    }
    if (rc == ERROR_SUCCESS) *out = make_classes_key(path, access);
    return rc;
  }

  LONG remove(const Path& sub, bool tree) override {
    const Path path = joined(path_, sub);
    if (path.empty() && !tree) return ERROR_ACCESS_DENIED;
    std::shared_ptr<Hive> hive;
    std::int64_t id = 0;
    const LONG rc = existing_target(path, &hive, &id);
    if (rc != ERROR_SUCCESS) return rc == ERROR_KEY_DELETED ? ERROR_FILE_NOT_FOUND : rc;
    return hive->remove(id, {}, tree, tree && sub.empty());
  }

  LONG query_value(std::wstring_view name, StoredValue* out) override {
    Presence where;
    LONG rc = presence(path_, &where);
    if (rc != ERROR_SUCCESS) return rc;
    if (!where.any()) return path_.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    rc = ERROR_FILE_NOT_FOUND;
    if (where.user) rc = user_hive()->query_value(where.user, name, out);
    if (rc == ERROR_FILE_NOT_FOUND && where.machine)
      rc = machine_hive()->query_value(where.machine, name, out);
    return rc;
  }

  LONG set_value(std::wstring_view name, DWORD type, std::string_view data) override {
    std::shared_ptr<Hive> hive;
    std::int64_t id = 0;
    LONG rc = existing_target(path_, &hive, &id);
    if (rc == ERROR_KEY_DELETED && path_.empty()) {
      // The classes root itself: make the machine's.
      bool created = false;
      hive = machine_hive();
      rc = hive->create(Hive::kRoot, in_hive({}), &id, &created);
    }
    if (rc == ERROR_SUCCESS) rc = hive->set_value(id, name, type, data);
    return rc;
  }

  LONG delete_value(std::wstring_view name) override {
    std::shared_ptr<Hive> hive;
    std::int64_t id = 0;
    LONG rc = existing_target(path_, &hive, &id);
    if (rc == ERROR_KEY_DELETED && path_.empty()) rc = ERROR_FILE_NOT_FOUND;
    if (rc == ERROR_SUCCESS) rc = hive->delete_value(id, name);
    return rc;
  }

  LONG subkey_at(DWORD index, std::wstring* name) override {
    std::vector<std::wstring> names;
    const LONG rc = merged_subkeys(&names);
    if (rc != ERROR_SUCCESS) return rc;
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    *name = names[index];
    return ERROR_SUCCESS;
  }

  LONG value_at(DWORD index, StoredValue* out) override {
    std::vector<StoredValue> values;
    const LONG rc = merged_values(&values);
    if (rc != ERROR_SUCCESS) return rc;
    if (index >= values.size()) return ERROR_NO_MORE_ITEMS;
    *out = std::move(values[index]);
    return ERROR_SUCCESS;
  }

 private:
  // The hive key that a write to `path` goes to: the user's when the key
  // exists only there, else the machine's. ERROR_KEY_DELETED when neither
  // has it.
  static LONG existing_target(const Path& path, std::shared_ptr<Hive>* hive, std::int64_t* id) {
    Presence where;
    const LONG rc = presence(path, &where);
    if (rc != ERROR_SUCCESS) return rc;
    if (!where.any()) return ERROR_KEY_DELETED;
    const bool user_only = where.user && !where.machine;
    *hive = user_only ? user_hive() : machine_hive();
    *id = user_only ? where.user : where.machine;
    return ERROR_SUCCESS;
  }

  // The hive a new key `path` goes to: that of its nearest existing
  // ancestor, the machine's when both have it or none does.
  static LONG home_of_new(const Path& path, std::shared_ptr<Hive>* hive) {
    for (size_t n = path.empty() ? 0 : path.size() - 1; n > 0; --n) {
      Presence where;
      const LONG rc = presence(Path(path.begin(), path.begin() + n), &where);
      if (rc != ERROR_SUCCESS) return rc;
      if (where.any()) {
        *hive = where.machine ? machine_hive() : user_hive();
        return ERROR_SUCCESS;
      }
    }
    *hive = machine_hive();
    return ERROR_SUCCESS;
  }

  LONG merged_subkeys(std::vector<std::wstring>* names) {
    Presence where;
    LONG rc = presence(path_, &where);
    if (rc == ERROR_SUCCESS && !where.any() && !path_.empty()) rc = ERROR_KEY_DELETED;
    std::vector<std::pair<std::string, std::wstring>> sorted;  // by folded name
    std::set<std::string> seen;
    std::vector<std::wstring> part;
    for (int pass = 0; pass < 2 && rc == ERROR_SUCCESS; ++pass) {
      const std::int64_t id = pass == 0 ? where.user : where.machine;
      if (!id) continue;
      rc = (pass == 0 ? user_hive() : machine_hive())->subkeys(id, &part);
      for (auto& name : part) {
        std::string fold = fold_name(name);
        if (seen.insert(fold).second) sorted.emplace_back(std::move(fold), std::move(name));
      }
    }
    std::sort(sorted.begin(), sorted.end());
    for (auto& entry : sorted) names->push_back(std::move(entry.second));
    return rc;
  }

  LONG merged_values(std::vector<StoredValue>* values) {
    Presence where;
    LONG rc = presence(path_, &where);
    if (rc == ERROR_SUCCESS && !where.any() && !path_.empty()) rc = ERROR_KEY_DELETED;
    std::set<std::string> seen;
    std::vector<StoredValue> part;
    for (int pass = 0; pass < 2 && rc == ERROR_SUCCESS; ++pass) {
      const std::int64_t id = pass == 0 ? where.user : where.machine;
      if (!id) continue;
      rc = (pass == 0 ? user_hive() : machine_hive())->values(id, &part);
      for (auto& value : part)
        if (seen.insert(fold_name(value.name)).second) values->push_back(std::move(value));
    }
    return rc;
  }

  const Path path_;
};

}  // namespace

std::shared_ptr<Key> make_classes_key(Path path, REGSAM access) {
  return std::make_shared<ClassesKey>(std::move(path), access);
}

}  // namespace Tavrin::Platform::RegistryDetail
