// Value data as `reg` shows, takes and exports it. String types are stored
// as UTF-16LE (see platform/registry.h); `reg add` writes them with a
// terminating NUL unit, as Windows' tools do, and reading accepts data
// with or without one.
#ifndef QUORVANE_TOOLS_REG_DATA_H_
#define QUORVANE_TOOLS_REG_DATA_H_

#include <optional>
#include <string>

#include "platform/registry.h"

namespace Tavrin::Reg {

// "REG_SZ" for REG_SZ and so on; "0x1234" for a type without a name.
std::wstring type_name(DWORD type);
// The type a name gives (upper case, e.g. L"REG_DWORD"), if any.
std::optional<DWORD> type_from_name(const std::wstring& name);

// The bytes `reg add` stores for /t `type` and /d `text` (text empty when
// /d is missing): strings with a NUL unit; REG_MULTI_SZ items split at
// `separator` (the two characters \0 by default) each with a NUL and a
// final NUL; REG_DWORD and REG_QWORD from decimal or 0x-hex, little-endian;
// REG_BINARY, REG_NONE and other types from hex digits. Throws UsageError
// for data the type cannot take.
std::string encode_data(DWORD type, const std::wstring& text, const std::wstring& separator);

// Data as `reg query` shows them: strings as text, REG_MULTI_SZ items
// joined with \0, numbers as 0x-hex, everything else as upper-case hex.
std::wstring display_data(DWORD type, const std::string& bytes);

// One value in the .reg file format: @ or "name", "=", then "text" for a
// string that reads back the same, dword:xxxxxxxx for a four-byte REG_DWORD,
// hex:.. for REG_BINARY and hex(type):.. otherwise, long hex lists wrapped
// with a trailing backslash as regedit does. Ends with a newline.
std::wstring reg_file_value(const std::wstring& name, DWORD type, const std::string& bytes);

}  // namespace Tavrin::Reg

#endif  // QUORVANE_TOOLS_REG_DATA_H_
