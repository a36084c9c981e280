// The ".jsk" file type in the registry: the extension names the program id
// "TavrinTechnologies.Quorvane", whose shell\open\command starts the runner
// on the file. Machine-wide under HKEY_LOCAL_MACHINE\SOFTWARE\Classes, or
// per user under HKEY_CURRENT_USER\Software\Classes.
//
// Failures throw boost::system::error_code (system category), as the
// common library's registry functions do.
#ifndef QUORVANE_HELPER_FILE_TYPE_H_
#define QUORVANE_HELPER_FILE_TYPE_H_

#include <string>

#include "platform/com/registrar.h"

namespace Tavrin::Helper {

// Writes the ".jsk" key and the program id's open command.
void register_file_type(const std::wstring& open_command, Platform::Com::RegistrationScope scope);

// Deletes "TavrinTechnologies.Quorvane\shell\open\command", "...\shell\open",
// "...\shell" and "TavrinTechnologies.Quorvane", in this order; the ".jsk"
// key stays. A key that is already missing fails (ERROR_FILE_NOT_FOUND).
void unregister_file_type(Platform::Com::RegistrationScope scope);

// Whether the machine's classes may be written by this process; when not
// (an unprivileged user), the helper registers for the user instead.
bool machine_classes_writable();

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_FILE_TYPE_H_
