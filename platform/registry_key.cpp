// A key of one hive.
#include "platform/registry_key_internal.h"

#include <utility>

namespace Tavrin::Platform::RegistryDetail {

namespace {

class HiveKey final : public Key {
 public:
  HiveKey(std::shared_ptr<Hive> hive, std::int64_t id, REGSAM access)
      : Key(access), hive_(std::move(hive)), id_(id) {}

  LONG open(const Path& sub, REGSAM access, std::shared_ptr<Key>* out) override {
    std::int64_t id = 0;
    LONG rc = hive_->lookup(id_, sub, &id);
    // Asking for a right to write a hive that cannot be written fails at
    // once, as on Windows.
    if (rc == ERROR_SUCCESS && (access & kWriteRights)) rc = hive_->check_writable();
    if (rc == ERROR_SUCCESS) *out = make_hive_key(hive_, id, access);
    return rc;
  }

  LONG create(const Path& sub, REGSAM access, std::shared_ptr<Key>* out,
              bool* created) override {
    std::int64_t id = 0;
    const LONG rc = hive_->create(id_, sub, &id, created);
    if (rc == ERROR_SUCCESS) *out = make_hive_key(hive_, id, access);
    return rc;
  }

  LONG remove(const Path& sub, bool tree) override {
    return hive_->remove(id_, sub, tree, tree && sub.empty());
  }

  LONG query_value(std::wstring_view name, StoredValue* out) override {
    return hive_->query_value(id_, name, out);
  }

  LONG set_value(std::wstring_view name, DWORD type, std::string_view data) override {
    return hive_->set_value(id_, name, type, data);
  }

  LONG delete_value(std::wstring_view name) override { return hive_->delete_value(id_, name); }

  LONG subkey_at(DWORD index, std::wstring* name) override {
    return hive_->subkey_at(id_, index, name);
  }

  LONG value_at(DWORD index, StoredValue* out) override {
    return hive_->value_at(id_, index, out);
  }

 private:
  const std::shared_ptr<Hive> hive_;
  const std::int64_t id_;
};

}  // namespace

std::shared_ptr<Key> make_hive_key(std::shared_ptr<Hive> hive, std::int64_t id, REGSAM access) {
  return std::make_shared<HiveKey>(std::move(hive), id, access);
}

}  // namespace Tavrin::Platform::RegistryDetail
