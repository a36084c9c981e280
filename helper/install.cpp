#include "helper/install.h"

#include <exception>

#include <boost/system/error_code.hpp>
#include <boost/system/system_error.hpp>

#include "browser/browser_registration.h"
#include "helper/desktop_entry.h"
#include "helper/file_type.h"
#include "helper/helper_exit_codes.h"
#include "helper/registration_child.h"
#include "platform/process.h"

namespace Tavrin::Helper {
namespace {

using Platform::Com::RegistrationScope;

std::wstring quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// Runs the children in order: 0, 1 for a child that failed, or the errno
// of one that could not be started.
int run_children(const std::vector<std::wstring>& command_lines) {
  for (const std::wstring& command_line : command_lines) {
    try {
      if (!run_registration_child(command_line)) return kExitRegistrationFailed;
    } catch (const boost::system::system_error& error) {
      return error.code().value();
    }
  }
  return kExitSuccess;
}

bool update_file_type(const HelperPaths& paths, bool install, RegistrationScope scope) {
  try {
    if (install) {
      register_file_type(paths.open_command(), scope);
    } else {
      unregister_file_type(scope);
    }
    return true;
  } catch (...) {
    return false;
  }
}

// The browsers of this machine, started through the launcher in D.
bool update_browsers(const HelperPaths& paths, bool install, RegistrationScope scope) {
  const auto key_scope = scope == RegistrationScope::kUser ? Browser::KeyScope::kUser : Browser::KeyScope::kMachine;
  try {
    if (install) {
      Browser::register_browsers(paths.dir, key_scope);
    } else {
      Browser::unregister_browsers(key_scope);
    }
    return true;
  } catch (...) {
    return false;
  }
}

RegistrationScope scope_for_this_user() {
  try {
    return machine_classes_writable() ? RegistrationScope::kMachine : RegistrationScope::kUser;
  } catch (...) {
    return RegistrationScope::kMachine;
  }
}

}  // namespace

std::vector<std::wstring> registration_command_lines(const HelperPaths& paths, bool install,
                                                     RegistrationScope scope) {
  const std::wstring tool = Platform::Process::quote_argument(registration_tool(paths)) + (install ? L"" : L" /u");
  const std::wstring per_user = scope == RegistrationScope::kUser ? L" /n /i:user" : L"";
  std::vector<std::wstring> lines;
  lines.push_back(tool + L" /s" + per_user + L" " + quoted(paths.runtime_server()));
  if (file_exists(paths.automation_library())) lines.push_back(tool + L" /s " + quoted(paths.automation_library()));
  lines.push_back(quoted(paths.proxy_server()) + (install ? L" /RegServer" : L" /UnregServer"));
  return lines;
}

int run_install(const HelperPaths& paths) {
  try {
    const RegistrationScope scope = scope_for_this_user();
    const int children = run_children(registration_command_lines(paths, true, scope));
    if (children != kExitSuccess) return children;
    if (!update_file_type(paths, true, scope)) return kExitRegistrationFailed;
    if (!update_browsers(paths, true, scope)) return kExitRegistrationFailed;
    if (!update_desktop_integration(true, paths.runner())) return kExitRegistrationFailed;
    return kExitSuccess;
  } catch (...) {
    return kExitRegistrationFailed;
  }
}

int run_uninstall(const HelperPaths& paths) {
  try {
    const RegistrationScope scope = scope_for_this_user();
    const int children = run_children(registration_command_lines(paths, false, scope));
    if (children != kExitSuccess) return children;
    const bool keys = update_file_type(paths, false, scope);
    const bool browsers = update_browsers(paths, false, scope);
    const bool desktop = update_desktop_integration(false, paths.runner());
    return keys && browsers && desktop ? kExitSuccess : kExitRegistrationFailed;
  } catch (...) {
    return kExitRegistrationFailed;
  }
}

}  // namespace Tavrin::Helper
