// The version of a program file: the stand-in for GetFileVersionInfoW and
// VerQueryValueW on the root block (VS_FIXEDFILEINFO).
//
// A Windows executable (a file that starts with "MZ") is read as on Windows:
// the fixed file version of its version resource. Any other program is asked:
// it is run with the single argument "--version" (through the process layer,
// standard input /dev/null, output captured) and the first dotted number that
// it prints (two to four decimal parts, "Opera 12.16" gives 12.16.0.0) is the
// version. The program gets at most the given time; one that runs longer is
// ended (SIGKILL) and counts as having no version.
//
// Failures are thrown as boost::system::error_code in the system category, by
// value, as the registry functions do: ENOENT when the file does not exist,
// ENODATA when it carries no version (no resource, nothing dotted printed,
// the time ran out or the program could not be started).
//
// Thread safety: may be called from any thread.
#ifndef QUORVANE_PLATFORM_FILE_VERSION_H_
#define QUORVANE_PLATFORM_FILE_VERSION_H_

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace Tavrin::Platform {

// The four words of a file version: the high and low word of the most
// significant double word, then of the least significant one.
struct FileVersion {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;
  unsigned revision = 0;
};

QUORVANE_PLATFORM_EXPORT FileVersion file_version(
    const std::wstring& path, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

// The fixed file version inside the bytes of a Windows executable; nullopt
// when they hold no version resource.
QUORVANE_PLATFORM_EXPORT std::optional<FileVersion> version_from_resource(std::string_view bytes);

// The first dotted number in `text` (two to four decimal parts, missing
// parts 0); nullopt when there is none.
QUORVANE_PLATFORM_EXPORT std::optional<FileVersion> version_from_text(std::string_view text);

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_FILE_VERSION_H_
