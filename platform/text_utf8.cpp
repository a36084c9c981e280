#include "platform/text.h"

#include <cstdint>
#include <cstring>

namespace Tavrin::Platform {

namespace {

// Copies the ASCII run at the start of [p, end) eight bytes at a time and
// stops at the word that holds the first byte of 0x80 or above.
void copy_ascii_words(const unsigned char*& p, const unsigned char* end, wchar_t*& o) {
  while (end - p >= 8) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if (word & 0x8080808080808080ull) return;
    for (int i = 0; i < 8; ++i) o[i] = static_cast<wchar_t>(p[i]);
    p += 8;
    o += 8;
  }
}

// The sequence that starts with the byte of 0x80 or above at `p` (before
// `end`).
inline Utf8Sequence decode_multibyte(const unsigned char* p, const unsigned char* end) {
  const unsigned lead = *p;
  // Number of continuation bytes, the lead's payload, and the range that
  // the first continuation byte must lie in (narrower after E0, ED, F0, F4).
  int need;
  char32_t c;
  unsigned low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1, c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2, c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3, c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return {kReplacementChar, 1, false};
  }
  const std::ptrdiff_t available = end - p;
  int taken = 1;
  for (; taken <= need && taken < available; ++taken) {
    const unsigned next = p[taken];
    if (next < low || next > high) break;
    low = 0x80, high = 0xBF;
    c = (c << 6) | (next & 0x3F);
  }
  const auto length = static_cast<std::size_t>(taken);
  if (taken <= need) return {kReplacementChar, length, taken == available};
  return {c, length, false};
}

}  // namespace

std::string to_utf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  char bytes[4];
  for (wchar_t w : text) {
    const auto c = static_cast<char32_t>(static_cast<unsigned>(w));
    if (c < 0x80)
      out += static_cast<char>(c);
    else
      out.append(bytes, encode_utf8(c, bytes));
  }
  return out;
}

std::size_t from_utf8(std::string_view bytes, wchar_t* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  wchar_t* o = out;
  while (p < end) {
    copy_ascii_words(p, end, o);
    if (p == end) break;
    if (*p < 0x80) {
      *o++ = static_cast<wchar_t>(*p++);
      continue;
    }
    const Utf8Sequence s = decode_multibyte(p, end);
    *o++ = static_cast<wchar_t>(s.code_point);
    p += s.length;
  }
  return static_cast<std::size_t>(o - out);
}

std::wstring from_utf8(std::string_view bytes) {
  std::wstring text(bytes.size(), L'\0');
  text.resize(from_utf8(bytes, text.data()));
  return text;
}

Utf8Sequence decode_utf8_sequence(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (*p < 0x80) return {*p, 1, false};
  return decode_multibyte(p, p + bytes.size());
}

std::string narrow_low8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t w : text) out += static_cast<char>(static_cast<unsigned>(w) & 0xFF);
  return out;
}

}  // namespace Tavrin::Platform
