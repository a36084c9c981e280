// The operating system's version, as GetVersionExW reports it on Windows.
// Code that chooses between the paths of older and newer Windows releases
// asks here. This system reports 10.0, so the paths for Windows 6.0 (Vista)
// and later run; tests put another version in place to reach the older
// paths.
//
// Safe to call from any thread.
#ifndef QUORVANE_PLATFORM_OS_VERSION_H_
#define QUORVANE_PLATFORM_OS_VERSION_H_

#include "platform/export.h"
#include "platform/registry.h"

struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;  // the caller sets sizeof(OSVERSIONINFOEXW)
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  wchar_t szCSDVersion[128];
  unsigned short wServicePackMajor;
  unsigned short wServicePackMinor;
  unsigned short wSuiteMask;
  unsigned char wProductType;
  unsigned char wReserved;
};

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

// Fills *info. False, with errno EINVAL, when `info` is null or its size
// field does not say sizeof(OSVERSIONINFOEXW).
QUORVANE_PLATFORM_EXPORT bool GetVersionExW(OSVERSIONINFOEXW* info);

namespace Tavrin::Platform {

// Makes GetVersionExW report `major`.`minor` from now on, for the whole
// process; the default is 10.0. For tests.
QUORVANE_PLATFORM_EXPORT void set_reported_os_version(DWORD major, DWORD minor);

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_OS_VERSION_H_
