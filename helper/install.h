// Install and uninstall mode of QuorvaneHelper.
//
// Install, in order: the registration tool on the runtime server
// ("regsvr32 /s <server>"), on the automation library AutoItX3.dll when that
// outside component lies in D, the proxy server with /RegServer; then the
// ".jsk" file type in the registry (file_type.h), then the browsers found on
// the machine (browser/browser_registration.h), then the desktop's MIME
// type and desktop entry (desktop_entry.h). Each child is waited for (at
// most a minute); the first failure ends the run. Uninstall is the mirror
// ("/u /s", /UnregServer, the file type's and the browsers' keys deleted),
// and it removes the desktop integration even when a registry step failed.
//
// Where this process may not write the machine's classes (an unprivileged
// user), everything is registered for the user instead: the runtime server
// with "/s /n /i:user", the file type under HKEY_CURRENT_USER\Software\Classes
// (the proxy server falls back by itself).
//
// Results as helper_exit_codes.h says. Throws nothing.
#ifndef QUORVANE_HELPER_INSTALL_H_
#define QUORVANE_HELPER_INSTALL_H_

#include <string>
#include <vector>

#include "helper/helper_paths.h"
#include "platform/com/registrar.h"

namespace Tavrin::Helper {

// The registration children's command lines, in order.
std::vector<std::wstring> registration_command_lines(const HelperPaths& paths, bool install,
                                                     Platform::Com::RegistrationScope scope);

int run_install(const HelperPaths& paths);
int run_uninstall(const HelperPaths& paths);

}  // namespace Tavrin::Helper

#endif  // QUORVANE_HELPER_INSTALL_H_
