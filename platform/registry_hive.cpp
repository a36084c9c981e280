// Opening a hive's database, its transactions, and which files the hives
// are. The key and value operations are in registry_hive_ops.cpp.
#include "platform/registry_hive_internal.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

namespace Tavrin::Platform {

namespace {
std::atomic<LONG> g_read_fault{ERROR_SUCCESS};
std::atomic<LONG> g_write_fault{ERROR_SUCCESS};
}  // namespace

void set_registry_faults(const RegistryFaults& faults) {
  g_read_fault = faults.on_read;
  g_write_fault = faults.on_write;
}

namespace RegistryDetail {

LONG injected_read_fault() { return g_read_fault; }
LONG injected_write_fault() { return g_write_fault; }

namespace {

// How long a call waits for other processes' writes before ERROR_BUSY.
constexpr int kBusyTimeoutMs = 10000;

constexpr const char* kSchema =
    "BEGIN IMMEDIATE;"
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  UNIQUE(parent, fold));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL,"
    "  fold TEXT NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  UNIQUE(key, fold));"
    "CREATE INDEX IF NOT EXISTS vals_order ON vals(key, id);"
    "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES(1, 0, '', '');"
    "COMMIT;";

// Turns a path into a URI that opens the file without locking or change
// detection; the last resort for reading a hive whose folder we may not
// write (WAL needs its shared-memory file).
std::string immutable_uri(const std::string& file) {
  std::string uri = "file:";
  for (unsigned char c : file) {
    if (c == '%' || c == '?' || c == '#' || c < 0x21 || c >= 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri + "?immutable=1";
}

bool has_schema(Database& db) {
  Statement s(db.get(), "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='vals'");
  return s.step() && s.column_int(0) == 1;
}

// Switches the database to write-ahead logging unless it uses it already.
// SQLite answers a switch that meets another connection with SQLITE_BUSY
// at once, without waiting in its busy handler, so the switch is tried
// again for up to the busy timeout.
int use_wal(Database& db) {
  {
    Statement mode(db.get(), "PRAGMA journal_mode");
    if (mode.step() && mode.column_text(0) == "wal") return SQLITE_OK;
    if (mode.code() != SQLITE_OK) return mode.code();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    const int rc = db.exec("PRAGMA journal_mode=WAL");
    if ((rc & 0xFF) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) return rc;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int init_schema(Database& db) {
  sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
  int rc = use_wal(db);
  if (rc == SQLITE_OK) rc = db.exec("PRAGMA synchronous=NORMAL");
  if (rc == SQLITE_OK && !has_schema(db)) rc = db.exec(kSchema);
  if (rc != SQLITE_OK && !sqlite3_get_autocommit(db.get())) db.exec("ROLLBACK");
  return rc;
}

void remove_database_files(const std::string& file) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) ::unlink((file + suffix).c_str());
}

// Puts the finished database `fresh` in place as `file` unless another
// process has put its own there first; then `fresh` goes.
LONG publish(const std::string& fresh, const std::string& file) {
  int error = 0;
  if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) != 0) {
    error = errno;
    // File systems without the no-replace rename: a hard link is as safe.
    if (error == EINVAL || error == ENOSYS) error = ::link(fresh.c_str(), file.c_str()) == 0 ? 0 : errno;
  }
  remove_database_files(fresh);
  if (error == 0 || error == EEXIST) return ERROR_SUCCESS;
  return error == ENOSPC ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED;
}

}  // namespace

Hive::Hive(std::string file) : file_(std::move(file)) {}

// A hive file appears complete or not at all: it is made under another
// name, in WAL mode and with its tables, and then moved into place. Several
// processes may do this at once; the first to move its file in wins and
// the others use that one. (Made in place, a fresh file would be seen by
// others half made, and its switch to WAL could fail them as busy.)
LONG Hive::create_file() {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(file_).parent_path(), ec);
  // Whatever stops the folder from being made (no right, a file in the
  // way, a read-only file system) means this hive cannot be written.
  if (ec) return ec.value() == ENOSPC ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED;
  static std::atomic<unsigned> made{0};
  const std::string fresh = file_ + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(made++);
  {
    Database db;
    int rc = db.open(fresh, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (rc == SQLITE_OK) rc = init_schema(db);
    if (rc != SQLITE_OK) {
      db = Database();
      remove_database_files(fresh);
      return registry_error(rc, true);
    }
  }  // closing checkpoints the log into the file
  const LONG placed = publish(fresh, file_);
  if (placed != ERROR_SUCCESS) return placed;
  return open_existing();
}

LONG Hive::open_existing() {
  owner_ = ::getpid();
  snapshot_ = false;
  int rc = db_.open(file_, SQLITE_OPEN_READWRITE);
  read_only_ = rc != SQLITE_OK || sqlite3_db_readonly(db_.get(), "main") == 1;
  if (!read_only_) {
    rc = init_schema(db_);
    if (rc == SQLITE_OK) return ERROR_SUCCESS;
    const LONG error = registry_error(rc, true);
    if (error != ERROR_ACCESS_DENIED) {
      db_ = Database();  // try again on the next call
      return error;
    }
  }

  // Not writable here: read it as it is.
  read_only_ = true;
  rc = db_.open(file_, SQLITE_OPEN_READONLY);
  if (rc == SQLITE_OK) sqlite3_busy_timeout(db_.get(), kBusyTimeoutMs);
  if (rc != SQLITE_OK || !has_schema(db_)) {
    rc = db_.open(immutable_uri(file_), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
    if (rc != SQLITE_OK) return registry_error(rc, false);
    snapshot_ = true;
  }
  // A file that another process has only begun to create reads as empty.
  if (!has_schema(db_)) db_ = Database();
  return ERROR_SUCCESS;
}

LONG Hive::open_locked(bool for_write) {
  if (db_.is_open() && owner_ != ::getpid()) {
    // Forked: the connection is the parent's.
    db_.abandon();
    read_only_ = false;
  }
  if (!db_.is_open()) {
    struct stat st;
    if (::stat(file_.c_str(), &st) != 0) {
      if (!for_write) return ERROR_SUCCESS;  // an empty hive
      return create_file();
    }
    const LONG rc = open_existing();
    if (rc != ERROR_SUCCESS) return rc;
  }
  if (for_write && (read_only_ || !db_.is_open())) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

LONG Hive::check_writable() {
  if (const LONG fault = injected_write_fault()) return fault;
  std::lock_guard<std::mutex> lock(mu_);
  return open_locked(true);
}

LONG Hive::read(const std::function<LONG(sqlite3*)>& body) {
  if (const LONG fault = injected_read_fault()) return fault;
  std::lock_guard<std::mutex> lock(mu_);
  LONG rc = open_locked(false);
  if (rc != ERROR_SUCCESS) return rc;
  if (!db_.is_open()) return body(nullptr);
  const int begun = db_.exec("BEGIN");
  if (begun != SQLITE_OK) return registry_error(begun, false);
  rc = body(db_.get());
  db_.exec("COMMIT");
  // A snapshot does not see later changes: read afresh next time.
  if (snapshot_) db_ = Database();
  return rc;
}

LONG Hive::write(const std::function<LONG(sqlite3*)>& body) {
  if (const LONG fault = injected_write_fault()) return fault;
  std::lock_guard<std::mutex> lock(mu_);
  LONG rc = open_locked(true);
  if (rc != ERROR_SUCCESS) return rc;
  const int begun = db_.exec("BEGIN IMMEDIATE");
  if (begun != SQLITE_OK) return registry_error(begun, true);
  rc = body(db_.get());
  if (rc == ERROR_SUCCESS) {
    const int committed = db_.exec("COMMIT");
    if (committed != SQLITE_OK) rc = registry_error(committed, true);
  }
  if (!sqlite3_get_autocommit(db_.get())) db_.exec("ROLLBACK");
  return rc;
}

namespace {

std::string config_home() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0]) return std::string(home) + "/.config";
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found)
    return std::string(found->pw_dir) + "/.config";
  return ".config";
}

std::string machine_dir() {
  const char* dir = std::getenv("QUORVANE_MACHINE_DIR");
  return dir && dir[0] ? dir : QUORVANE_MACHINE_DIR_DEFAULT;
}

// The hive a root key uses now. The current file's Hive stays alive; one
// that the environment no longer names lives while handles hold it.
class HiveSlot {
 public:
  std::shared_ptr<Hive> at(const std::string& file) {
    static std::mutex mu;
    static std::map<std::string, std::weak_ptr<Hive>> open;
    std::lock_guard<std::mutex> lock(mu);
    if (current_ && current_->file() == file) return current_;
    std::shared_ptr<Hive> hive = open[file].lock();
    if (!hive) {
      std::erase_if(open, [](const auto& entry) { return entry.second.expired(); });
      hive = std::make_shared<Hive>(file);
      open[file] = hive;
    }
    current_ = hive;
    return hive;
  }

 private:
  std::shared_ptr<Hive> current_;
};

}  // namespace

std::shared_ptr<Hive> user_hive() {
  static HiveSlot slot;
  return slot.at(config_home() + "/quorvane/registry/user.db");
}

std::shared_ptr<Hive> machine_hive() {
  static HiveSlot slot;
  return slot.at(machine_dir() + "/registry/machine.db");
}

}  // namespace RegistryDetail
}  // namespace Tavrin::Platform
