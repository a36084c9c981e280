// The registrar: runs registry scripts, the small brace syntax in which an
// in-process server describes the keys it writes, in either direction.
//
//   HKCR
//   {
//     Thing.Object.1 = s 'Thing Class'
//     {
//       CLSID = s '{...}'
//     }
//     NoRemove CLSID
//     {
//       ForceRemove {...} = s 'Thing Class'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Both'
//         }
//       }
//     }
//   }
//
// A script is a list of root blocks (HKCR / HKEY_CLASSES_ROOT, HKCU /
// HKEY_CURRENT_USER, HKLM / HKEY_LOCAL_MACHINE), each holding keys. A key is
// an optional flag (ForceRemove, NoRemove, Delete), its name, an optional
// default value `= <type> <data>` and an optional block of subkeys and
// named values (`val <name> = <type> <data>`). Words are separated by
// blanks: "{", "}" and "=" stand alone. Types: s (REG_SZ), e
// (REG_EXPAND_SZ), m (REG_MULTI_SZ, parts separated by "\0"), d (REG_DWORD,
// decimal or 0x hexadecimal), b (REG_BINARY, pairs of hexadecimal digits).
// Names and data are bare words or texts in single quotes ('' is a quote
// inside one). Keywords, root names and types compare without regard to
// case; a quoted word is never a keyword. `%NAME%` inside a word or text is
// replaced by the value given for NAME (names compare without regard to
// case, "%%" is one percent sign); an unknown name is a syntax error.
//
// Registering: every key is created (or opened) and its values set; a
// ForceRemove key is first deleted with everything below it; a Delete key
// is deleted and its block ignored. Removing, depth first: ForceRemove and
// Delete keys are deleted with everything below them; the named values of a
// script are deleted; any other key is deleted once it has no subkeys left,
// except a NoRemove key, which stays. Keys and values that are already
// missing are skipped.
//
// Scope: machine-wide, what a script addresses under HKCR goes to
// HKEY_LOCAL_MACHINE\Software\Classes; per user, to
// HKEY_CURRENT_USER\Software\Classes. Both are what HKEY_CLASSES_ROOT shows.
//
// The whole script is parsed before any key is touched, so a script with a
// syntax error changes nothing. Thread-safe (the registry is).
#ifndef QUORVANE_PLATFORM_COM_REGISTRAR_H_
#define QUORVANE_PLATFORM_COM_REGISTRAR_H_

#include <string>
#include <utility>
#include <vector>

#include "platform/com/hresult.h"
#include "platform/export.h"

namespace Tavrin::Platform::Com {

enum class RegistrationScope { kMachine, kUser };

// The %NAME% replacements of one run: name and text.
using RegistrarReplacements = std::vector<std::pair<std::wstring, std::wstring>>;

// The result of a script that cannot be parsed.
constexpr HRESULT REGISTRAR_E_SYNTAX = DISP_E_EXCEPTION;

// Runs `script` in the registering (`do_register` true) or removing
// direction. Returns S_OK, REGISTRAR_E_SYNTAX (nothing changed), or
// HRESULT_FROM_WIN32 of the first registry call that failed; the keys
// written before that failure stay. Throws nothing.
QUORVANE_PLATFORM_EXPORT HRESULT registrar_run(const std::wstring& script, const RegistrarReplacements& replacements,
                                               bool do_register, RegistrationScope scope);

// `text` as a quoted word of a script: in single quotes with each quote
// doubled and each percent sign written "%%".
QUORVANE_PLATFORM_EXPORT std::wstring registrar_quote(const std::wstring& text);

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_REGISTRAR_H_
