// Operating-system errors as exceptions: the one place where an errno value
// becomes the boost::system::system_error that the platform layer throws.
// Every failure of a system call is reported this way, so callers catch one
// type and read the errno value from code().value() in
// boost::system::system_category().
#ifndef QUORVANE_PLATFORM_OS_ERROR_H_
#define QUORVANE_PLATFORM_OS_ERROR_H_

#include <string>

#include <boost/system/system_error.hpp>

#include "platform/export.h"
#include "platform/win32/types.h"

namespace Tavrin::Platform {

// The exception for system error `error` (an errno value) met while doing
// `context` ("open /path", "fork", ...). Its what() is "context: message".
// Thrown by the caller: `throw posix_error("open " + path, errno);`.
QUORVANE_PLATFORM_EXPORT boost::system::system_error posix_error(const std::string& context, int error);

// The HRESULT that reports `error` across a component boundary:
// HRESULT_FROM_WIN32 of its system error number (Win32 error codes are
// errno values here, so ENOENT gives 0x80070002), E_FAIL for an error of
// another category or none.
QUORVANE_PLATFORM_EXPORT HRESULT hresult_from(const boost::system::system_error& error);

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_OS_ERROR_H_
