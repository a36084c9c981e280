// Test helpers that register classes the way an installer would, in the
// current user's classes (HKEY_CURRENT_USER\Software\Classes), which test
// programs point into their private temporary folder. Each throws
// std::runtime_error when the registry refuses a write.
#ifndef QUORVANE_PLATFORM_COM_TESTING_CLASS_REGISTRATION_H_
#define QUORVANE_PLATFORM_COM_TESTING_CLASS_REGISTRATION_H_

#include <string>

#include "platform/com/guid.h"

namespace Tavrin::Platform::Com::Testing {

// Sets value `name` (empty: the default value) of
// HKCU\Software\Classes\<path> to the string `value`, creating the key.
void set_class_value(const std::wstring& path, const std::wstring& name, const std::wstring& value);

// CLSID\{id}\InprocServer32 = `module_path`.
void register_inproc_server(const CLSID& clsid, const std::string& module_path);
// CLSID\{id}\LocalServer32 = `command_line`.
void register_local_server(const CLSID& clsid, const std::wstring& command_line);
// <progid>\CLSID = {id}, and CLSID\{id}\ProgID = <progid>.
void register_progid(const std::wstring& progid, const CLSID& clsid);
// <progid>\CurVer = `current`.
void register_current_version(const std::wstring& progid, const std::wstring& current);

}  // namespace Tavrin::Platform::Com::Testing

#endif  // QUORVANE_PLATFORM_COM_TESTING_CLASS_REGISTRATION_H_
