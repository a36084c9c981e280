// The script control: the built-in class "MSScriptControl.ScriptControl"
// that runs JScript code on the Duktape engine, and its error object.
//
// A host creates it by class id or program id (after register_script_classes
// in script_classes.h), sets `Language` to "JScript", adds its objects with
// AddObject, adds code with AddCode and calls a function of that code with
// Run. Through IDispatch, Run takes the procedure's name followed by its
// arguments; a single argument that is an array of VARIANTs is taken as the
// whole argument list, as a caller of the C++ method passes it.
//
// A failing AddCode, Eval, ExecuteStatement or Run returns the script
// error's number (an HRESULT: the number a script gave its error, the
// failing automation call's code, or JScript's code for the kind of error)
// and sets the thread's error info to its description; `Error` then tells
// Number, Source, Description, Text (the source line of a compilation
// error), Line (1-based, within the code block given to AddCode) and Column
// (0-based) until Clear or the next call that runs code.
#ifndef QUORVANE_PLATFORM_SCRIPT_SCRIPT_CONTROL_H_
#define QUORVANE_PLATFORM_SCRIPT_SCRIPT_CONTROL_H_

#include "platform/com/com.h"
#include "platform/script/export.h"

namespace Tavrin::Platform::Script {

constexpr CLSID CLSID_ScriptControl = Com::make_guid("{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}");
constexpr const wchar_t* kScriptControlProgId = L"MSScriptControl.ScriptControl";
constexpr const wchar_t* kScriptControlVersionProgId = L"MSScriptControl.ScriptControl.1";

// The script timeout that means "no limit".
constexpr LONG kNoScriptTimeout = -1;

}  // namespace Tavrin::Platform::Script

struct IScriptError : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{70841C78-067D-11D0-95D8-00A02463AB28}");

  virtual HRESULT get_Number(LONG* number) = 0;
  virtual HRESULT get_Source(BSTR* source) = 0;
  virtual HRESULT get_Description(BSTR* description) = 0;
  virtual HRESULT get_HelpFile(BSTR* help_file) = 0;
  virtual HRESULT get_HelpContext(LONG* help_context) = 0;
  virtual HRESULT get_Text(BSTR* text) = 0;
  virtual HRESULT get_Line(LONG* line) = 0;
  virtual HRESULT get_Column(LONG* column) = 0;
  // Forgets the error: Number 0, texts empty, Line and Column 0.
  virtual HRESULT Clear() = 0;

 protected:
  ~IScriptError() = default;
};

struct IScriptControl : IDispatch {
  static constexpr IID kIid = Tavrin::Platform::Com::make_guid("{0E59F1D3-1FBE-11D0-8FF2-00A0D10038BC}");

  // Only "JScript" (any case) is accepted; another name fails with
  // E_INVALIDARG. Code cannot be added before a language is set.
  virtual HRESULT get_Language(BSTR* language) = 0;
  virtual HRESULT put_Language(BSTR language) = 0;
  // Milliseconds a call may run before it ends with a script error;
  // kNoScriptTimeout for none (the default is 10000).
  virtual HRESULT get_Timeout(LONG* timeout) = 0;
  virtual HRESULT put_Timeout(LONG timeout) = 0;
  // Whether the script may show dialogs (kept; the engine shows none).
  virtual HRESULT get_AllowUI(VARIANT_BOOL* allow) = 0;
  virtual HRESULT put_AllowUI(VARIANT_BOOL allow) = 0;
  virtual HRESULT get_UseSafeSubset(VARIANT_BOOL* safe) = 0;
  virtual HRESULT put_UseSafeSubset(VARIANT_BOOL safe) = 0;
  // The error of the last failing call (see the header comment).
  virtual HRESULT get_Error(IScriptError** error) = 0;
  // Publishes `object` to scripts under `name`; with `add_members` (an
  // optional argument, false when missing) its members also become global
  // names. E_INVALIDARG for an empty name or a name already added.
  virtual HRESULT AddObject(BSTR name, IDispatch* object, VARIANT_BOOL add_members) = 0;
  // Drops all code and objects; the language stays.
  virtual HRESULT Reset() = 0;
  // Compiles and runs `code` as a global program.
  virtual HRESULT AddCode(BSTR code) = 0;
  // The value of an expression.
  virtual HRESULT Eval(BSTR expression, VARIANT* result) = 0;
  virtual HRESULT ExecuteStatement(BSTR statement) = 0;
  // Calls the global function `name` with the elements of `parameters` (a
  // one-dimensional array of VARIANTs, may be null or empty).
  virtual HRESULT Run(BSTR name, SAFEARRAY* parameters, VARIANT* result) = 0;

 protected:
  ~IScriptControl() = default;
};

#endif  // QUORVANE_PLATFORM_SCRIPT_SCRIPT_CONTROL_H_
