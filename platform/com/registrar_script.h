// The parsed form of a registry script (internal to the registrar, see
// registrar.h): what registrar_parser.cpp makes and registrar_apply.cpp
// writes or removes.
#ifndef QUORVANE_PLATFORM_COM_REGISTRAR_SCRIPT_H_
#define QUORVANE_PLATFORM_COM_REGISTRAR_SCRIPT_H_

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/com/registrar.h"
#include "platform/registry.h"

namespace Tavrin::Platform::Com::Registrar {

// A value as it is stored: its type and its bytes.
struct ScriptValue {
  DWORD type = REG_SZ;
  std::string bytes;
};

struct NamedValue {
  std::wstring name;
  ScriptValue value;
};

enum class KeyFlag { kNormal, kForceRemove, kNoRemove, kDelete };

struct ScriptKey {
  std::wstring name;
  KeyFlag flag = KeyFlag::kNormal;
  std::optional<ScriptValue> default_value;
  std::vector<NamedValue> values;
  std::vector<ScriptKey> subkeys;
};

enum class ScriptRoot { kClassesRoot, kCurrentUser, kLocalMachine };

struct RootBlock {
  ScriptRoot root = ScriptRoot::kClassesRoot;
  std::vector<ScriptKey> keys;
};

struct Script {
  std::vector<RootBlock> blocks;
};

// A script that cannot be parsed; what() says what and where (line number).
class SyntaxError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses `text` with `replacements` applied. Throws SyntaxError.
Script parse_script(const std::wstring& text, const RegistrarReplacements& replacements);

// Writes (`do_register`) or removes the keys of `script`. Returns
// ERROR_SUCCESS or the code of the first registry call that failed.
LONG apply_script(const Script& script, bool do_register, RegistrationScope scope);

}  // namespace Tavrin::Platform::Com::Registrar

#endif  // QUORVANE_PLATFORM_COM_REGISTRAR_SCRIPT_H_
