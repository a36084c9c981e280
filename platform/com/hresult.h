// HRESULT: the component system's 32-bit result code, with the values the
// Windows headers give them, so that texts such as "COM error (80004005)"
// come out the same on every platform.
#ifndef QUORVANE_PLATFORM_COM_HRESULT_H_
#define QUORVANE_PLATFORM_COM_HRESULT_H_

#include <cstdint>

#include "platform/win32/types.h"

constexpr HRESULT hresult_of(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hresult_of(0x80004001);
constexpr HRESULT E_NOINTERFACE = hresult_of(0x80004002);
constexpr HRESULT E_POINTER = hresult_of(0x80004003);
constexpr HRESULT E_FAIL = hresult_of(0x80004005);
constexpr HRESULT E_UNEXPECTED = hresult_of(0x8000FFFF);
constexpr HRESULT E_ACCESSDENIED = hresult_of(0x80070005);
constexpr HRESULT E_OUTOFMEMORY = hresult_of(0x8007000E);
constexpr HRESULT E_INVALIDARG = hresult_of(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = hresult_of(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresult_of(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = hresult_of(0x80040154);
constexpr HRESULT CO_E_NOTINITIALIZED = hresult_of(0x800401F0);
constexpr HRESULT CO_E_CLASSSTRING = hresult_of(0x800401F3);
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = hresult_of(0x80080005);
constexpr HRESULT RPC_E_CHANGED_MODE = hresult_of(0x80010106);
constexpr HRESULT RPC_E_DISCONNECTED = hresult_of(0x80010108);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hresult_of(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = hresult_of(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = hresult_of(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = hresult_of(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = hresult_of(0x80020006);
constexpr HRESULT DISP_E_EXCEPTION = hresult_of(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = hresult_of(0x8002000A);
constexpr HRESULT DISP_E_BADPARAMCOUNT = hresult_of(0x8002000E);
constexpr HRESULT DISP_E_NONAMEDARGS = hresult_of(0x80020007);
constexpr HRESULT DISP_E_BADVARTYPE = hresult_of(0x80020008);
constexpr HRESULT DISP_E_BADINDEX = hresult_of(0x8002000B);
constexpr HRESULT DISP_E_ARRAYISLOCKED = hresult_of(0x8002000D);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = hresult_of(0x8002802B);
constexpr HRESULT CO_E_DLLNOTFOUND = hresult_of(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = hresult_of(0x800401F9);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr int FACILITY_WIN32 = 7;
constexpr int HRESULT_FACILITY(HRESULT hr) { return (static_cast<std::uint32_t>(hr) >> 16) & 0x1FFF; }
constexpr int HRESULT_CODE(HRESULT hr) { return static_cast<std::uint32_t>(hr) & 0xFFFF; }

// Win32 error codes are errno values here (see platform/registry.h).
constexpr HRESULT HRESULT_FROM_WIN32(unsigned long code) {
  return static_cast<HRESULT>(code) <= 0
             ? static_cast<HRESULT>(code)
             : static_cast<HRESULT>((code & 0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

#endif  // QUORVANE_PLATFORM_COM_HRESULT_H_
