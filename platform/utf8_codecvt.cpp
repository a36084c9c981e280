#include "platform/utf8_codecvt.h"

#include <string>
#include <string_view>

#include "platform/text.h"

namespace Tavrin::Platform {

namespace {

// Length of the sequence a lead byte starts; 0 for a byte that cannot lead.
int sequence_length(unsigned char b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// Whether [p, end) ends in the beginning of a sequence that more bytes could
// still complete; returns its start, or end when there is none.
const char* incomplete_tail(const char* begin, const char* end) {
  const char* p = end;
  for (int back = 1; back <= 3 && p > begin; ++back) {
    --p;
    const auto b = static_cast<unsigned char>(*p);
    if ((b & 0xC0) == 0x80) continue;
    const int len = sequence_length(b);
    return (len > back) ? p : end;
  }
  return end;
}

}  // namespace

std::codecvt_base::result Utf8Codecvt::do_out(state_type&, const intern_type* from,
                                              const intern_type* from_end, const intern_type*& from_next,
                                              extern_type* to, extern_type* to_end,
                                              extern_type*& to_next) const {
  from_next = from;
  to_next = to;
  while (from_next < from_end) {
    const std::string bytes = to_utf8(std::wstring_view(from_next, 1));
    if (static_cast<std::size_t>(to_end - to_next) < bytes.size()) return partial;
    for (char c : bytes) *to_next++ = c;
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
  const char* usable_end = incomplete_tail(from, from_end);
  while (from_next < usable_end && to_next < to_end) {
    const auto b = static_cast<unsigned char>(*from_next);
    int len = sequence_length(b);
    if (len == 0 || from_next + len > usable_end) len = 1;
    const std::wstring decoded = from_utf8(std::string_view(from_next, len));
    if (decoded.size() != 1) {
      // Ill-formed: one replacement for the lead byte, then resynchronise.
      *to_next++ = L'\uFFFD';
      ++from_next;
      continue;
    }
    *to_next++ = decoded[0];
    from_next += len;
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
