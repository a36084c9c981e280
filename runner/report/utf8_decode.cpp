#include "runner/report/utf8_decode.h"

#include <cstdint>
#include <cstring>

namespace Tavrin::Report {

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

}  // namespace

std::size_t decode_utf8(std::string_view bytes, wchar_t* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  wchar_t* o = out;
  while (p < end) {
    copy_ascii_words(p, end, o);
    if (p == end) break;
    const unsigned lead = *p;
    if (lead < 0x80) {
      *o++ = static_cast<wchar_t>(lead);
      ++p;
      continue;
    }
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
      *o++ = kReplacementChar;
      ++p;
      continue;
    }
    const std::ptrdiff_t available = end - p;
    int taken = 1;
    for (; taken <= need && taken < available; ++taken) {
      const unsigned next = p[taken];
      if (next < low || next > high) break;
      low = 0x80, high = 0xBF;
      c = (c << 6) | (next & 0x3F);
    }
    if (taken <= need) {
      *o++ = kReplacementChar;
      p += taken;
      continue;
    }
    *o++ = static_cast<wchar_t>(c);
    p += taken;
  }
  return static_cast<std::size_t>(o - out);
}

std::wstring decode_utf8(std::string_view bytes) {
  std::wstring text(bytes.size(), L'\0');
  text.resize(decode_utf8(bytes, text.data()));
  return text;
}

}  // namespace Tavrin::Report
