// Reading keys for `reg` through the registry API: opening keys, and
// whole lists of a key's values and subkeys. Failures are thrown as
// RegFailure with the registry's result code.
#ifndef QUORVANE_TOOLS_REG_KEYS_H_
#define QUORVANE_TOOLS_REG_KEYS_H_

#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/scoped_key.h"
#include "tools/reg_args.h"

namespace Tavrin::Reg {

// A registry call that failed; `code` is its result code.
struct RegFailure {
  LONG code;
};

using Platform::ScopedKey;

struct Value {
  std::wstring name;
  DWORD type = REG_NONE;
  std::string data;
};

// Opens `sub` below `parent` (an existing key) with `access`.
ScopedKey open_key(HKEY parent, const std::wstring& sub, REGSAM access);
ScopedKey open_key(const KeyName& name, REGSAM access);
// Opens or creates the key with all access.
ScopedKey create_key(const KeyName& name);

// The value `name` of `key`; RegFailure ERROR_FILE_NOT_FOUND when missing.
Value query_value(HKEY key, const std::wstring& name);
// All values of `key`, in enumeration order.
std::vector<Value> list_values(HKEY key);
// The names of all subkeys of `key`, in enumeration order.
std::vector<std::wstring> list_subkeys(HKEY key);

}  // namespace Tavrin::Reg

#endif  // QUORVANE_TOOLS_REG_KEYS_H_
