// Parsing of registry scripts (syntax in registrar.h).
#include <cwctype>
#include <string>
#include <utility>

#include "platform/com/registrar_script.h"
#include "platform/text.h"

namespace Tavrin::Platform::Com::Registrar {
namespace {

bool same_text(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return i == a.size() && !b[i];
}

struct Token {
  enum class Kind { kWord, kOpen, kClose, kEquals, kEnd };
  Kind kind = Kind::kEnd;
  std::wstring text;
  bool quoted = false;
  int line = 1;

  bool is_keyword(const wchar_t* word) const { return kind == Kind::kWord && !quoted && same_text(text, word); }
};

class Lexer {
 public:
  Lexer(const std::wstring& text, const RegistrarReplacements& replacements)
      : text_(text), replacements_(replacements) {}

  [[noreturn]] void fail(const std::string& what) const {
    throw SyntaxError("registry script, line " + std::to_string(line_) + ": " + what);
  }

  Token next() {
    skip_blanks();
    Token token;
    token.line = line_;
    if (pos_ >= text_.size()) return token;
    token.kind = Token::Kind::kWord;
    if (text_[pos_] == L'\'') {
      token.quoted = true;
      token.text = quoted_text();
      return token;
    }
    // Words are separated by blanks, so "{", "}" and "=" are marks only
    // when they stand alone and a key may be named "{8535EA83-...}".
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !std::iswspace(text_[pos_]) && text_[pos_] != L'\'') ++pos_;
    const std::wstring raw = text_.substr(start, pos_ - start);
    if (raw == L"{" || raw == L"}" || raw == L"=") {
      token.kind = raw == L"{" ? Token::Kind::kOpen : raw == L"}" ? Token::Kind::kClose : Token::Kind::kEquals;
      return token;
    }
    token.text = replaced(raw);
    return token;
  }

 private:
  void skip_blanks() {
    while (pos_ < text_.size() && std::iswspace(text_[pos_])) {
      if (text_[pos_] == L'\n') ++line_;
      ++pos_;
    }
  }

  std::wstring quoted_text() {
    ++pos_;  // the opening quote
    std::wstring raw;
    for (;;) {
      if (pos_ >= text_.size()) fail("text without its closing quote");
      const wchar_t c = text_[pos_++];
      if (c == L'\'') {
        if (pos_ < text_.size() && text_[pos_] == L'\'') {
          raw += L'\'';
          ++pos_;
          continue;
        }
        break;
      }
      if (c == L'\n') ++line_;
      raw += c;
    }
    return replaced(raw);
  }

  std::wstring replaced(const std::wstring& raw) const {
    std::wstring out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != L'%') {
        out += raw[i];
        continue;
      }
      const std::size_t end = raw.find(L'%', i + 1);
      if (end == std::wstring::npos) fail("a % without its closing %");
      const std::wstring name = raw.substr(i + 1, end - i - 1);
      if (name.empty()) {
        out += L'%';
      } else {
        out += replacement(name);
      }
      i = end;
    }
    return out;
  }

  const std::wstring& replacement(const std::wstring& name) const {
    for (const auto& [key, value] : replacements_)
      if (same_text(name, key.c_str())) return value;
    fail("unknown replacement %" + to_utf8(name) + "%");
  }

  const std::wstring& text_;
  const RegistrarReplacements& replacements_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

std::string little_endian(std::uint32_t number) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
  return bytes;
}

int hex_value(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

class Parser {
 public:
  Parser(const std::wstring& text, const RegistrarReplacements& replacements) : lexer_(text, replacements) {
    advance();
  }

  Script parse() {
    Script script;
    while (current_.kind != Token::Kind::kEnd) script.blocks.push_back(root_block());
    return script;
  }

 private:
  void advance() { current_ = lexer_.next(); }

  void expect(Token::Kind kind, const char* what) {
    if (current_.kind != kind) lexer_.fail(std::string("expected ") + what);
    advance();
  }

  RootBlock root_block() {
    RootBlock block;
    if (current_.is_keyword(L"HKCR") || current_.is_keyword(L"HKEY_CLASSES_ROOT")) {
      block.root = ScriptRoot::kClassesRoot;
    } else if (current_.is_keyword(L"HKCU") || current_.is_keyword(L"HKEY_CURRENT_USER")) {
      block.root = ScriptRoot::kCurrentUser;
    } else if (current_.is_keyword(L"HKLM") || current_.is_keyword(L"HKEY_LOCAL_MACHINE")) {
      block.root = ScriptRoot::kLocalMachine;
    } else {
      lexer_.fail("expected a root key (HKCR, HKCU or HKLM)");
    }
    advance();
    expect(Token::Kind::kOpen, "{ after the root key");
    while (current_.kind != Token::Kind::kClose) {
      if (current_.kind == Token::Kind::kEnd) lexer_.fail("expected } at the end of the root block");
      if (current_.is_keyword(L"val")) lexer_.fail("a named value directly under a root key");
      block.keys.push_back(key());
    }
    advance();
    return block;
  }

  ScriptKey key() {
    ScriptKey key;
    if (current_.is_keyword(L"ForceRemove")) {
      key.flag = KeyFlag::kForceRemove;
      advance();
    } else if (current_.is_keyword(L"NoRemove")) {
      key.flag = KeyFlag::kNoRemove;
      advance();
    } else if (current_.is_keyword(L"Delete")) {
      key.flag = KeyFlag::kDelete;
      advance();
    }
    key.name = name("a key name");
    if (current_.kind == Token::Kind::kEquals) {
      advance();
      key.default_value = value();
    }
    if (current_.kind == Token::Kind::kOpen) {
      advance();
      body(&key);
    }
    return key;
  }

  void body(ScriptKey* key) {
    while (current_.kind != Token::Kind::kClose) {
      if (current_.kind == Token::Kind::kEnd) lexer_.fail("expected } at the end of key " + to_utf8(key->name));
      if (current_.is_keyword(L"val")) {
        advance();
        NamedValue named;
        named.name = name("a value name");
        expect(Token::Kind::kEquals, "= after the value name");
        named.value = value();
        key->values.push_back(std::move(named));
      } else {
        key->subkeys.push_back(this->key());
      }
    }
    advance();
  }

  std::wstring name(const char* what) {
    if (current_.kind != Token::Kind::kWord || current_.text.empty()) lexer_.fail(std::string("expected ") + what);
    std::wstring text = current_.text;
    advance();
    return text;
  }

  ScriptValue value() {
    if (current_.kind != Token::Kind::kWord || current_.quoted || current_.text.size() != 1)
      lexer_.fail("expected a value type (s, e, m, d or b)");
    const wchar_t type = static_cast<wchar_t>(std::towlower(current_.text[0]));
    advance();
    if (current_.kind != Token::Kind::kWord) lexer_.fail("expected the value's data");
    const Token data = current_;
    if (type != L'd' && !data.quoted) lexer_.fail("expected the value's data in quotes");
    advance();
    switch (type) {
      case L's':
        return {REG_SZ, registry_string_bytes(data.text)};
      case L'e':
        return {REG_EXPAND_SZ, registry_string_bytes(data.text)};
      case L'm':
        return {REG_MULTI_SZ, multi_string(data.text)};
      case L'd':
        return {REG_DWORD, little_endian(number(data.text))};
      case L'b':
        return {REG_BINARY, binary(data.text)};
      default:
        lexer_.fail("unknown value type " + to_utf8(std::wstring(1, type)));
    }
  }

  std::uint32_t number(const std::wstring& text) const {
    const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    const unsigned base = hex ? 16 : 10;
    const std::size_t start = hex ? 2 : 0;
    if (text.size() <= start) lexer_.fail("expected a number");
    std::uint64_t value = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
      const int digit = hex_value(text[i]);
      if (digit < 0 || static_cast<unsigned>(digit) >= base) lexer_.fail("not a number: " + to_utf8(text));
      value = value * base + static_cast<unsigned>(digit);
      if (value > 0xFFFFFFFFull) lexer_.fail("number too large for a DWORD: " + to_utf8(text));
    }
    return static_cast<std::uint32_t>(value);
  }

  std::string binary(const std::wstring& text) const {
    if (text.size() % 2 != 0) lexer_.fail("binary data need pairs of hexadecimal digits");
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
      const int high = hex_value(text[i]), low = hex_value(text[i + 1]);
      if (high < 0 || low < 0) lexer_.fail("not hexadecimal: " + to_utf8(text));
      bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
  }

  static std::string multi_string(const std::wstring& text) {
    std::wstring units;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L'0') {
        units += L'\0';
        ++i;
      } else {
        units += text[i];
      }
    }
    units += L'\0';
    units += L'\0';
    return registry_string_bytes(units);
  }

  Lexer lexer_;
  Token current_;
};

}  // namespace

Script parse_script(const std::wstring& text, const RegistrarReplacements& replacements) {
  return Parser(text, replacements).parse();
}

}  // namespace Tavrin::Platform::Com::Registrar
