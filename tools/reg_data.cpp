#include "tools/reg_data.h"

#include <cstdint>
#include <cwctype>
#include <iterator>

#include "platform/text.h"
#include "tools/reg_args.h"

namespace Tavrin::Reg {

namespace {

using Platform::registry_string_bytes;
using Platform::registry_string_text;

struct TypeEntry {
  DWORD type;
  const wchar_t* name;
  bool addable;  // `reg add /t` takes it
};

const TypeEntry kTypes[] = {
    {REG_NONE, L"REG_NONE", true},
    {REG_SZ, L"REG_SZ", true},
    {REG_EXPAND_SZ, L"REG_EXPAND_SZ", true},
    {REG_BINARY, L"REG_BINARY", true},
    {REG_DWORD, L"REG_DWORD", true},
    {REG_DWORD_BIG_ENDIAN, L"REG_DWORD_BIG_ENDIAN", false},
    {REG_LINK, L"REG_LINK", false},
    {REG_MULTI_SZ, L"REG_MULTI_SZ", true},
    {8, L"REG_RESOURCE_LIST", false},
    {9, L"REG_FULL_RESOURCE_DESCRIPTOR", false},
    {10, L"REG_RESOURCE_REQUIREMENTS_LIST", false},
    {REG_QWORD, L"REG_QWORD", true},
};

const std::string kNulUnit(2, '\0');

std::wstring hex(std::uint64_t number, int width, bool upper) {
  static const wchar_t kLower[] = L"0123456789abcdef";
  static const wchar_t kUpper[] = L"0123456789ABCDEF";
  std::wstring digits;
  do {
    digits.insert(digits.begin(), (upper ? kUpper : kLower)[number & 15]);
    number >>= 4;
  } while (number || static_cast<int>(digits.size()) < width);
  return digits;
}

std::uint64_t little_endian(const std::string& bytes) {
  std::uint64_t number = 0;
  for (size_t i = bytes.size(); i-- > 0;) number = number << 8 | static_cast<unsigned char>(bytes[i]);
  return number;
}

std::string little_endian_bytes(std::uint64_t number, size_t size) {
  std::string bytes;
  for (size_t i = 0; i < size; ++i, number >>= 8) bytes += static_cast<char>(number & 0xFF);
  return bytes;
}

std::uint64_t parse_number(const std::wstring& text, std::uint64_t max) {
  const bool is_hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
  const size_t start = is_hex ? 2 : 0;
  if (text.size() == start) throw UsageError("a number is needed");
  std::uint64_t number = 0;
  for (size_t i = start; i < text.size(); ++i) {
    const wchar_t c = text[i];
    const int digit = std::iswdigit(c) ? c - L'0'
                      : is_hex && std::iswxdigit(c) ? std::towlower(c) - L'a' + 10
                                                    : -1;
    const std::uint64_t base = is_hex ? 16 : 10;
    if (digit < 0 || number > (max - digit) / base)
      throw UsageError("invalid number " + Platform::to_utf8(text));
    number = number * base + digit;
  }
  return number;
}

std::string parse_hex_bytes(const std::wstring& text) {
  if (text.size() % 2 != 0) throw UsageError("hex data needs an even number of digits");
  std::string bytes;
  for (size_t i = 0; i < text.size(); i += 2)
    bytes += static_cast<char>(parse_number(L"0x" + text.substr(i, 2), 0xFF));
  return bytes;
}

std::string multi_string_bytes(const std::wstring& text, const std::wstring& separator) {
  std::string bytes;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = separator.empty() ? std::wstring::npos : text.find(separator, start);
    if (end == std::wstring::npos) end = text.size();
    bytes += registry_string_bytes(text.substr(start, end - start)) + kNulUnit;
    start = end + separator.size();
  }
  return bytes + kNulUnit;
}

std::wstring hex_list(const std::string& bytes, size_t column) {
  std::wstring out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    out += hex(static_cast<unsigned char>(bytes[i]), 2, false);
    column += 2;
    if (i + 1 == bytes.size()) break;
    out += L',';
    ++column;
    if (column > 76) {
      out += L"\\\n  ";
      column = 2;
    }
  }
  return out;
}

std::wstring reg_quoted(const std::wstring& text) {
  std::wstring out = L"\"";
  for (wchar_t c : text) {
    if (c == L'\\' || c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

// Whether string data read back from "text" in a .reg file come out the
// same (up to a terminating NUL unit, which an import adds).
bool plain_string(const std::string& bytes, std::wstring* text) {
  *text = registry_string_text(bytes);
  if (text->find_first_of(L"\r\n") != std::wstring::npos) return false;
  const std::string again = registry_string_bytes(*text);
  return bytes == again || bytes == again + kNulUnit;
}

}  // namespace

std::wstring type_name(DWORD type) {
  for (const TypeEntry& entry : kTypes)
    if (entry.type == type) return entry.name;
  return L"0x" + hex(type, 1, true);
}

std::optional<DWORD> type_from_name(const std::wstring& name) {
  for (const TypeEntry& entry : kTypes)
    if (entry.addable && name == entry.name) return entry.type;
  return std::nullopt;
}

std::string encode_data(DWORD type, const std::wstring& text, const std::wstring& separator) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return registry_string_bytes(text) + kNulUnit;
    case REG_MULTI_SZ:
      return multi_string_bytes(text, separator);
    case REG_DWORD:
      return little_endian_bytes(text.empty() ? 0 : parse_number(text, 0xFFFFFFFFu), 4);
    case REG_QWORD:
      return little_endian_bytes(text.empty() ? 0 : parse_number(text, UINT64_MAX), 8);
    default:
      return parse_hex_bytes(text);
  }
}

std::wstring display_data(DWORD type, const std::string& bytes) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_LINK:
      return registry_string_text(bytes);
    case REG_MULTI_SZ: {
      std::wstring joined;
      std::string rest = bytes;
      while (rest.size() >= 2 && rest.compare(0, 2, kNulUnit) != 0) {
        const std::wstring item = registry_string_text(rest);
        if (!joined.empty()) joined += L"\\0";
        joined += item;
        rest.erase(0, std::min(rest.size(), registry_string_bytes(item).size() + 2));
      }
      return joined;
    }
    case REG_DWORD:
    case REG_QWORD:
      if (bytes.size() == (type == REG_DWORD ? 4u : 8u))
        return L"0x" + hex(little_endian(bytes), 1, false);
      break;
    case REG_DWORD_BIG_ENDIAN:
      if (bytes.size() == 4)
        return L"0x" + hex(little_endian(std::string(bytes.rbegin(), bytes.rend())), 1, false);
      break;
  }
  std::wstring out;
  for (unsigned char c : bytes) out += hex(c, 2, true);
  return out;
}

std::wstring reg_file_value(const std::wstring& name, DWORD type, const std::string& bytes) {
  std::wstring line = (name.empty() ? L"@" : reg_quoted(name)) + L"=";
  std::wstring text;
  if (type == REG_SZ && plain_string(bytes, &text)) return line + reg_quoted(text) + L"\n";
  if (type == REG_DWORD && bytes.size() == 4)
    return line + L"dword:" + hex(little_endian(bytes), 8, false) + L"\n";
  line += type == REG_BINARY ? L"hex:" : L"hex(" + hex(type, 1, false) + L"):";
  return line + hex_list(bytes, line.size()) + L"\n";
}

}  // namespace Tavrin::Reg
