#include "platform/script/cesu8_internal.h"

namespace Tavrin::Platform::Script {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void put_unit(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool is_high(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Reads one sequence at `i`; advances `i`. Malformed input gives U+FFFD and
// skips one byte.
char32_t next_code(std::string_view bytes, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(bytes[i]);
  int length = 0;
  char32_t c = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if (lead >= 0xC0 && lead < 0xE0) {
    length = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead < 0xF8) {
    length = 4;
    c = lead & 0x07;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + length > bytes.size()) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(bytes[i + k]);
    if ((next & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    c = (c << 6) | (next & 0x3F);
  }
  i += length;
  return c > 0x10FFFF ? kReplacement : c;
}

}  // namespace

std::string to_engine_text(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t w : text) {
    auto c = static_cast<char32_t>(w);
    if (c > 0x10FFFF) c = kReplacement;
    if (c >= 0x10000) {
      c -= 0x10000;
      put_unit(out, 0xD800 + (c >> 10));
      put_unit(out, 0xDC00 + (c & 0x3FF));
    } else {
      put_unit(out, c);
    }
  }
  return out;
}

std::wstring from_engine_text(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t c = next_code(bytes, i);
    if (is_high(c)) {
      std::size_t after = i;
      const char32_t low = after < bytes.size() ? next_code(bytes, after) : 0;
      if (is_low(low)) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i = after;
      } else {
        c = kReplacement;
      }
    } else if (is_low(c)) {
      c = kReplacement;
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

}  // namespace Tavrin::Platform::Script
