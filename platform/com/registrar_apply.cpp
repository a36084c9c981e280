// Writing and removing the keys of a parsed registry script, and the
// registrar's entry point.
#include <exception>

#include "platform/com/registrar_script.h"
#include "platform/scoped_key.h"

namespace Tavrin::Platform::Com {
namespace Registrar {
namespace {

using Platform::ScopedKey;

constexpr REGSAM kAccess = KEY_ALL_ACCESS;

LONG ignore_missing(LONG code) { return code == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : code; }

LONG set_value(HKEY key, const std::wstring& name, const ScriptValue& value) {
  return RegSetValueExW(key, name.c_str(), 0, value.type, reinterpret_cast<const BYTE*>(value.bytes.data()),
                        static_cast<DWORD>(value.bytes.size()));
}

bool has_subkeys(HKEY key) {
  wchar_t name[1];
  DWORD size = 1;
  const LONG code = RegEnumKeyExW(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
  return code != ERROR_NO_MORE_ITEMS;
}

LONG write_key(HKEY parent, const ScriptKey& key) {
  if (key.flag == KeyFlag::kDelete) return ignore_missing(RegDeleteTreeW(parent, key.name.c_str()));
  if (key.flag == KeyFlag::kForceRemove) {
    const LONG code = ignore_missing(RegDeleteTreeW(parent, key.name.c_str()));
    if (code != ERROR_SUCCESS) return code;
  }
  ScopedKey opened;
  LONG code = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr,
                              opened.out(), nullptr);
  if (code == ERROR_SUCCESS && key.default_value) code = set_value(opened.get(), L"", *key.default_value);
  for (const NamedValue& value : key.values) {
    if (code != ERROR_SUCCESS) break;
    code = set_value(opened.get(), value.name, value.value);
  }
  for (const ScriptKey& subkey : key.subkeys) {
    if (code != ERROR_SUCCESS) break;
    code = write_key(opened.get(), subkey);
  }
  return code;
}

LONG remove_key(HKEY parent, const ScriptKey& key) {
  if (key.flag == KeyFlag::kForceRemove || key.flag == KeyFlag::kDelete)
    return ignore_missing(RegDeleteTreeW(parent, key.name.c_str()));
  ScopedKey opened;
  LONG code = RegOpenKeyExW(parent, key.name.c_str(), 0, kAccess, opened.out());
  if (code != ERROR_SUCCESS) return ignore_missing(code);
  for (const ScriptKey& subkey : key.subkeys) {
    code = remove_key(opened.get(), subkey);
    if (code != ERROR_SUCCESS) return code;
  }
  for (const NamedValue& value : key.values) {
    code = ignore_missing(RegDeleteValueW(opened.get(), value.name.c_str()));
    if (code != ERROR_SUCCESS) return code;
  }
  if (key.flag == KeyFlag::kNoRemove || has_subkeys(opened.get())) return ERROR_SUCCESS;
  return ignore_missing(RegDeleteKeyW(parent, key.name.c_str()));
}

// The key that a root block addresses. For removal a missing classes key
// leaves `root` null: there is nothing to remove.
LONG open_root(ScriptRoot root, bool do_register, RegistrationScope scope, ScopedKey* out) {
  if (root == ScriptRoot::kCurrentUser) {
    out->reset(HKEY_CURRENT_USER);
    return ERROR_SUCCESS;
  }
  if (root == ScriptRoot::kLocalMachine) {
    out->reset(HKEY_LOCAL_MACHINE);
    return ERROR_SUCCESS;
  }
  const HKEY hive = scope == RegistrationScope::kUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const LONG code = do_register ? create_key(hive, L"Software\\Classes", kAccess, out)
                                : open_key(hive, L"Software\\Classes", kAccess, out);
  return do_register ? code : ignore_missing(code);
}

}  // namespace

LONG apply_script(const Script& script, bool do_register, RegistrationScope scope) {
  for (const RootBlock& block : script.blocks) {
    ScopedKey root;
    LONG code = open_root(block.root, do_register, scope, &root);
    if (code != ERROR_SUCCESS) return code;
    if (!root.get()) continue;
    for (const ScriptKey& key : block.keys) {
      code = do_register ? write_key(root.get(), key) : remove_key(root.get(), key);
      if (code != ERROR_SUCCESS) return code;
    }
  }
  return ERROR_SUCCESS;
}

}  // namespace Registrar

HRESULT registrar_run(const std::wstring& script, const RegistrarReplacements& replacements, bool do_register,
                      RegistrationScope scope) {
  try {
    const Registrar::Script parsed = Registrar::parse_script(script, replacements);
    const LONG code = Registrar::apply_script(parsed, do_register, scope);
    return code == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<unsigned long>(code));
  } catch (const Registrar::SyntaxError&) {
    return REGISTRAR_E_SYNTAX;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

std::wstring registrar_quote(const std::wstring& text) {
  std::wstring out = L"'";
  for (const wchar_t c : text) {
    if (c == L'\'') out += L'\'';
    if (c == L'%') out += L'%';
    out += c;
  }
  return out + L"'";
}

}  // namespace Tavrin::Platform::Com
