// The outermost layer of the resource package: every byte of Resource.dat is
// the byte of the compressed stream XORed with one byte of a 16-byte key,
// chosen by the byte's position in the whole file. The same filter reads and
// writes; it is a Boost.Iostreams filter, so it sits in a chain between the
// file and the gzip filter.
#ifndef QUORVANE_COMMON_XOR_FILTER_INTERNAL_H_
#define QUORVANE_COMMON_XOR_FILTER_INTERNAL_H_

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <ios>

#include <boost/iostreams/categories.hpp>
#include <boost/iostreams/operations.hpp>

namespace Tavrin {

// The package key, 16 characters without a terminator.
inline constexpr std::array<char, 16> kPackageKey = {
    'G', 'A', 'R', 'V', 'E', 'L', 'T', 'O', 'm', 'i', 's', 't', 'r', 'a', 'n', 'e'};

// XORs n bytes at data with the key, the first of them being the byte at
// stream position `position`.
inline void xor_with_key(char* data, std::size_t n, std::uint64_t position,
                         const std::array<char, 16>& key = kPackageKey) {
  for (std::size_t i = 0; i < n; ++i) data[i] ^= key[(position + i) & 15];
}

// Dual-use filter: in an input chain it decodes what it reads, in an output
// chain it encodes what it writes. Each chain holds its own copy, which
// counts positions from 0 at the first byte that passes through it.
class XorFilter {
 public:
  using char_type = char;
  struct category : boost::iostreams::multichar_dual_use_filter_tag {};

  explicit XorFilter(const std::array<char, 16>& key = kPackageKey) : key_(key) {}

  template <typename Source>
  std::streamsize read(Source& source, char* s, std::streamsize n) {
    const std::streamsize got = boost::iostreams::read(source, s, n);
    if (got > 0) {
      xor_with_key(s, static_cast<std::size_t>(got), position_, key_);
      position_ += static_cast<std::uint64_t>(got);
    }
    return got;
  }

  template <typename Sink>
  std::streamsize write(Sink& sink, const char* s, std::streamsize n) {
    char buffer[4096];
    std::streamsize done = 0;
    while (done < n) {
      const std::streamsize chunk = std::min<std::streamsize>(n - done, sizeof buffer);
      std::memcpy(buffer, s + done, static_cast<std::size_t>(chunk));
      xor_with_key(buffer, static_cast<std::size_t>(chunk), position_, key_);
      const std::streamsize written = boost::iostreams::write(sink, buffer, chunk);
      if (written <= 0) break;
      position_ += static_cast<std::uint64_t>(written);
      done += written;
      if (written < chunk) break;
    }
    return done;
  }

 private:
  std::array<char, 16> key_;
  std::uint64_t position_ = 0;
};

}  // namespace Tavrin

#endif  // QUORVANE_COMMON_XOR_FILTER_INTERNAL_H_
