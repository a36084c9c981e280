#include "platform/utf8_codecvt.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace Tavrin::Platform {

std::codecvt_base::result Utf8Codecvt::do_out(state_type&, const intern_type* from,
                                              const intern_type* from_end, const intern_type*& from_next,
                                              extern_type* to, extern_type* to_end,
                                              extern_type*& to_next) const {
  from_next = from;
  to_next = to;
  char bytes[4];
  while (from_next < from_end) {
    const char* const bytes_end = encode_utf8(static_cast<char32_t>(static_cast<unsigned>(*from_next)), bytes);
    if (to_end - to_next < bytes_end - bytes) return partial;
    to_next = std::copy(static_cast<const char*>(bytes), bytes_end, to_next);
    ++from_next;
  }
  return ok;
}

std::codecvt_base::result Utf8Codecvt::do_in(state_type&, const extern_type* from,
                                             const extern_type* from_end, const extern_type*& from_next,
                                             intern_type* to, intern_type* to_end,
                                             intern_type*& to_next) const {
  from_next = from;
  to_next = to;
  // Hold back a sequence cut by the buffer's end; the stream hands it to us
  // again with the bytes that follow. At the real end of the input it stays
  // unread, as a cut-off sequence at the end of a file would be dropped.
  while (from_next < from_end && to_next < to_end) {
    const Utf8Sequence s = decode_utf8_sequence(std::string_view(from_next, from_end - from_next));
    if (s.cut) break;
    *to_next++ = static_cast<intern_type>(s.code_point);
    from_next += s.length;
  }
  if (from_next == from_end) return ok;
  return partial;
}

int Utf8Codecvt::do_length(state_type& state, const extern_type* from, const extern_type* end,
                           std::size_t max) const {
  std::wstring buffer(max, L'\0');
  const extern_type* from_next = from;
  intern_type* to_next = buffer.data();
  do_in(state, from, end, from_next, buffer.data(), buffer.data() + max, to_next);
  return static_cast<int>(from_next - from);
}

std::locale utf8_locale(const std::locale& base) { return std::locale(base, new Utf8Codecvt); }

}  // namespace Tavrin::Platform
