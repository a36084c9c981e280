#include "platform/com/typelib_registration.h"

#include <cwchar>
#include <exception>

namespace Tavrin::Platform::Com {
namespace {

std::wstring version_of(const TypeLibraryDescription& library) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%x.%x", library.major_version, library.minor_version);
  return text;
}

}  // namespace

std::wstring type_library_help_dir(const TypeLibraryDescription& library) {
  if (!library.help_file || !*library.help_file) return {};
  const std::wstring file = library.help_file;
  std::size_t cut = file.rfind(L'\\');
  if (cut == std::wstring::npos) cut = file.rfind(L'/');
  return cut == std::wstring::npos ? std::wstring() : file.substr(0, cut);
}

std::wstring type_library_script(const TypeLibraryDescription& library) {
  const std::wstring libid = registrar_quote(guid_to_string(library.libid));
  const std::wstring version = registrar_quote(version_of(library));
  std::wstring script = L"HKCR\n{\n  NoRemove TypeLib\n  {\n    " + libid + L"\n    {\n      ForceRemove " + version +
                        L" = s " + registrar_quote(library.name) +
                        L"\n      {\n        '0'\n        {\n          linux64 = s '%MODULE%'\n        }\n"
                        L"        FLAGS = s " + registrar_quote(std::to_wstring(library.flags)) +
                        L"\n        HELPDIR = s '%HELPDIR%'\n      }\n    }\n  }\n  NoRemove Interface\n  {\n";
  const std::wstring marshaller = registrar_quote(guid_to_string(CLSID_PSOAInterface));
  for (const InterfaceDescription* iface : library.interfaces) {
    script += L"    ForceRemove " + registrar_quote(guid_to_string(iface->iid)) + L" = s " +
              registrar_quote(iface->name) + L"\n    {\n      ProxyStubClsid = s " + marshaller +
              L"\n      ProxyStubClsid32 = s " + marshaller + L"\n      TypeLib = s " + libid +
              L"\n      {\n        val Version = s " + version + L"\n      }\n    }\n";
  }
  return script + L"  }\n}\n";
}

HRESULT register_type_library(const TypeLibraryDescription& library, const std::wstring& module_path,
                              const std::wstring& help_dir, RegistrationScope scope) {
  try {
    return registrar_run(type_library_script(library), {{L"MODULE", module_path}, {L"HELPDIR", help_dir}}, true,
                         scope);
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT unregister_type_library(const TypeLibraryDescription& library, RegistrationScope scope) {
  try {
    return registrar_run(type_library_script(library), {{L"MODULE", L""}, {L"HELPDIR", L""}}, false, scope);
  } catch (const std::exception&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace Tavrin::Platform::Com
