// Linux backend of platform/module_path.h: /proc/self/exe and getcwd.
#include "platform/module_path.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include <boost/system/system_error.hpp>

#include "platform/os_error.h"

#include "platform/text.h"

namespace Tavrin::Platform {
std::wstring executable_path() {
  // readlink does not say how long the target is: grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) throw posix_error("readlink /proc/self/exe", errno);
    if (static_cast<size_t>(length) < buffer.size()) {
      return from_utf8(std::string_view(buffer.data(), static_cast<size_t>(length)));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring module_file_path(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || !info.dli_fname || !*info.dli_fname) throw posix_error("dladdr", ENOENT);
  std::string name = info.dli_fname;
  if (name[0] == '/') return from_utf8(name);
  // Loaded by a relative path: complete it from the current folder.
  while (name.rfind("./", 0) == 0) name.erase(0, 2);
  return current_directory() + L"/" + from_utf8(name);
}

std::wstring current_directory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size()) != nullptr) return from_utf8(buffer.data());
    if (errno != ERANGE) throw posix_error("getcwd", errno);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace Tavrin::Platform
