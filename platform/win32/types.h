// The Windows base types that the stand-ins for the Windows interfaces
// (registry, component system, automation) are declared with. Only the
// types live here; the functions and constants that go with them are in
// their own headers (platform/registry.h, platform/com/hresult.h,
// platform/com/guid.h ...). LONG and ULONG are `long` here (64 bits);
// automation's 32-bit types (VT_I4, VT_UI4) still carry values of the
// 32-bit range only: the coercions check that range.
#ifndef QUORVANE_PLATFORM_WIN32_TYPES_H_
#define QUORVANE_PLATFORM_WIN32_TYPES_H_

#include <cstdint>

using LONG = long;
using ULONG = unsigned long;
using DWORD = unsigned long;
using BYTE = unsigned char;
using WORD = unsigned short;
using USHORT = unsigned short;
using SHORT = short;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using LONGLONG = long long;
using ULONGLONG = unsigned long long;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using LPCWSTR = const wchar_t*;
using LPWSTR = wchar_t*;
using LCID = DWORD;
using SCODE = std::int32_t;

using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// Automation's length-prefixed string (functions in platform/com/bstr.h)
// and the kind of a VARIANT (values in platform/com/variant.h).
using BSTR = OLECHAR*;
using VARTYPE = unsigned short;

// The component system's 32-bit result code (values in
// platform/com/hresult.h).
using HRESULT = std::int32_t;

// The 128-bit identifiers of classes (CLSID) and interfaces (IID); their
// text form and helpers are in platform/com/guid.h.
struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

// An open registry key. Opaque: a handle number, never dereferenced.
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

// Automation's boolean: VARIANT_TRUE is all bits set.
using VARIANT_BOOL = short;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Member identifiers of dispatch interfaces.
using DISPID = LONG;
using MEMBERID = DISPID;

constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

#endif  // QUORVANE_PLATFORM_WIN32_TYPES_H_
