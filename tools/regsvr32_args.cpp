#include "tools/regsvr32_args.h"

#include <cwctype>

namespace Tavrin::Regsvr32 {
namespace {

std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

bool is_switch_start(const std::wstring& argument) {
  return argument.size() >= 2 && (argument[0] == L'/' || argument[0] == L'-');
}

// The switch name (without its mark) when `argument` is a switch this tool
// knows, else empty.
std::wstring known_switch(const std::wstring& argument) {
  if (!is_switch_start(argument)) return {};
  const std::wstring name = lower(argument.substr(1));
  if (name == L"u" || name == L"s" || name == L"n" || name == L"i" || name.rfind(L"i:", 0) == 0) return name;
  return {};
}

}  // namespace

Options parse_options(const std::vector<std::wstring>& arguments) {
  Options options;
  for (const std::wstring& argument : arguments) {
    const std::wstring name = known_switch(argument);
    if (name.empty()) {
      if (argument.empty() || argument[0] == L'-') throw UsageError("unknown switch");
      options.modules.push_back(argument);
    } else if (name == L"u") {
      options.unregister = true;
    } else if (name == L"s") {
      options.silent = true;
    } else if (name == L"n") {
      options.install_only = true;
    } else {
      options.install = true;
      if (name.size() > 1) options.install_command_line = argument.substr(3);
    }
  }
  if (options.install_only && !options.install) throw UsageError("/n needs /i");
  if (options.modules.empty()) throw UsageError("no module named");
  return options;
}

bool asks_for_silence(const std::vector<std::wstring>& arguments) {
  for (const std::wstring& argument : arguments)
    if (known_switch(argument) == L"s") return true;
  return false;
}

}  // namespace Tavrin::Regsvr32
