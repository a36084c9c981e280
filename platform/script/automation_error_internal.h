// Failures of the automation classes as their users know them: JScript's
// run-time error numbers for file and collection errors, with a description
// that names what failed. Each sets the thread's error info and returns
// the number, for `return fail(...)` in a method.
#ifndef QUORVANE_PLATFORM_SCRIPT_AUTOMATION_ERROR_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_AUTOMATION_ERROR_INTERNAL_H_

#include <new>
#include <string>

#include "platform/com/com.h"

namespace Tavrin::Platform::Script {

constexpr HRESULT kBadFileMode = hresult_of(0x800A0036);        // 54
constexpr HRESULT kFileNotFound = hresult_of(0x800A0035);       // 53
constexpr HRESULT kFileExists = hresult_of(0x800A003A);         // 58
constexpr HRESULT kPastEndOfFile = hresult_of(0x800A003E);      // 62
constexpr HRESULT kPermissionDenied = hresult_of(0x800A0046);   // 70
constexpr HRESULT kPathNotFound = hresult_of(0x800A004C);       // 76
constexpr HRESULT kInvalidArgument = hresult_of(0x800A0005);    // 5
constexpr HRESULT kKeyExists = hresult_of(0x800A01C9);          // 457
constexpr HRESULT kElementNotFound = hresult_of(0x800A802B);    // 32811

// Sets `description` as the error of interface `iid` and returns `hr`.
HRESULT fail(HRESULT hr, REFIID iid, const std::wstring& description);

// The error of a failed file operation on `path` (an errno value): file
// not found, path not found, permission denied or the system's text.
HRESULT fail_file(int error, REFIID iid, const std::wstring& what, const std::wstring& path);

// Runs a method's body; memory running out gives E_OUTOFMEMORY and any
// other exception E_FAIL with `description`, so that none leaves the method.
template <class Body>
HRESULT guard_method(REFIID iid, Body body, const wchar_t* description = L"Internal failure") noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return fail(E_FAIL, iid, description);
  }
}

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_AUTOMATION_ERROR_INTERNAL_H_
