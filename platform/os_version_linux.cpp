// Linux backend of platform/os_version.h.
#include "platform/os_version.h"

#include <atomic>
#include <cerrno>

namespace {

std::atomic<DWORD> reported_major{10};
std::atomic<DWORD> reported_minor{0};

}  // namespace

bool GetVersionExW(OSVERSIONINFOEXW* info) {
  if (info == nullptr || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW)) {
    errno = EINVAL;
    return false;
  }
  *info = OSVERSIONINFOEXW{};
  info->dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
  info->dwMajorVersion = reported_major.load();
  info->dwMinorVersion = reported_minor.load();
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  return true;
}

namespace Tavrin::Platform {

void set_reported_os_version(DWORD major, DWORD minor) {
  reported_major.store(major);
  reported_minor.store(minor);
}

}  // namespace Tavrin::Platform
