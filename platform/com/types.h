// The Windows base types that the component system's interfaces use. They
// are declared exactly as platform/registry.h declares the ones both use,
// so that either header may come first. LONG and ULONG are `long` here (64
// bits); automation's 32-bit types (VT_I4, VT_UI4) still carry values of
// the 32-bit range only: the coercions check that range.
#ifndef QUORVANE_PLATFORM_COM_TYPES_H_
#define QUORVANE_PLATFORM_COM_TYPES_H_

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
using LPCWSTR = const wchar_t*;
using LPWSTR = wchar_t*;
using LCID = DWORD;
using SCODE = std::int32_t;

using OLECHAR = wchar_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// Automation's boolean: VARIANT_TRUE is all bits set.
using VARIANT_BOOL = short;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Member identifiers of dispatch interfaces.
using DISPID = LONG;
using MEMBERID = DISPID;

constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

#endif  // QUORVANE_PLATFORM_COM_TYPES_H_
