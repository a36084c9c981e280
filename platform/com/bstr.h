// BSTR: automation's string. A BSTR points at the first character of a
// wide string that carries its length in front of it and a NUL behind it,
// allocated by SysAllocString and friends and freed by SysFreeString. The
// null BSTR is a valid value and reads as the empty string wherever a text is
// expected; methods that must tell "no string" from "empty" test for null.
// Texts may contain NUL characters: the length, not the NUL, ends them.
//
// Ownership follows automation's rules: a callee does not free an in-BSTR;
// an out-BSTR (BSTR*) is allocated by the callee and freed by the caller.
// Bstr is the owning wrapper for C++ code.
#ifndef QUORVANE_PLATFORM_COM_BSTR_H_
#define QUORVANE_PLATFORM_COM_BSTR_H_

#include <string>
#include <string_view>
#include <utility>

#include "platform/com/hresult.h"
#include "platform/export.h"
#include "platform/win32/types.h"

// A new BSTR holding the NUL-terminated `text`; null for a null `text` or
// when memory runs out.
QUORVANE_PLATFORM_EXPORT BSTR SysAllocString(const OLECHAR* text);
// A new BSTR of `length` characters copied from `text`, or left zeroed when
// `text` is null. Null when memory runs out.
QUORVANE_PLATFORM_EXPORT BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Frees a BSTR; a null one is ignored.
QUORVANE_PLATFORM_EXPORT void SysFreeString(BSTR text);
// Replaces *target by a copy of `text` (length `length`). FALSE when memory
// runs out (then *target is unchanged).
QUORVANE_PLATFORM_EXPORT INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);
// The length in characters; 0 for null.
QUORVANE_PLATFORM_EXPORT UINT SysStringLen(BSTR text);
// The length in bytes; 0 for null.
QUORVANE_PLATFORM_EXPORT UINT SysStringByteLen(BSTR text);

namespace Tavrin::Platform::Com {

// The text of a BSTR (empty for null).
inline std::wstring bstr_text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// A new BSTR holding `text`. Throws std::bad_alloc when memory runs out.
QUORVANE_PLATFORM_EXPORT BSTR alloc_bstr(std::wstring_view text);

// Hands a new BSTR holding `text` out through an out-BSTR, for a method's
// `return give_bstr(...)`: S_OK, or E_OUTOFMEMORY with *out null.
inline HRESULT give_bstr(std::wstring_view text, BSTR* out) {
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// Owns one BSTR (possibly null) and frees it when it goes. Copies are deep.
class QUORVANE_PLATFORM_EXPORT Bstr {
 public:
  Bstr() = default;
  // A non-null BSTR holding `text`. Throws std::bad_alloc.
  explicit Bstr(std::wstring_view text) : text_(alloc_bstr(text)) {}
  explicit Bstr(const wchar_t* text) : Bstr(std::wstring_view(text)) {}
  explicit Bstr(const std::wstring& text) : Bstr(std::wstring_view(text)) {}
  Bstr(const Bstr& other);
  Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  Bstr& operator=(const Bstr& other);
  Bstr& operator=(Bstr&& other) noexcept;
  ~Bstr() { SysFreeString(text_); }

  // Takes over a BSTR the caller owns.
  static Bstr attach(BSTR text) {
    Bstr b;
    b.text_ = text;
    return b;
  }
  // Gives up ownership; holds null afterwards.
  BSTR detach() { return std::exchange(text_, nullptr); }
  // Frees the held string and returns the address of the null BSTR, for a
  // callee's out-parameter.
  BSTR* put() {
    SysFreeString(std::exchange(text_, nullptr));
    return &text_;
  }

  BSTR get() const { return text_; }
  bool is_null() const { return text_ == nullptr; }
  UINT length() const { return SysStringLen(text_); }
  std::wstring str() const { return bstr_text(text_); }

 private:
  BSTR text_ = nullptr;
};

}  // namespace Tavrin::Platform::Com

#endif  // QUORVANE_PLATFORM_COM_BSTR_H_
