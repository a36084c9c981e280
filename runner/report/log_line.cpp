#include "runner/report/log_line.h"

#include <cwchar>
#include <stdexcept>

#include "platform/text.h"

namespace Tavrin::Report {

namespace {

constexpr std::array<std::string_view, kKindCount> kWords = {
    "suite", "testfile", "test", "page", "element", "action", "script", "screenshot",
    "assert", "result", "param", "info", "error", "verbose", "message", "stats"};

constexpr std::array<std::wstring_view, kKindCount> kWideWords = {
    L"suite", L"testfile", L"test", L"page", L"element", L"action", L"script", L"screenshot",
    L"assert", L"result", L"param", L"info", L"error", L"verbose", L"message", L"stats"};

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool has_prefix(std::string_view line, std::string_view word) {
  if (line.size() < word.size() + 2) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (ascii_lower(line[i]) != word[i]) return false;
  return line[word.size()] == ':' && line[word.size() + 1] == ' ';
}

// Whether a line terminator starts at `q`: LF, CR, or the UTF-8 of U+2028
// or U+2029 (what "." of an ECMAScript pattern does not match).
bool is_line_terminator(const unsigned char* s, std::size_t n, std::size_t q) {
  const unsigned char c = s[q];
  if (c == '\n' || c == '\r') return true;
  return c == 0xE2 && q + 2 < n && s[q + 1] == 0x80 && (s[q + 2] == 0xA8 || s[q + 2] == 0xA9);
}

// The bytes at which a scan has something to decide: kNameEnd ends a name
// run (" ", "="), kValueEnd may end a value ("]", CR, LF, the lead byte of
// U+2028 and U+2029).
enum : unsigned char { kNameEnd = 1, kValueEnd = 2 };
constexpr std::array<unsigned char, 256> make_byte_table() {
  std::array<unsigned char, 256> table{};
  table[' '] = table['='] = kNameEnd;
  table[']'] = table['\r'] = table['\n'] = table[0xE2] = kValueEnd;
  return table;
}
constexpr std::array<unsigned char, 256> kByteTable = make_byte_table();

}  // namespace

std::wstring_view kind_word(Kind kind) { return kWideWords[static_cast<int>(kind)]; }

std::size_t prefix_length(Kind kind) { return kWords[static_cast<int>(kind)].size() + 2; }

std::optional<Kind> match_prefix(std::string_view line) {
  if (line.empty()) return std::nullopt;
  // Only prefixes that start with the same letter can match; trying those in
  // kind order keeps "the first match wins".
  const char first = ascii_lower(line[0]);
  for (int k = 0; k < kKindCount; ++k)
    if (kWords[k][0] == first && has_prefix(line, kWords[k])) return static_cast<Kind>(k);
  return std::nullopt;
}

bool AttributeScanner::Next(RawAttribute* attribute) {
  const auto* const s = reinterpret_cast<const unsigned char*>(text_.data());
  const std::size_t n = text_.size();
  std::size_t name_start = pos_;
  for (std::size_t i = pos_; i < n; ++i) {
    if (!(kByteTable[s[i]] & kNameEnd)) continue;
    if (s[i] == ' ') {
      name_start = i + 1;
      continue;
    }
    const std::size_t equals = i;
    const std::size_t name = name_start;
    name_start = i + 1;  // a name never holds "="
    const std::size_t value = equals + 4;
    if (value > n || s[equals + 1] != '[' || s[equals + 2] != '[' || s[equals + 3] != '[') continue;
    if (value < no_close_before_) continue;
    std::size_t q = value;
    for (;; ++q) {
      while (q < n && !(kByteTable[s[q]] & kValueEnd)) ++q;
      if (q == n || is_line_terminator(s, n, q)) break;
      if (s[q] == ']' && q + 2 < n && s[q + 1] == ']' && s[q + 2] == ']') break;
    }
    if (q == n || s[q] != ']') {
      // Every value that starts up to q meets the same end first.
      no_close_before_ = q + 1;
      continue;
    }
    attribute->name = text_.substr(name, equals - name);
    attribute->value = text_.substr(value, q - value);
    pos_ = q + 3;
    return true;
  }
  pos_ = n;
  return false;
}

std::wstring unescape_value(std::string_view raw) {
  std::wstring text(raw.size(), L'\0');
  const std::size_t length = Platform::from_utf8(raw, text.data());
  // Restores the escapes in place: the text only gets shorter.
  wchar_t* const begin = text.data();
  const wchar_t* read = std::wmemchr(begin, L'[', length);
  if (read == nullptr) {
    text.resize(length);
    return text;
  }
  const wchar_t* const end = begin + length;
  wchar_t* write = begin + (read - begin);
  while (read < end) {
    if (*read == L'[' && end - read >= 4 && read[1] == L'\\' && read[3] == L']' &&
        (read[2] == L'r' || read[2] == L'n')) {
      *write++ = read[2] == L'r' ? L'\r' : L'\n';
      read += 4;
    } else {
      *write++ = *read++;
    }
  }
  text.resize(static_cast<std::size_t>(write - begin));
  return text;
}

Attributes::Attributes(std::string_view text, std::initializer_list<std::string_view> names) {
  if (names.size() > kMaxNames) throw std::invalid_argument("too many attribute names");
  for (std::string_view name : names) names_[count_++] = name;
  std::array<bool, kMaxNames> found{};
  std::size_t missing = count_;
  AttributeScanner scanner(text);
  RawAttribute attribute;
  while (missing > 0 && scanner.Next(&attribute)) {
    for (std::size_t k = 0; k < count_; ++k) {
      if (found[k] || names_[k] != attribute.name) continue;
      found[k] = true;
      values_[k] = unescape_value(attribute.value);
      --missing;
      break;
    }
  }
}

std::wstring Attributes::take(std::string_view name) {
  for (std::size_t k = 0; k < count_; ++k)
    if (names_[k] == name) return std::move(values_[k]);
  return std::wstring();
}

}  // namespace Tavrin::Report
