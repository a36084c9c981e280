#include "runtime/registration.h"

#include <cwctype>
#include <exception>

#include "platform/com/typelib_registration.h"
#include "platform/thread_locale.h"
#include "runtime/velmora_script_type.h"

namespace Tavrin::Runtime {
namespace {

using Platform::Com::RegistrationScope;

// REGISTRY 101: the module's own script; an empty block.
constexpr wchar_t kModuleScript[] = L"HKCR\n{\n}\n";

// REGISTRY 106: the class CVelmoraScript and its program ids.
constexpr wchar_t kClassScript[] = LR"(HKCR
{
  Velmora.Script.1 = s 'VelmoraScript Class'
  {
    CLSID = s '{8535EA83-1BF0-4C02-8C7B-E0A62EA7D334}'
  }
  Velmora.Script = s 'VelmoraScript Class'
  {
    CurVer = s 'Velmora.Script.1'
  }
  NoRemove CLSID
  {
    ForceRemove {8535EA83-1BF0-4C02-8C7B-E0A62EA7D334} = s 'VelmoraScript Class'
    {
      ProgID = s 'Velmora.Script.1'
      VersionIndependentProgID = s 'Velmora.Script'
      ForceRemove Programmable
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Both'
      }
      TypeLib = s '{81C82C37-EDC3-4C64-A63D-D569167D27F8}'
      Version = s '1.0'
    }
  }
}
)";

Platform::Com::RegistrarReplacements module_replacements() { return {{L"APPID", kRuntimeAppId}}; }

HRESULT register_steps(const std::wstring& module_path, RegistrationScope scope) {
  using namespace Platform::Com;
  HRESULT hr = registrar_run(module_registry_script(), module_replacements(), true, scope);
  if (FAILED(hr)) return hr;
  hr = registrar_run(class_registry_script(), {{L"MODULE", module_path}}, true, scope);
  if (FAILED(hr)) return hr;
  const TypeLibraryDescription& library = velmora_runtime_library();
  return register_type_library(library, module_path, type_library_help_dir(library), scope);
}

HRESULT unregister_steps(RegistrationScope scope) {
  using namespace Platform::Com;
  HRESULT hr = registrar_run(class_registry_script(), {{L"MODULE", L""}}, false, scope);
  if (FAILED(hr)) return hr;
  hr = unregister_type_library(velmora_runtime_library(), scope);
  if (FAILED(hr)) return hr;
  return registrar_run(module_registry_script(), module_replacements(), false, scope);
}

}  // namespace

const std::wstring& module_registry_script() {
  static const std::wstring script = kModuleScript;
  return script;
}

const std::wstring& class_registry_script() {
  static const std::wstring script = kClassScript;
  return script;
}

HRESULT register_server(const std::wstring& module_path, RegistrationScope scope) {
  try {
    Platform::ScopedSystemLocale locale;
    return register_steps(module_path, scope);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT unregister_server(RegistrationScope scope) {
  try {
    Platform::ScopedSystemLocale locale;
    return unregister_steps(scope);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

bool asks_for_user_scope(const wchar_t* command_line) {
  if (!command_line) return false;
  constexpr wchar_t kUser[] = L"user";
  std::size_t i = 0;
  for (; command_line[i] && kUser[i]; ++i)
    if (std::towlower(command_line[i]) != static_cast<wint_t>(kUser[i])) return false;
  return !command_line[i] && !kUser[i];
}

HRESULT install_server(bool install, const std::wstring& module_path, RegistrationScope scope) {
  if (!install) return unregister_server(scope);
  const HRESULT hr = register_server(module_path, scope);
  if (FAILED(hr)) unregister_server(scope);
  return hr;
}

}  // namespace Tavrin::Runtime
