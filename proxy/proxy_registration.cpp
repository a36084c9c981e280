#include "proxy/proxy_registration.h"

#include "platform/com/guid.h"
#include "platform/process.h"
#include "platform/scoped_key.h"
#include "proxy/velmora_proxy.h"

namespace Tavrin::Proxy {
namespace {

constexpr wchar_t kClassName[] = L"Velmora Proxy";
// The program id by which scripts create the object.
constexpr wchar_t kProgId[] = L"Quorvane.Proxy";

std::wstring class_key() { return L"CLSID\\" + Platform::Com::guid_to_string(CLSID_VelmoraProxy); }

LONG write_class(HKEY classes_root, const std::wstring& command_line) {
  LONG result = Platform::write_key_string(classes_root, class_key(), L"", kClassName);
  if (result == ERROR_SUCCESS)
    result = Platform::write_key_string(classes_root, class_key() + L"\\LocalServer32", L"", command_line);
  if (result == ERROR_SUCCESS) result = Platform::write_key_string(classes_root, class_key() + L"\\ProgID", L"", kProgId);
  if (result == ERROR_SUCCESS) result = Platform::write_key_string(classes_root, std::wstring(kProgId), L"", kClassName);
  if (result == ERROR_SUCCESS)
    result = Platform::write_key_string(classes_root, std::wstring(kProgId) + L"\\CLSID", L"",
                                        Platform::Com::guid_to_string(CLSID_VelmoraProxy));
  return result;
}

bool key_exists(HKEY hive, const std::wstring& path) {
  Platform::ScopedKey key;
  return Platform::open_key(hive, path, KEY_READ, &key) != ERROR_FILE_NOT_FOUND;
}

// A hive that may not be written (the machine's, for an unprivileged user)
// holds nothing to delete when the class is not in it.
LONG delete_key(HKEY hive, const std::wstring& path);

LONG delete_class(HKEY hive) {
  const LONG progid = delete_key(hive, L"Software\\Classes\\" + std::wstring(kProgId));
  const LONG result = delete_key(hive, L"Software\\Classes\\" + class_key());
  return result != ERROR_SUCCESS ? result : progid;
}

LONG delete_key(HKEY hive, const std::wstring& path) {
  const LONG result = RegDeleteTreeW(hive, path.c_str());
  if (result == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (result == ERROR_ACCESS_DENIED && !key_exists(hive, path)) return ERROR_SUCCESS;
  return result;
}

}  // namespace

std::wstring proxy_server_command_line(const std::wstring& program_path) {
  return Platform::Process::quote_argument(program_path);
}

LONG register_proxy_server(const std::wstring& program_path) {
  const std::wstring command_line = proxy_server_command_line(program_path);
  const LONG result = write_class(HKEY_CLASSES_ROOT, command_line);
  if (result != ERROR_ACCESS_DENIED) return result;
  Platform::ScopedKey user_classes;
  const LONG opened = Platform::create_key(HKEY_CURRENT_USER, L"Software\\Classes", KEY_WRITE, &user_classes);
  if (opened != ERROR_SUCCESS) return opened;
  return write_class(user_classes.get(), command_line);
}

LONG unregister_proxy_server() {
  const LONG user = delete_class(HKEY_CURRENT_USER);
  const LONG machine = delete_class(HKEY_LOCAL_MACHINE);
  return machine != ERROR_SUCCESS ? machine : user;
}

}  // namespace Tavrin::Proxy
