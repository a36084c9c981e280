// WScript.Shell: starting programs and reading the environment.
//
// Run takes a command line written as on Windows (split with its rules,
// see platform/process.h), starts the program without a shell, and with
// `wait` returns its exit status (128 + the signal when a signal ended
// it); without, it returns 0 at once and the program runs on detached.
// The window style is accepted and ignored. A program that cannot be
// started fails naming the command. ExpandEnvironmentStrings replaces each
// %NAME% by the variable's value (names are case-sensitive here; an unset
// one is left as written). Environment(type) is the process environment
// for every type ("PROCESS", "SYSTEM", "USER", "VOLATILE"), as this system
// has only one: Item(name) is a variable's value ("" when unset) and
// Enumerator walks "NAME=value" texts.
#ifndef QUORVANE_PLATFORM_SCRIPT_SHELL_H_
#define QUORVANE_PLATFORM_SCRIPT_SHELL_H_

#include <string>

#include "platform/com/com.h"
#include "platform/script/collection.h"

struct IShell : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{41904400-BE18-11D3-A28B-00104BD35090}");

  virtual HRESULT Run(BSTR command, VARIANT window_style, VARIANT_BOOL wait, LONG* status) = 0;
  virtual HRESULT ExpandEnvironmentStrings(BSTR text, BSTR* expanded) = 0;
  virtual HRESULT get_Environment(VARIANT type, IItemCollection** environment) = 0;

 protected:
  ~IShell() = default;
};

namespace Tavrin::Platform::Script {

constexpr CLSID CLSID_Shell = Com::make_guid("{72C24DD5-D70A-438B-8A42-98424B88AFB8}");

HRESULT create_shell(REFIID iid, void** object);

// %NAME% replaced by the variable's value; an unset one stays as written.
std::wstring expand_environment_strings(const std::wstring& text);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_SHELL_H_
