// A BSTR is preceded by a header that holds its length in characters; the
// characters are followed by a NUL. The header keeps the characters aligned.
#include "platform/com/bstr.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <new>

namespace {

struct alignas(std::max_align_t) Header {
  std::size_t length;
};

Header* header_of(BSTR text) { return reinterpret_cast<Header*>(text) - 1; }

BSTR allocate(const OLECHAR* text, std::size_t length) {
  if (length > std::numeric_limits<UINT>::max() / sizeof(OLECHAR)) return nullptr;
  void* block = std::malloc(sizeof(Header) + (length + 1) * sizeof(OLECHAR));
  if (!block) return nullptr;
  Header* header = static_cast<Header*>(block);
  header->length = length;
  BSTR chars = reinterpret_cast<BSTR>(header + 1);
  if (text)
    std::wmemcpy(chars, text, length);
  else
    std::wmemset(chars, L'\0', length);
  chars[length] = L'\0';
  return chars;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) { return text ? allocate(text, std::wcslen(text)) : nullptr; }

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) { return allocate(text, length); }

void SysFreeString(BSTR text) {
  if (text) std::free(header_of(text));
}

INT SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length) {
  if (!target) return 0;
  BSTR fresh = allocate(text, length);
  if (!fresh) return 0;
  SysFreeString(*target);
  *target = fresh;
  return 1;
}

UINT SysStringLen(BSTR text) { return text ? static_cast<UINT>(header_of(text)->length) : 0; }

UINT SysStringByteLen(BSTR text) { return SysStringLen(text) * static_cast<UINT>(sizeof(OLECHAR)); }

namespace Tavrin::Platform::Com {

BSTR alloc_bstr(std::wstring_view text) {
  BSTR result = allocate(text.data(), text.size());
  if (!result) throw std::bad_alloc();
  return result;
}

Bstr::Bstr(const Bstr& other)
    : text_(other.text_ ? alloc_bstr(std::wstring_view(other.text_, other.length())) : nullptr) {}

Bstr& Bstr::operator=(const Bstr& other) {
  if (this != &other) {
    Bstr copy(other);
    std::swap(text_, copy.text_);
  }
  return *this;
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
  if (this != &other) {
    SysFreeString(text_);
    text_ = std::exchange(other.text_, nullptr);
  }
  return *this;
}

}  // namespace Tavrin::Platform::Com
