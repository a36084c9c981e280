#include "runtime/browser_command.h"

#include <cerrno>

#include <boost/system/error_code.hpp>

#include "browser/browser_table.h"
#include "common/registry.h"
#include "platform/os_version.h"

namespace Tavrin::Runtime {
namespace {

namespace Reg = Windows::Registry;

using Browsers::BrowserEntry;

const wchar_t* const kUserChoice = Browsers::kUserChoiceKey;
const wchar_t* const kHttpCommand = Browsers::kHttpCommandKey;

std::wstring read_value(HKEY root, const std::wstring& subkey, const std::wstring& name = L"") {
  return Reg::reg_query_string(Reg::reg_open_key(Reg::create_hkey_ptr(root), subkey, KEY_READ), name);
}

std::wstring command_of_class(const std::wstring& subkey) { return read_value(HKEY_CLASSES_ROOT, subkey); }

std::wstring named_command(const BrowserEntry& keys, bool vista) {
  if (vista) return command_of_class(Browsers::command_key(keys));
  try {
    return read_value(HKEY_LOCAL_MACHINE, Browsers::app_paths_key(keys));
  } catch (const boost::system::error_code& app_paths_error) {
    try {
      return command_of_class(Browsers::command_key(keys));
    } catch (...) {
      throw app_paths_error;
    }
  }
}

}  // namespace

std::wstring default_browser_command(bool vista) {
  if (!vista) return command_of_class(kHttpCommand);
  try {
    const std::wstring prog_id = read_value(HKEY_CURRENT_USER, kUserChoice, L"Progid");
    return command_of_class(Browsers::command_key(prog_id));
  } catch (const boost::system::error_code& first) {
    try {
      return command_of_class(kHttpCommand);
    } catch (...) {
      throw first;
    }
  }
}

bool vista_or_later() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(&info)) throw boost::system::error_code(errno, boost::system::system_category());
  return info.dwMajorVersion >= 6;
}

std::wstring browser_command(const std::wstring& browser, bool vista) {
  const BrowserEntry* keys = Browsers::find_browser(browser);
  return keys ? named_command(*keys, vista) : default_browser_command(vista);
}

}  // namespace Tavrin::Runtime
