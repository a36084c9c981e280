// Writing and removing the browsers' registry keys.
#include <optional>

#include <boost/system/error_code.hpp>

#include "browser/browser_registration.h"
#include "browser/browser_table.h"
#include "common/registry.h"
#include "platform/process.h"
#include "platform/text.h"

namespace Tavrin::Browser {
namespace {

namespace Reg = Windows::Registry;

const wchar_t* const kAppPaths = Browsers::kAppPathsKey;
const wchar_t* const kUserChoice = Browsers::kUserChoiceKey;
const wchar_t kHttp[] = L"http";

// The browsers that registration writes keys for: those it may find here.
std::vector<const Browsers::BrowserEntry*> registered() {
  std::vector<const Browsers::BrowserEntry*> list;
  for (const Browsers::BrowserEntry* entry : Browsers::all_browsers())
    if (entry->executables.size() != 0) list.push_back(entry);
  return list;
}

// A path in double quotes, as installers write them.
std::wstring quoted(const std::wstring& path) {
  if (path.find(L'"') != std::wstring::npos) return Platform::Process::quote_argument(path);
  return L"\"" + path + L"\"";
}

// Where a scope's keys go: the classes and App Paths of the machine, or of
// the current user.
struct Place {
  HKEY root;
  std::wstring classes;    // prefix of class keys
  std::wstring app_paths;  // prefix of App Paths keys
};

Place place_of(KeyScope scope) {
  const HKEY root = scope == KeyScope::kMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  return Place{root, L"Software\\Classes\\", kAppPaths};
}

bool is_missing(const boost::system::error_code& error) { return error.value() == ERROR_FILE_NOT_FOUND; }

void set_default_value(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::wstring& value) {
  Reg::reg_set_string(Reg::reg_create_key(Reg::create_hkey_ptr(root), subkey, KEY_READ | KEY_WRITE), name, value);
}

std::optional<std::wstring> read_value(HKEY root, const std::wstring& subkey, const std::wstring& name = L"") {
  try {
    return Reg::reg_query_string(Reg::reg_open_key(Reg::create_hkey_ptr(root), subkey, KEY_READ), name);
  } catch (const boost::system::error_code& error) {
    if (is_missing(error)) return std::nullopt;
    throw;
  } catch (const Reg::RegistryTypeError&) {
    return std::nullopt;
  }
}

// Deletes `path` and then its parents, as long as they have no other
// subkeys, keeping the top `keep_levels` levels. Missing keys are no error.
void delete_key_chain(HKEY root, const std::wstring& path, std::size_t keep_levels) {
  std::wstring key = path;
  for (;;) {
    std::size_t levels = 1;
    for (wchar_t c : key) levels += c == L'\\';
    if (levels <= keep_levels) return;
    try {
      Reg::reg_delete_key(Reg::create_hkey_ptr(root), key);
    } catch (const boost::system::error_code& error) {
      if (error.value() == ERROR_KEY_HAS_CHILDREN) return;
      if (!is_missing(error)) throw;
    }
    const std::size_t cut = key.rfind(L'\\');
    if (cut == std::wstring::npos) return;
    key.resize(cut);
  }
}

}  // namespace

std::wstring browser_command_line(const FoundBrowser& browser, const std::wstring& bin_dir, bool with_url) {
  const std::wstring program = quoted(Platform::from_utf8(browser.program));
  const Browsers::BrowserEntry* entry = Browsers::find_kind(browser.kind);
  std::wstring command;
  if (!entry || !entry->launch) {
    command = with_url ? program : Platform::from_utf8(browser.program);
  } else {
    command = quoted(bin_dir + L"/QuorvaneBrowser") + L" " + Platform::from_utf8(browser.kind) + L" " + program;
  }
  if (with_url) command += L" \"%1\"";
  return command;
}

void write_browser_keys(const std::vector<FoundBrowser>& found, const std::string& default_kind,
                        const std::wstring& bin_dir, KeyScope scope) {
  unregister_browsers(scope);
  const Place place = place_of(scope);
  for (const FoundBrowser& browser : found) {
    const Browsers::BrowserEntry* keys = Browsers::find_kind(browser.kind);
    if (!keys || keys->executables.size() == 0) continue;
    set_default_value(place.root, place.app_paths + keys->app_paths, L"", browser_command_line(browser, bin_dir, false));
    set_default_value(place.root, place.classes + Browsers::command_key(*keys), L"",
                      browser_command_line(browser, bin_dir, true));
    if (browser.kind == default_kind) {
      set_default_value(place.root, place.classes + Browsers::command_key(kHttp), L"",
                        browser_command_line(browser, bin_dir, true));
      set_default_value(HKEY_CURRENT_USER, kUserChoice, L"Progid", keys->prog_id);
    }
  }
}

std::vector<FoundBrowser> register_browsers(const std::wstring& bin_dir, KeyScope scope) {
  const std::vector<FoundBrowser> found = find_browsers(machine_search());
  write_browser_keys(found, default_browser_kind(found, desktop_default_browser()), bin_dir, scope);
  return found;
}

void unregister_browsers(KeyScope scope) {
  const Place place = place_of(scope);
  // The http command and the user's choice go only when they are ours.
  const std::optional<std::wstring> http = read_value(place.root, place.classes + Browsers::command_key(kHttp));
  const std::optional<std::wstring> choice = read_value(HKEY_CURRENT_USER, kUserChoice, L"Progid");
  bool http_is_ours = false;
  bool choice_is_ours = false;
  for (const Browsers::BrowserEntry* keys : registered()) {
    const std::optional<std::wstring> command = read_value(place.root, place.classes + Browsers::command_key(*keys));
    http_is_ours = http_is_ours || (http && command && *http == *command);
    choice_is_ours = choice_is_ours || (choice && command && *choice == keys->prog_id);
  }
  if (http_is_ours) delete_key_chain(place.root, place.classes + Browsers::command_key(kHttp), 2);
  if (choice_is_ours) delete_key_chain(HKEY_CURRENT_USER, kUserChoice, 6);
  for (const Browsers::BrowserEntry* keys : registered()) {
    delete_key_chain(place.root, place.classes + Browsers::command_key(*keys), 2);
    delete_key_chain(place.root, place.app_paths + keys->app_paths, 5);
  }
}

}  // namespace Tavrin::Browser
