// GUIDs: the 128-bit identifiers of classes (CLSID) and interfaces (IID).
// Their text form is "{8-4-4-4-12}" in upper-case hexadecimal, with the
// first three groups read as numbers and the last two as bytes in order, as
// Windows writes them. Identifiers known at compile time are written from
// their text: `constexpr CLSID kId = make_guid("{8535EA83-...}");`.
#ifndef QUORVANE_PLATFORM_COM_GUID_H_
#define QUORVANE_PLATFORM_COM_GUID_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/com/hresult.h"
#include "platform/export.h"
#include "platform/win32/types.h"

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

// Writes the text form of `guid` with its terminating NUL into `buffer` of
// `size` characters. Returns the number of characters written including the
// NUL (39), or 0 when the buffer is too small.
QUORVANE_PLATFORM_EXPORT int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);

// Reads a text form (hexadecimal digits of either case, braces required).
// For anything else CLSIDFromString gives CO_E_CLASSSTRING and
// IIDFromString E_INVALIDARG; the result is GUID_NULL then.
QUORVANE_PLATFORM_EXPORT HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
QUORVANE_PLATFORM_EXPORT HRESULT IIDFromString(LPCOLESTR text, IID* iid);

namespace Tavrin::Platform::Com {

namespace detail {
constexpr int hex_digit(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                : -1;
}
template <class Char>
constexpr std::optional<GUID> parse(std::basic_string_view<Char> text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::uint8_t bytes[16] = {};
  std::size_t pos = 1;
  for (int i = 0; i < 16; ++i) {
    if (pos == 9 || pos == 14 || pos == 19 || pos == 24) {
      if (text[pos] != '-') return std::nullopt;
      ++pos;
    }
    const Char hi = text[pos], lo = text[pos + 1];
    if (hi > 0x7F || lo > 0x7F) return std::nullopt;
    const int h = hex_digit(static_cast<char>(hi)), l = hex_digit(static_cast<char>(lo));
    if (h < 0 || l < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(h * 16 + l);
    pos += 2;
  }
  GUID g{};
  g.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
            (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  return g;
}
}  // namespace detail

// The GUID of a text form; std::nullopt when the text is not one.
constexpr std::optional<GUID> parse_guid(std::wstring_view text) { return detail::parse(text); }

// A GUID written in the source. A text that is no GUID fails to compile in a
// constant expression and throws std::invalid_argument otherwise.
constexpr GUID make_guid(std::string_view text) {
  const std::optional<GUID> g = detail::parse(text);
  if (!g) throw std::invalid_argument("not a GUID text");
  return *g;
}

// The text form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
QUORVANE_PLATFORM_EXPORT std::wstring guid_to_string(const GUID& guid);

// Orders GUIDs (by bytes) so that they can key maps.
struct GuidLess {
  constexpr bool operator()(const GUID& a, const GUID& b) const {
    if (a.Data1 != b.Data1) return a.Data1 < b.Data1;
    if (a.Data2 != b.Data2) return a.Data2 < b.Data2;
    if (a.Data3 != b.Data3) return a.Data3 < b.Data3;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return a.Data4[i] < b.Data4[i];
    return false;
  }
};

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_GUID_H_
