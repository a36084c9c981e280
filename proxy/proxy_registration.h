// Registration of the proxy server's class as a local server:
// HKEY_CLASSES_ROOT\CLSID\{2B8434D6-...} with the class's name as default
// value, and its LocalServer32 key whose default value is the server's
// command line (the program's full path, quoted when it holds a blank).
//
// Where the machine's classes may not be written (an unprivileged user),
// the class is registered for the current user, under
// HKEY_CURRENT_USER\Software\Classes, which HKEY_CLASSES_ROOT shows as well. Unregistering removes
// the class from both places.
#ifndef QUORVANE_PROXY_PROXY_REGISTRATION_H_
#define QUORVANE_PROXY_PROXY_REGISTRATION_H_

#include <string>

#include "platform/registry.h"

namespace Tavrin::Proxy {

// The LocalServer32 command line for the program at `program_path`: the
// path, quoted so that the component system's split gives it back whole.
std::wstring proxy_server_command_line(const std::wstring& program_path);

// Writes the class's keys. Returns ERROR_SUCCESS or the registry's error.
LONG register_proxy_server(const std::wstring& program_path);

// Deletes the class's keys with everything below them. ERROR_SUCCESS also
// when the class was not registered.
LONG unregister_proxy_server();

}  // namespace Tavrin::Proxy

#endif  // QUORVANE_PROXY_PROXY_REGISTRATION_H_
