// The operating system's version: the stand-in for GetVersionExW. This
// system reports Windows 10.0, so every "Vista or later" path runs; the
// older paths stay reachable for tests through set_os_version.
//
// Thread safety: os_version may be called from any thread; set_os_version
// is for tests and must not race with callers.
#ifndef QUORVANE_PLATFORM_OS_VERSION_H_
#define QUORVANE_PLATFORM_OS_VERSION_H_

#include <optional>

#include "platform/export.h"

namespace Tavrin::Platform {

struct OsVersion {
  unsigned long major = 0;
  unsigned long minor = 0;
  unsigned long build = 0;
};

// The version reported (10.0.0 unless a test set another). Throws
// boost::system::error_code in the system category when the version cannot
// be read (never, on this platform).
QUORVANE_PLATFORM_EXPORT OsVersion os_version();

// Makes os_version report `version`; std::nullopt restores the real one.
QUORVANE_PLATFORM_EXPORT void set_os_version(std::optional<OsVersion> version);

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_OS_VERSION_H_
