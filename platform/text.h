// Conversions between the programs' wide strings and the bytes that cross
// the operating-system boundary. Console, files, logs and the "ANSI code
// page" are UTF-8 here; wchar_t is a 32-bit code point.
//
// Decoding never fails and never stops: each maximal ill-formed subpart of
// the input (a lead byte followed by as many of its expected continuation
// bytes as are valid, or a single byte that cannot start a sequence) becomes
// one U+FFFD, as Unicode recommends, and decoding goes on with the bytes
// after it. Overlong forms, surrogates and values above U+10FFFF are
// ill-formed. Encoding writes U+FFFD for the code points UTF-8 cannot carry
// (surrogates, values above U+10FFFF).
#ifndef QUORVANE_PLATFORM_TEXT_H_
#define QUORVANE_PLATFORM_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/export.h"

namespace Tavrin::Platform {

// The replacement character that stands for what does not convert.
inline constexpr wchar_t kReplacementChar = 0xFFFD;

// Writes the UTF-8 encoding of `c` (one to four bytes) at `out` and returns
// the end of what it wrote.
inline char* encode_utf8(char32_t c, char* out) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementChar;
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
    return out;
  }
  if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  }
  *out++ = static_cast<char>(0x80 | (c & 0x3F));
  return out;
}

// UTF-8 encoding of a wide string.
QUORVANE_PLATFORM_EXPORT std::string to_utf8(std::wstring_view text);

// Decodes UTF-8.
QUORVANE_PLATFORM_EXPORT std::wstring from_utf8(std::string_view bytes);

// Decodes UTF-8 into `out`, which must have room for bytes.size() code
// points, and returns the number of code points written. The fast path for
// bulk text (test logs).
QUORVANE_PLATFORM_EXPORT std::size_t from_utf8(std::string_view bytes, wchar_t* out);

// The code point at the start of `bytes`, or the maximal ill-formed subpart
// there: `length` bytes (at least one) that stand for `code_point`
// (U+FFFD when ill-formed). `cut` tells that the bytes end inside a
// sequence that more bytes could still complete; `length` then counts all
// of them. For decoding input that comes in pieces. `bytes` must not be
// empty.
struct Utf8Sequence {
  char32_t code_point;
  std::size_t length;
  bool cut;
};
QUORVANE_PLATFORM_EXPORT Utf8Sequence decode_utf8_sequence(std::string_view bytes);

// Keeps the low 8 bits of each code unit: the narrowing that messages use.
QUORVANE_PLATFORM_EXPORT std::string narrow_low8(std::wstring_view text);

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_TEXT_H_
