// XDG backend of platform/shell_folders.h.
#include "platform/shell_folders.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/os_error.h"
#include "platform/text.h"

namespace Tavrin::Platform {
namespace {

// The variable's value if it is an absolute path, without trailing slashes
// (the root stays "/"); empty otherwise. Relative values are ignored, as the
// XDG base directory rules ask.
std::string absolute_env(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  std::string path(value);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::wstring application_data_folder() {
  std::string folder = absolute_env("XDG_DATA_HOME");
  if (folder.empty()) {
    const std::string home = absolute_env("HOME");
    if (home.empty()) {
      throw posix_error("no XDG_DATA_HOME or HOME for the application data folder", ENOENT);
    }
    folder = (home == "/" ? std::string() : home) + "/.local/share";
  }
  return from_utf8(folder);
}

std::wstring home_folder() {
  const std::string home = absolute_env("HOME");
  if (home.empty()) throw posix_error("no HOME for the home folder", ENOENT);
  return from_utf8(home);
}

}  // namespace Tavrin::Platform
