// Move-only owners of a SQLite connection and of a prepared statement, and
// the one place where SQLite result codes become registry result codes.
// Internal to the registry backend.
#ifndef QUORVANE_PLATFORM_REGISTRY_DB_INTERNAL_H_
#define QUORVANE_PLATFORM_REGISTRY_DB_INTERNAL_H_

#include <cstdint>
#include <string>
#include <string_view>

#include <sqlite3.h>

#include "platform/registry.h"

namespace Tavrin::Platform::RegistryDetail {

// The registry result code for a SQLite result code. `writing` tells
// whether the failed step was a write, where a read-only or unopenable
// database means ERROR_ACCESS_DENIED.
LONG registry_error(int sqlite_code, bool writing);

// Owns one connection; closes it when it goes.
class Database {
 public:
  Database() = default;
  ~Database();
  Database(Database&& other) noexcept;
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Opens `name` (a path, or a URI with SQLITE_OPEN_URI) with `flags`.
  // Returns the SQLite result code; on failure *this stays closed.
  int open(const std::string& name, int flags);
  // Forgets the connection without closing it: a forked child must not
  // touch the parent's connection.
  void abandon() { db_ = nullptr; }
  bool is_open() const { return db_ != nullptr; }
  sqlite3* get() const { return db_; }
  // Runs SQL without results. Returns the SQLite result code.
  int exec(const char* sql);

 private:
  sqlite3* db_ = nullptr;
};

// One prepared statement. A failure to prepare, bind or step is kept in
// code(); later calls then do nothing, so a sequence of calls can be checked
// once at the end.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int index, std::int64_t value);
  Statement& bind_text(int index, std::string_view text);
  Statement& bind_blob(int index, std::string_view bytes);

  // Steps once: true when a row is ready, false when done or failed.
  bool step();
  // Steps to the end; returns the SQLite result code (SQLITE_DONE on success
  // becomes SQLITE_OK).
  int run();
  void reset();

  std::int64_t column_int(int index) const;
  std::string column_text(int index) const;
  std::string column_blob(int index) const;

  // SQLITE_OK, or the first failure.
  int code() const { return code_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int code_ = SQLITE_OK;
};

}  // namespace Tavrin::Platform::RegistryDetail

#endif  // QUORVANE_PLATFORM_REGISTRY_DB_INTERNAL_H_
