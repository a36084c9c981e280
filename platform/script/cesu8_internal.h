// Text between the programs' wide strings and the script engine's strings.
//
// The engine keeps strings as 16-bit code units encoded one by one in
// UTF-8 style (CESU-8): a character outside the Basic Multilingual Plane is
// a surrogate pair there, each half written as its own three-byte
// sequence, so that the script sees two units as ECMAScript requires. Wide
// strings here hold one wchar_t per character. The two functions convert
// between the forms with no loss for well-formed text; the engine also
// accepts four-byte UTF-8 sequences, which read as one character.
#ifndef QUORVANE_PLATFORM_SCRIPT_CESU8_INTERNAL_H_
#define QUORVANE_PLATFORM_SCRIPT_CESU8_INTERNAL_H_

#include <string>
#include <string_view>

namespace Tavrin::Platform::Script {

// The engine's bytes for `text`: characters above U+FFFF become surrogate
// pairs; a zero character is kept (the engine's strings carry a length).
std::string to_engine_text(std::wstring_view text);

// A wide string from the engine's bytes: a high surrogate followed by a low
// one joins into one character; a lone surrogate and any malformed byte
// sequence read as U+FFFD.
std::wstring from_engine_text(std::string_view bytes);

}  // namespace Tavrin::Platform::Script

#endif  // QUORVANE_PLATFORM_SCRIPT_CESU8_INTERNAL_H_
