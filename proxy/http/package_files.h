// The resource package as the proxy serves it: the files under
// "/quorvane/special/file/<name>" and the script elements that go into
// pages. The package is read again when its file on disk changes (its
// modification time or size), at most once a second, so a rebuilt
// Resource.dat takes effect without restarting the server. A package that
// fails to load keeps the files loaded before and leaves a note.
//
// The elements ask for their files with the package's version in the
// query ("?v=<version>"), which changes with the package: a browser may
// keep a file asked for so, and a rebuilt package is fetched anew.
//
// Thread-safe.
#ifndef QUORVANE_PROXY_HTTP_PACKAGE_FILES_H_
#define QUORVANE_PROXY_HTTP_PACKAGE_FILES_H_

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "common/script_injector.h"

namespace Tavrin::Proxy::Http {

inline constexpr const char kPackageFilePath[] = "/quorvane/special/file/";
inline constexpr const char kAgentKeyAttribute[] = "data-quorvane";

class PackageFiles {
 public:
  // `path` empty: no files and nothing injected.
  PackageFiles(std::filesystem::path path, std::function<void(const std::string&)> note);
  PackageFiles(const PackageFiles&) = delete;
  PackageFiles& operator=(const PackageFiles&) = delete;

  // The file for a request path under kPackageFilePath, by the rules of
  // ScriptInjector::GetFile; std::nullopt when none has that name.
  std::optional<File> find(const std::string& path);

  // The version of the package loaded now; empty while none is.
  std::string version();
  // Whether `path` asks for a file with the version of the package loaded
  // now: its answer may be kept by the browser.
  bool is_current(const std::string& path);

  // `page` with the package's script elements put in (each carrying
  // `nonce` when it is not empty, and its file's address the version), at agent_insertion_point, else where
  // ScriptInjector::InjectToStreamANSI puts them; unchanged when neither
  // finds a place. A `key` that is not empty goes into the first element
  // (the page agent's) as attribute kAgentKeyAttribute, which the agent
  // reads and removes before any script of the page runs.
  void inject(std::string& page, const std::string& nonce, const std::string& key);

 private:
  void refresh();

  const std::filesystem::path path_;
  const std::function<void(const std::string&)> note_;
  ScriptInjector injector_;
  std::mutex mutex_;  // guards the fields below
  std::chrono::steady_clock::time_point next_check_{};
  std::filesystem::file_time_type stamp_{};
  std::uintmax_t size_ = 0;
  std::string version_;  // of the package loaded; empty while none is
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_PACKAGE_FILES_H_
