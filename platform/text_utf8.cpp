#include "platform/text.h"

namespace Tavrin::Platform {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

void append_utf8(std::string& out, char32_t c) {
  if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
  if (c > 0x10FFFF) c = kReplacement;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string to_utf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) append_utf8(out, static_cast<char32_t>(static_cast<unsigned>(w)));
  return out;
}

std::wstring from_utf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      out += static_cast<wchar_t>(b);
      ++i;
      continue;
    }
    size_t len;
    char32_t c;
    char32_t min;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, c = b & 0x07, min = 0x10000;
    } else {
      out += kReplacement;
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k < len && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k) c = (c << 6) | (p[i + k] & 0x3F);
    if (k < len || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      // Ill-formed: replace the lead byte and resynchronise on the next one.
      out += kReplacement;
      ++i;
      continue;
    }
    out += static_cast<wchar_t>(c);
    i += len;
  }
  return out;
}

std::string narrow_low8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) out += static_cast<char>(static_cast<unsigned>(w) & 0xFF);
  return out;
}

}  // namespace Tavrin::Platform
