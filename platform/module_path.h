// The running process's own locations: the full path of its executable file
// and its current directory. On Windows these are GetModuleFileNameW(NULL)
// and GetCurrentDirectoryW; here /proc/self/exe and getcwd.
//
// Failures throw boost::system::system_error carrying the errno value in
// boost::system::system_category(). Both functions may be called from any
// thread.
#ifndef QUORVANE_PLATFORM_MODULE_PATH_H_
#define QUORVANE_PLATFORM_MODULE_PATH_H_

#include <string>

#include "platform/export.h"

namespace Tavrin::Platform {

// Full path of the executable file of the running process (not of the
// library that calls), whatever its length.
QUORVANE_PLATFORM_EXPORT std::wstring executable_path();

// Full path of the module (executable or shared library) that holds
// `address`, a function or object of that module: GetModuleFileNameW of
// the module's own handle. Throws ENOENT when no module holds it.
QUORVANE_PLATFORM_EXPORT std::wstring module_file_path(const void* address);

// The process's current directory, whatever its length.
QUORVANE_PLATFORM_EXPORT std::wstring current_directory();

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_MODULE_PATH_H_
