// Registry text: key paths, name folding and the UTF-16LE form of string
// data.
#include <locale.h>
#include <wctype.h>

#include "platform/registry.h"
#include "platform/registry_hive_internal.h"
#include "platform/text.h"

namespace Tavrin::Platform {

namespace {

void put_unit(std::string& out, unsigned unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

}  // namespace

std::string registry_string_bytes(std::wstring_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (wchar_t w : text) {
    auto c = static_cast<unsigned>(w);
    if (c > 0x10FFFF) c = 0xFFFD;
    if (c >= 0x10000) {
      c -= 0x10000;
      put_unit(out, 0xD800 | (c >> 10));
      put_unit(out, 0xDC00 | (c & 0x3FF));
    } else {
      put_unit(out, c);
    }
  }
  return out;
}

std::wstring registry_string_text(std::string_view bytes) {
  std::wstring out;
  const size_t units = bytes.size() / 2;
  auto unit_at = [&](size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[2 * i])) |
           static_cast<unsigned>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8;
  };
  for (size_t i = 0; i < units; ++i) {
    const unsigned u = unit_at(i);
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const unsigned low = unit_at(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    out += static_cast<wchar_t>(u);
  }
  return out;
}

namespace RegistryDetail {

Path split_path(std::wstring_view text) {
  Path parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(L'\\', start);
    if (end == std::wstring_view::npos) end = text.size();
    if (end > start) parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string fold_name(std::wstring_view name) {
  // The C.UTF-8 locale carries the Unicode case mappings; the "C" locale
  // that a process starts in maps ASCII only.
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  std::wstring folded(name);
  for (wchar_t& c : folded) {
    if (static_cast<unsigned>(c) > 0xFFFF) continue;
    if (utf8) {
      const wint_t upper = towupper_l(static_cast<wint_t>(c), utf8);
      if (upper <= 0xFFFF) c = static_cast<wchar_t>(upper);
    } else if (c >= L'a' && c <= L'z') {
      c = static_cast<wchar_t>(c - L'a' + L'A');
    }
  }
  return to_utf8(folded);
}

}  // namespace RegistryDetail
}  // namespace Tavrin::Platform
