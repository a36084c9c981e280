// The four operations of `reg` (see tools/reg_args.h). Output is UTF-8
// text: query results on `out`, confirmations asked on `out` and answered
// on `in`, failures described on `err`. Export files are UTF-8 text without
// a byte-order mark with LF line ends, in regedit's "Windows Registry
// Editor Version 5.00" format.
#ifndef QUORVANE_TOOLS_REG_COMMANDS_H_
#define QUORVANE_TOOLS_REG_COMMANDS_H_

#include <iosfwd>
#include <string>

#include "platform/registry.h"
#include "tools/reg_args.h"

namespace Tavrin::Reg {

// Runs `command`; returns the exit code: 0 when it did what was asked, 1
// when it failed or the user declined a confirmation. Throws UsageError
// for data that the value type cannot take.
int run_command(const Command& command, std::ostream& out, std::ostream& err, std::istream& in);

// The .reg text of the key `key` (opened for reading) named `full_name`
// and of all its subkeys, header included.
std::wstring export_text(HKEY key, const std::wstring& full_name);

// The message `reg` prints for a failed registry call.
std::string failure_message(LONG code);

}  // namespace Tavrin::Reg

#endif  // QUORVANE_TOOLS_REG_COMMANDS_H_
