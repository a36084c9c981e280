// Decoding of test-log bytes into the converter's wide text. A log may hold
// anything, so decoding never fails and never stops: every ill-formed part of
// the input becomes U+FFFD and decoding goes on with the bytes after it.
#ifndef QUORVANE_RUNNER_REPORT_UTF8_DECODE_H_
#define QUORVANE_RUNNER_REPORT_UTF8_DECODE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace Tavrin::Report {

// The replacement character written for bytes that do not decode.
inline constexpr wchar_t kReplacementChar = 0xFFFD;

// Decodes `bytes` as UTF-8 into `out`, which must have room for
// bytes.size() code points, and returns the number of code points written.
// Each maximal ill-formed subpart (a lead byte followed by as many of its
// expected continuation bytes as are valid, or a single byte that cannot
// start a sequence) becomes one U+FFFD, as Unicode recommends; overlong
// forms, surrogates and values above U+10FFFF are ill-formed.
std::size_t decode_utf8(std::string_view bytes, wchar_t* out);

// The same, as a string.
std::wstring decode_utf8(std::string_view bytes);

}  // namespace Tavrin::Report

#endif  // QUORVANE_RUNNER_REPORT_UTF8_DECODE_H_
