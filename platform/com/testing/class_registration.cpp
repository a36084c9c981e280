#include "platform/com/testing/class_registration.h"

#include <stdexcept>

#include "platform/scoped_key.h"
#include "platform/text.h"

namespace Tavrin::Platform::Com::Testing {

void set_class_value(const std::wstring& path, const std::wstring& name, const std::wstring& value) {
  const std::wstring full = L"Software\\Classes\\" + path;
  if (write_key_string(HKEY_CURRENT_USER, full, name, value) != ERROR_SUCCESS)
    throw std::runtime_error("cannot write the value of " + to_utf8(full));
}

void register_inproc_server(const CLSID& clsid, const std::string& module_path) {
  set_class_value(L"CLSID\\" + guid_to_string(clsid) + L"\\InprocServer32", L"", from_utf8(module_path));
}

void register_local_server(const CLSID& clsid, const std::wstring& command_line) {
  set_class_value(L"CLSID\\" + guid_to_string(clsid) + L"\\LocalServer32", L"", command_line);
}

void register_progid(const std::wstring& progid, const CLSID& clsid) {
  set_class_value(progid + L"\\CLSID", L"", guid_to_string(clsid));
  set_class_value(L"CLSID\\" + guid_to_string(clsid) + L"\\ProgID", L"", progid);
}

void register_current_version(const std::wstring& progid, const std::wstring& current) {
  set_class_value(progid + L"\\CurVer", L"", current);
}

}  // namespace Tavrin::Platform::Com::Testing
