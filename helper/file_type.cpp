#include "helper/file_type.h"

#include "common/registry.h"
#include "helper/helper_paths.h"
#include "platform/scoped_key.h"

namespace Tavrin::Helper {
namespace {

namespace Registry = Tavrin::Windows::Registry;
using Platform::Com::RegistrationScope;

constexpr unsigned long kClassesAccess = 0x2001F;  // KEY_READ | KEY_WRITE
constexpr unsigned long kKeyAccess = 0x20006;      // KEY_WRITE

Registry::HKeyPtr open_classes(RegistrationScope scope, bool create) {
  const bool user = scope == RegistrationScope::kUser;
  const Registry::HKeyPtr hive = Registry::create_hkey_ptr(user ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
  const std::wstring path = user ? L"Software\\Classes" : L"SOFTWARE\\Classes";
  return create ? Registry::reg_create_key(hive, path, kClassesAccess)
                : Registry::reg_open_key(hive, path, kClassesAccess);
}

}  // namespace

void register_file_type(const std::wstring& open_command, RegistrationScope scope) {
  const Registry::HKeyPtr classes = open_classes(scope, true);
  Registry::reg_set_string(Registry::reg_create_key(classes, kScriptExtension, kKeyAccess), L"", kScriptProgId);
  const std::wstring command = std::wstring(kScriptProgId) + L"\\shell\\open\\command";
  Registry::reg_set_string(Registry::reg_create_key(classes, command, kKeyAccess), L"", open_command);
}

void unregister_file_type(RegistrationScope scope) {
  const Registry::HKeyPtr classes = open_classes(scope, false);
  const std::wstring prog_id = kScriptProgId;
  for (const wchar_t* sub : {L"\\shell\\open\\command", L"\\shell\\open", L"\\shell", L""})
    Registry::reg_delete_key(classes, prog_id + sub);
}

bool machine_classes_writable() {
  Platform::ScopedKey key;
  return Platform::create_key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes", kClassesAccess, &key) != ERROR_ACCESS_DENIED;
}

}  // namespace Tavrin::Helper
