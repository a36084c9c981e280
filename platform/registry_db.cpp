#include "platform/registry_db_internal.h"

#include <utility>

namespace Tavrin::Platform::RegistryDetail {

LONG registry_error(int sqlite_code, bool writing) {
  switch (sqlite_code & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_OUTOFMEMORY;
    case SQLITE_FULL:
      return ERROR_DISK_FULL;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
      return writing ? ERROR_ACCESS_DENIED : ERROR_REGISTRY_IO_FAILED;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

Database::~Database() {
  if (db_) sqlite3_close_v2(db_);
}

Database::Database(Database&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    if (db_) sqlite3_close_v2(db_);
    db_ = std::exchange(other.db_, nullptr);
  }
  return *this;
}

int Database::open(const std::string& name, int flags) {
  *this = Database();
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    // SQLite hands out a connection object even when opening fails.
    sqlite3_close_v2(db);
    return rc;
  }
  db_ = db;
  sqlite3_extended_result_codes(db_, 1);
  return SQLITE_OK;
}

int Database::exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

Statement::Statement(sqlite3* db, const char* sql) {
  code_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::bind(int index, std::int64_t value) {
  if (code_ == SQLITE_OK) code_ = sqlite3_bind_int64(stmt_, index, value);
  return *this;
}

Statement& Statement::bind_text(int index, std::string_view text) {
  if (code_ == SQLITE_OK)
    code_ = sqlite3_bind_text64(stmt_, index, text.empty() ? "" : text.data(), text.size(),
                                SQLITE_TRANSIENT, SQLITE_UTF8);
  return *this;
}

Statement& Statement::bind_blob(int index, std::string_view bytes) {
  // A null pointer would bind SQL NULL; an empty value is a zero-length blob.
  if (code_ == SQLITE_OK)
    code_ = sqlite3_bind_blob64(stmt_, index, bytes.empty() ? "" : bytes.data(), bytes.size(),
                                SQLITE_TRANSIENT);
  return *this;
}

bool Statement::step() {
  if (code_ != SQLITE_OK) return false;
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) code_ = rc;
  return false;
}

int Statement::run() {
  while (step()) {
  }
  return code_;
}

void Statement::reset() {
  if (code_ == SQLITE_OK) sqlite3_reset(stmt_);
}

std::int64_t Statement::column_int(int index) const { return sqlite3_column_int64(stmt_, index); }

std::string Statement::column_text(int index) const {
  const auto* text = sqlite3_column_text(stmt_, index);
  const int size = sqlite3_column_bytes(stmt_, index);
  return text ? std::string(reinterpret_cast<const char*>(text), size) : std::string();
}

std::string Statement::column_blob(int index) const {
  const void* data = sqlite3_column_blob(stmt_, index);
  const int size = sqlite3_column_bytes(stmt_, index);
  return data ? std::string(static_cast<const char*>(data), size) : std::string();
}

}  // namespace Tavrin::Platform::RegistryDetail
