#include "platform/script/automation_error_internal.h"

#include <cerrno>

namespace Tavrin::Platform::Script {

HRESULT fail(HRESULT hr, REFIID iid, const std::wstring& description) {
  Com::report_error(GUID_NULL, iid, description);
  return hr;
}

HRESULT fail_file(int error, REFIID iid, const std::wstring& what, const std::wstring& path) {
  switch (error) {
    case ENOENT: return fail(kFileNotFound, iid, what + L": file not found: " + path);
    case ENOTDIR: return fail(kPathNotFound, iid, what + L": path not found: " + path);
    case EACCES:
    case EPERM: return fail(kPermissionDenied, iid, what + L": permission denied: " + path);
    case EEXIST: return fail(kFileExists, iid, what + L": file already exists: " + path);
    default: {
      const std::wstring text = Com::system_message(static_cast<unsigned long>(error));
      return fail(HRESULT_FROM_WIN32(static_cast<unsigned long>(error)), iid,
                  what + L": " + (text.empty() ? L"error " + std::to_wstring(error) : text) + L": " + path);
    }
  }
}

}  // namespace Tavrin::Platform::Script
