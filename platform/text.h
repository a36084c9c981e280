// Conversions between the programs' wide strings and the bytes that cross
// the operating-system boundary. Console, files, logs and the "ANSI code
// page" are UTF-8 here; wchar_t is a 32-bit code point.
#ifndef QUORVANE_PLATFORM_TEXT_H_
#define QUORVANE_PLATFORM_TEXT_H_

#include <string>
#include <string_view>

#include "platform/export.h"

namespace Tavrin::Platform {

// UTF-8 encoding of a wide string. Code points that UTF-8 cannot carry
// (surrogates, values above U+10FFFF) become U+FFFD.
QUORVANE_PLATFORM_EXPORT std::string to_utf8(std::wstring_view text);

// Decodes UTF-8. Every ill-formed sequence (stray continuation byte,
// overlong form, surrogate, cut-off sequence, byte 0xF8 and above) becomes
// one U+FFFD and decoding goes on with the next byte.
QUORVANE_PLATFORM_EXPORT std::wstring from_utf8(std::string_view bytes);

// Keeps the low 8 bits of each code unit: the narrowing that messages use.
QUORVANE_PLATFORM_EXPORT std::string narrow_low8(std::wstring_view text);

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_TEXT_H_
