// A UTF-8 conversion facet for wide streams that never fails: characters
// that UTF-8 cannot carry are written as U+FFFD, and ill-formed input bytes
// are read as U+FFFD. Imbue it to make a wide stream read or write UTF-8
// without a byte-order mark.
#ifndef QUORVANE_PLATFORM_UTF8_CODECVT_H_
#define QUORVANE_PLATFORM_UTF8_CODECVT_H_

#include <cwchar>
#include <locale>

#include "platform/export.h"

namespace Tavrin::Platform {

class QUORVANE_PLATFORM_EXPORT Utf8Codecvt final : public std::codecvt<wchar_t, char, std::mbstate_t> {
 public:
  explicit Utf8Codecvt(std::size_t refs = 0) : std::codecvt<wchar_t, char, std::mbstate_t>(refs) {}

 protected:
  result do_out(state_type& state, const intern_type* from, const intern_type* from_end,
                const intern_type*& from_next, extern_type* to, extern_type* to_end,
                extern_type*& to_next) const override;
  result do_in(state_type& state, const extern_type* from, const extern_type* from_end,
               const extern_type*& from_next, intern_type* to, intern_type* to_end,
               intern_type*& to_next) const override;
  result do_unshift(state_type&, extern_type* to, extern_type*, extern_type*& to_next) const override {
    to_next = to;
    return noconv;
  }
  int do_encoding() const noexcept override { return 0; }
  bool do_always_noconv() const noexcept override { return false; }
  int do_length(state_type& state, const extern_type* from, const extern_type* end,
                std::size_t max) const override;
  int do_max_length() const noexcept override { return 4; }
};

// A copy of `base` whose wide-character conversion is Utf8Codecvt.
QUORVANE_PLATFORM_EXPORT std::locale utf8_locale(const std::locale& base = std::locale());

}  // namespace Tavrin::Platform

#endif  // QUORVANE_PLATFORM_UTF8_CODECVT_H_
