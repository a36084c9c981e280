#include "tools/reg_commands.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/text.h"
#include "tools/reg_data.h"
#include "tools/reg_keys.h"

namespace Tavrin::Reg {

namespace {

using Platform::to_utf8;

constexpr const char* kDone = "The operation completed successfully.\n";
constexpr const char* kCanceled = "The operation was canceled by the user.\n";

std::string value_line(const Value& value) {
  return "    " + to_utf8(value.name.empty() ? L"(Default)" : value.name) + "    " +
         to_utf8(type_name(value.type)) + "    " + to_utf8(display_data(value.type, value.data)) +
         "\n";
}

bool confirm(const std::wstring& question, std::ostream& out, std::istream& in) {
  out << to_utf8(question) << " (Yes/No)? " << std::flush;
  std::string answer;
  std::getline(in, answer);
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// Prints key `name` and its values (only `only` when given); recurses into
// subkeys. Returns the number of values printed.
int print_tree(HKEY key, const std::wstring& name, const std::optional<std::wstring>& only,
               std::ostream& out) {
  std::vector<Value> shown;
  if (!only) {
    shown = list_values(key);
  } else {
    try {
      shown.push_back(query_value(key, *only));
    } catch (const RegFailure& failure) {
      if (failure.code != ERROR_FILE_NOT_FOUND) throw;
    }
  }
  if (!only || !shown.empty()) {
    out << "\n" << to_utf8(name) << "\n";
    for (const Value& value : shown) out << value_line(value);
  }
  int printed = static_cast<int>(shown.size());
  for (const std::wstring& sub : list_subkeys(key)) {
    // A subkey may vanish meanwhile, or refuse reading: skip it.
    try {
      const ScopedKey child = open_key(key, sub, KEY_READ);
      printed += print_tree(child.get(), name + L"\\" + sub, only, out);
    } catch (const RegFailure&) {
    }
  }
  return printed;
}

int query(const Command& command, std::ostream& out) {
  const ScopedKey key = open_key(command.key, KEY_READ);
  const std::wstring name = command.key.full();
  if (command.recurse) {
    const int found = print_tree(key.get(), name, command.value, out);
    if (command.value) out << "\nEnd of search: " << found << " match(es) found.\n";
    return 0;
  }
  out << "\n" << to_utf8(name) << "\n";
  if (command.value) {
    out << value_line(query_value(key.get(), *command.value)) << "\n";
    return 0;
  }
  for (const Value& value : list_values(key.get())) out << value_line(value);
  out << "\n";
  for (const std::wstring& sub : list_subkeys(key.get())) out << to_utf8(name + L"\\" + sub) << "\n";
  return 0;
}

bool value_exists(HKEY key, const std::wstring& name) {
  return RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

int add(const Command& command, std::ostream& out, std::ostream& err, std::istream& in) {
  const bool set = command.value || command.data;
  // Bad data fail before anything is made.
  const std::string bytes =
      set ? encode_data(command.type, command.data.value_or(L""), command.separator) : "";
  const ScopedKey key = create_key(command.key);
  if (set) {
    const std::wstring name = command.value.value_or(L"");
    if (!command.force && value_exists(key.get(), name) &&
        !confirm(L"Value " + (name.empty() ? L"(Default)" : name) + L" exists, overwrite", out, in)) {
      err << kCanceled;
      return 1;
    }
    const LONG rc = RegSetValueExW(key.get(), name.c_str(), 0, command.type,
                                   reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    if (rc != ERROR_SUCCESS) throw RegFailure{rc};
  }
  out << kDone;
  return 0;
}

int remove(const Command& command, std::ostream& out, std::ostream& err, std::istream& in) {
  if (command.key.path.empty()) throw UsageError("a root key cannot be deleted");
  const ScopedKey key = open_key(command.key, KEY_ALL_ACCESS);
  const std::wstring full = command.key.full();
  std::wstring question;
  if (command.value) {
    query_value(key.get(), *command.value);  // fails when it is missing
    question = L"Delete the registry value " + (command.value->empty() ? L"(Default)" : *command.value);
  } else if (command.all_values) {
    question = L"Delete all values under the registry key " + full;
  } else {
    question = L"Permanently delete the registry key " + full;
  }
  if (!command.force && !confirm(question, out, in)) {
    err << kCanceled;
    return 1;
  }
  LONG rc = ERROR_SUCCESS;
  if (command.value) {
    rc = RegDeleteValueW(key.get(), command.value->c_str());
  } else if (command.all_values) {
    for (const Value& value : list_values(key.get()))
      if (rc == ERROR_SUCCESS) rc = RegDeleteValueW(key.get(), value.name.c_str());
  } else {
    rc = RegDeleteTreeW(command.key.root, command.key.path.c_str());
  }
  if (rc != ERROR_SUCCESS) throw RegFailure{rc};
  out << kDone;
  return 0;
}

void export_tree(HKEY key, const std::wstring& name, std::wstring* text) {
  *text += L"[" + name + L"]\n";
  for (const Value& value : list_values(key)) *text += reg_file_value(value.name, value.type, value.data);
  *text += L"\n";
  for (const std::wstring& sub : list_subkeys(key)) {
    const ScopedKey child = open_key(key, sub, KEY_READ);
    export_tree(child.get(), name + L"\\" + sub, text);
  }
}

int export_file(const Command& command, std::ostream& out, std::ostream& err, std::istream& in) {
  const ScopedKey key = open_key(command.key, KEY_READ);
  const std::string path = to_utf8(command.file);
  std::error_code ignored;
  if (!command.force && std::filesystem::exists(path, ignored) &&
      !confirm(L"File " + command.file + L" already exists. Overwrite", out, in)) {
    err << kCanceled;
    return 1;
  }
  const std::string text = to_utf8(export_text(key.get(), command.key.full()));
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) {
    err << "ERROR: Unable to write to the file " << path << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  out << kDone;
  return 0;
}

}  // namespace

std::wstring export_text(HKEY key, const std::wstring& full_name) {
  std::wstring text = L"Windows Registry Editor Version 5.00\n\n";
  export_tree(key, full_name, &text);
  return text;
}

std::string failure_message(LONG code) {
  if (code == ERROR_FILE_NOT_FOUND)
    return "ERROR: The system was unable to find the specified registry key or value.";
  if (code == ERROR_ACCESS_DENIED) return "ERROR: Access is denied.";
  return std::string("ERROR: ") + std::strerror(static_cast<int>(code)) + ".";
}

int run_command(const Command& command, std::ostream& out, std::ostream& err, std::istream& in) {
  try {
    switch (command.verb) {
      case Verb::kQuery:
        return query(command, out);
      case Verb::kAdd:
        return add(command, out, err, in);
      case Verb::kDelete:
        return remove(command, out, err, in);
      case Verb::kExport:
        return export_file(command, out, err, in);
    }
  } catch (const RegFailure& failure) {
    err << failure_message(failure.code) << "\n";
  }
  return 1;
}

}  // namespace Tavrin::Reg
