// Registration of a type library (the stand-in for RegisterTypeLib,
// RegisterTypeLibForUser and their Un- forms). A library here is a static
// description in its module: identity, version, locale, flags, optional
// help file, and the descriptions of its dispatch interfaces.
//
// Registering writes, below the classes root of the scope (see
// registrar.h):
//
//   TypeLib\{libid}\<major>.<minor>           = the library's name
//     0\linux64                               = the module's full path
//     FLAGS                                   = the library flags, decimal
//     HELPDIR                                 = the help folder ("" when none)
//   Interface\{iid}                           = the interface's name
//     ProxyStubClsid, ProxyStubClsid32        = the automation marshaller
//     TypeLib                                 = {libid}, value Version
//
// The module is registered for the neutral locale "0", so that callers of
// every locale find it. Registering again replaces the version key and the
// interface keys whole. Unregistering removes exactly those keys, and the
// library's own key once no other version is left below it; unregistering
// a library that is not registered succeeds. Throws nothing.
#ifndef QUORVANE_PLATFORM_COM_TYPELIB_REGISTRATION_H_
#define QUORVANE_PLATFORM_COM_TYPELIB_REGISTRATION_H_

#include <span>
#include <string>

#include "platform/com/registrar.h"
#include "platform/com/type_description.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com {

struct TypeLibraryDescription {
  const wchar_t* name;
  GUID libid;
  WORD major_version;
  WORD minor_version;
  LCID lcid;
  WORD flags;             // LIBFLAG_*
  const wchar_t* help_file;  // null: none
  std::span<const InterfaceDescription* const> interfaces;
};

// The class of the automation marshaller that Interface\{iid} names.
constexpr CLSID CLSID_PSOAInterface = make_guid("{00020424-0000-0000-C000-000000000046}");

// The help folder of a library: the directory part of its help file (up to
// the last backslash, else the last slash); empty without a help file.
QUORVANE_PLATFORM_EXPORT std::wstring type_library_help_dir(const TypeLibraryDescription& library);

// Registers `library` as held by the module at `module_path`, with
// `help_dir` as HELPDIR. S_OK or the registry's failure as
// HRESULT_FROM_WIN32.
QUORVANE_PLATFORM_EXPORT HRESULT register_type_library(const TypeLibraryDescription& library,
                                                       const std::wstring& module_path,
                                                       const std::wstring& help_dir, RegistrationScope scope);

// Removes what register_type_library wrote for `library` in `scope`.
QUORVANE_PLATFORM_EXPORT HRESULT unregister_type_library(const TypeLibraryDescription& library,
                                                         RegistrationScope scope);

// The registry script that both functions run (%MODULE% and %HELPDIR% are
// its replacements).
QUORVANE_PLATFORM_EXPORT std::wstring type_library_script(const TypeLibraryDescription& library);

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_TYPELIB_REGISTRATION_H_
