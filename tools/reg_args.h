// The command line of `reg`, the registry tool, in the manner of Windows'
// reg.exe:
//
//   reg query  KEY [/v NAME | /ve] [/s]
//   reg add    KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
//   reg delete KEY [/v NAME | /ve | /va] [/f]
//   reg export KEY FILE [/y]
//
// KEY starts with a root: HKCU or HKEY_CURRENT_USER, HKLM or
// HKEY_LOCAL_MACHINE, HKCR or HKEY_CLASSES_ROOT, then optionally a
// backslash and a path. Verbs and switches ignore case; switches may start
// with "/" or "-". `/s` of `add` separates REG_MULTI_SZ items ("\0" by
// default); `/s` of `query` searches all subkeys.
#ifndef QUORVANE_TOOLS_REG_ARGS_H_
#define QUORVANE_TOOLS_REG_ARGS_H_

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace Tavrin::Reg {

// A command line that `reg` does not understand; what() says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Verb { kQuery, kAdd, kDelete, kExport };

// A registry key as the command line names it.
struct KeyName {
  HKEY root = nullptr;
  std::wstring root_name;  // the long name, e.g. HKEY_CURRENT_USER
  std::wstring path;       // below the root, no leading backslash; may be empty

  // The full name, e.g. HKEY_CURRENT_USER\Software\Tavrin.
  std::wstring full() const { return path.empty() ? root_name : root_name + L"\\" + path; }
};

struct Command {
  Verb verb = Verb::kQuery;
  KeyName key;
  std::optional<std::wstring> value;  // /v NAME; /ve gives the empty name
  bool all_values = false;            // /va
  bool recurse = false;               // /s of query
  DWORD type = REG_SZ;                // /t
  std::optional<std::wstring> data;   // /d
  std::wstring separator = L"\\0";    // /s of add
  bool force = false;                 // /f, and /y of export
  std::wstring file;                  // export's FILE
};

// Parses the arguments after the program name. Throws UsageError.
Command parse_command(const std::vector<std::wstring>& args);

// Parses KEY. Throws UsageError for an unknown root.
KeyName parse_key_name(const std::wstring& text);

// The type named by /t, e.g. REG_DWORD. Throws UsageError.
DWORD parse_type_name(const std::wstring& text);

}  // namespace Tavrin::Reg

#endif  // QUORVANE_TOOLS_REG_ARGS_H_
