#include "platform/os_version.h"

#include <mutex>

namespace Tavrin::Platform {
namespace {

std::mutex& version_mutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<OsVersion>& injected() {
  static std::optional<OsVersion> version;
  return version;
}

}  // namespace

OsVersion os_version() {
  std::lock_guard<std::mutex> lock(version_mutex());
  if (injected()) return *injected();
  return OsVersion{10, 0, 0};
}

void set_os_version(std::optional<OsVersion> version) {
  std::lock_guard<std::mutex> lock(version_mutex());
  injected() = version;
}

}  // namespace Tavrin::Platform
