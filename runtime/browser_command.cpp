#include "runtime/browser_command.h"

#include <cerrno>

#include <boost/system/error_code.hpp>

#include "common/registry.h"
#include "platform/os_version.h"

namespace Tavrin::Runtime {
namespace {

namespace Reg = Windows::Registry;

struct BrowserKeys {
  const wchar_t* app_paths;
  const wchar_t* command;
};

const wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const wchar_t kUserChoice[] = L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";
const wchar_t kHttpCommand[] = L"http\\shell\\open\\command";

// The table row of `browser`; null for the default browser.
const BrowserKeys* keys_of(const std::wstring& browser) {
  static const BrowserKeys ie{L"IEXPLORE.EXE", L"IE.HTTP\\shell\\open\\command"};
  static const BrowserKeys firefox{L"FIREFOX.EXE", L"FirefoxHTML\\shell\\open\\command"};
  static const BrowserKeys safari{L"SAFARI.EXE", L"SafariHTML\\shell\\open\\command"};
  static const BrowserKeys chrome{L"CHROME.EXE", L"ChromeHTML\\shell\\open\\command"};
  static const BrowserKeys opera{L"OPERA.EXE", L"Opera.HTML\\shell\\open\\command"};
  if (browser == L"ie" || browser == L"explorer") return &ie;
  if (browser == L"firefox") return &firefox;
  if (browser == L"safari") return &safari;
  if (browser == L"chrome") return &chrome;
  if (browser == L"opera") return &opera;
  return nullptr;
}

std::wstring read_value(HKEY root, const std::wstring& subkey, const std::wstring& name = L"") {
  return Reg::reg_query_string(Reg::reg_open_key(Reg::create_hkey_ptr(root), subkey, KEY_READ), name);
}

std::wstring command_of_class(const std::wstring& subkey) { return read_value(HKEY_CLASSES_ROOT, subkey); }

std::wstring named_command(const BrowserKeys& keys, bool vista) {
  if (vista) return command_of_class(keys.command);
  try {
    return read_value(HKEY_LOCAL_MACHINE, std::wstring(kAppPaths) + keys.app_paths);
  } catch (const boost::system::error_code& app_paths_error) {
    try {
      return command_of_class(keys.command);
    } catch (...) {
      throw app_paths_error;
    }
  }
}

std::wstring default_command(bool vista) {
  if (!vista) return command_of_class(kHttpCommand);
  try {
    const std::wstring prog_id = read_value(HKEY_CURRENT_USER, kUserChoice, L"Progid");
    return command_of_class(prog_id + L"\\shell\\open\\command");
  } catch (const boost::system::error_code& first) {
    try {
      return command_of_class(kHttpCommand);
    } catch (...) {
      throw first;
    }
  }
}

}  // namespace

bool vista_or_later() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExW(&info)) throw boost::system::error_code(errno, boost::system::system_category());
  return info.dwMajorVersion >= 6;
}

std::wstring browser_command(const std::wstring& browser, bool vista) {
  const BrowserKeys* keys = keys_of(browser);
  return keys ? named_command(*keys, vista) : default_command(vista);
}

}  // namespace Tavrin::Runtime
