// Registration of the component server QuorvaneRuntime: the module's and
// the class's registry scripts (kept in the module, as resources are on
// Windows), and the steps behind DllRegisterServer, DllUnregisterServer
// and DllInstall.
//
// Registering runs the module script (it writes nothing), then the class
// script of CVelmoraScript with %MODULE% = the server's full path, then
// registers the type library VelmoraRuntimeLib; unregistering runs the
// class script in removal mode, unregisters the type library and runs the
// module script in removal mode. Each stops at the first failure and
// returns it unchanged. The calling thread's locale is the system default
// for the whole run and is put back on every path. Nothing throws.
#ifndef QUORVANE_RUNTIME_REGISTRATION_H_
#define QUORVANE_RUNTIME_REGISTRATION_H_

#include <string>

#include "platform/com/hresult.h"
#include "platform/com/registrar.h"

namespace Tavrin::Runtime {

// The application id of the module script's "APPID" replacement.
constexpr wchar_t kRuntimeAppId[] = L"{9C66F718-8504-4BA3-9D80-0A1A6C9AD8B3}";

// The registry scripts: REGISTRY 101 (module) and 106 (CVelmoraScript).
const std::wstring& module_registry_script();
const std::wstring& class_registry_script();

HRESULT register_server(const std::wstring& module_path, Platform::Com::RegistrationScope scope);
HRESULT unregister_server(Platform::Com::RegistrationScope scope);

// DllInstall's command-line rule: per-user registration when the text is
// "user" in any case, whole; anything else (null too) leaves the scope.
bool asks_for_user_scope(const wchar_t* command_line);

// DllInstall: registers (undoing it again when registering fails, and
// returning the registration's failure) or unregisters.
HRESULT install_server(bool install, const std::wstring& module_path, Platform::Com::RegistrationScope scope);

}  // namespace Tavrin::Runtime

#endif  // QUORVANE_RUNTIME_REGISTRATION_H_
