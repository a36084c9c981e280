// The command line of `regsvr32`, the server registration tool, as
// Windows' regsvr32.exe has it:
//
//   regsvr32 [/u] [/s] [/n] [/i[:cmdline]] module...
//
//   /u            unregister (DllUnregisterServer; with /i, DllInstall(FALSE))
//   /s            silent: print nothing
//   /i[:cmdline]  call DllInstall with `cmdline` (null without ":"), after
//                 DllRegisterServer, or before DllUnregisterServer with /u
//   /n            with /i: call DllInstall only
//
// Switches ignore case and may start with "/" or "-". Because a Linux path
// starts with "/" too, an argument is a switch only when it is one of the
// above; any other argument starting with "-" is refused, and the rest are
// module paths.
#ifndef QUORVANE_TOOLS_REGSVR32_ARGS_H_
#define QUORVANE_TOOLS_REGSVR32_ARGS_H_

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Tavrin::Regsvr32 {

// A command line that regsvr32 does not understand; what() says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  bool unregister = false;
  bool silent = false;
  bool install = false;      // /i given
  bool install_only = false;  // /n given
  std::optional<std::wstring> install_command_line;  // the text after "/i:"
  std::vector<std::wstring> modules;
};

// The meaning of `arguments` (without the program's name). Throws
// UsageError for an unknown switch, /n without /i, or no module.
Options parse_options(const std::vector<std::wstring>& arguments);

// Whether `arguments` ask for silence, even when they are not valid
// otherwise (so that a bad command line with /s stays quiet).
bool asks_for_silence(const std::vector<std::wstring>& arguments);

}  // namespace Tavrin::Regsvr32

#endif  // QUORVANE_TOOLS_REGSVR32_ARGS_H_
