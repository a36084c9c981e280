#include "tools/reg_args.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/predicate.hpp>

#include "platform/text.h"
#include "tools/reg_data.h"

namespace Tavrin::Reg {

namespace {

struct Root {
  const wchar_t* short_name;
  const wchar_t* long_name;
  HKEY key;
};

const Root kRoots[] = {
    {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
};

bool is_switch(const std::wstring& arg, const wchar_t* name) {
  return arg.size() > 1 && (arg[0] == L'/' || arg[0] == L'-') &&
         boost::algorithm::iequals(arg.substr(1), name);
}

// The operand after switch `args[*i]`, moving *i onto it.
const std::wstring& operand(const std::vector<std::wstring>& args, size_t* i) {
  if (*i + 1 >= args.size()) throw UsageError("switch " + Platform::to_utf8(args[*i]) + " needs a value");
  return args[++*i];
}

Verb parse_verb(const std::wstring& text) {
  const std::wstring verb = boost::algorithm::to_upper_copy(text);
  if (verb == L"QUERY") return Verb::kQuery;
  if (verb == L"ADD") return Verb::kAdd;
  if (verb == L"DELETE") return Verb::kDelete;
  if (verb == L"EXPORT") return Verb::kExport;
  throw UsageError("unknown operation " + Platform::to_utf8(text));
}

void set_value_name(Command* command, std::wstring name) {
  if (command->value || command->all_values)
    throw UsageError("only one of /v, /ve and /va may be given");
  command->value = std::move(name);
}

// Applies switch args[*i]; false when it is not one that `verb` takes.
bool apply_switch(const std::vector<std::wstring>& args, size_t* i, Command* command) {
  const std::wstring& arg = args[*i];
  const Verb verb = command->verb;
  const bool values = verb != Verb::kExport;
  if (values && is_switch(arg, L"v")) {
    set_value_name(command, operand(args, i));
  } else if (values && is_switch(arg, L"ve")) {
    set_value_name(command, L"");
  } else if (verb == Verb::kDelete && is_switch(arg, L"va")) {
    if (command->value) throw UsageError("only one of /v, /ve and /va may be given");
    command->all_values = true;
  } else if (verb == Verb::kQuery && is_switch(arg, L"s")) {
    command->recurse = true;
  } else if (verb == Verb::kAdd && is_switch(arg, L"t")) {
    command->type = parse_type_name(operand(args, i));
  } else if (verb == Verb::kAdd && is_switch(arg, L"d")) {
    command->data = operand(args, i);
  } else if (verb == Verb::kAdd && is_switch(arg, L"s")) {
    command->separator = operand(args, i);
  } else if ((verb == Verb::kAdd || verb == Verb::kDelete) && is_switch(arg, L"f")) {
    command->force = true;
  } else if (verb == Verb::kExport && is_switch(arg, L"y")) {
    command->force = true;
  } else {
    return false;
  }
  return true;
}

}  // namespace

KeyName parse_key_name(const std::wstring& text) {
  const size_t slash = text.find(L'\\');
  const std::wstring root = text.substr(0, slash);
  for (const Root& candidate : kRoots) {
    if (boost::algorithm::iequals(root, candidate.short_name) ||
        boost::algorithm::iequals(root, candidate.long_name)) {
      KeyName name{candidate.key, candidate.long_name, L""};
      if (slash != std::wstring::npos) name.path = text.substr(slash + 1);
      while (!name.path.empty() && name.path.back() == L'\\') name.path.pop_back();
      return name;
    }
  }
  throw UsageError("invalid key name " + Platform::to_utf8(text));
}

DWORD parse_type_name(const std::wstring& text) {
  if (const auto type = type_from_name(boost::algorithm::to_upper_copy(text))) return *type;
  throw UsageError("unknown value type " + Platform::to_utf8(text));
}

Command parse_command(const std::vector<std::wstring>& args) {
  if (args.size() < 2) throw UsageError("an operation and a key are needed");
  Command command;
  command.verb = parse_verb(args[0]);
  command.key = parse_key_name(args[1]);
  size_t i = 2;
  if (command.verb == Verb::kExport) {
    if (args.size() < 3) throw UsageError("export needs a file name");
    command.file = args[2];
    i = 3;
  }
  for (; i < args.size(); ++i)
    if (!apply_switch(args, &i, &command))
      throw UsageError("unexpected argument " + Platform::to_utf8(args[i]));
  return command;
}

}  // namespace Tavrin::Reg
