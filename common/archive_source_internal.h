// Internal to libQuorvaneCommon. The decompressed archive of a resource
// package is read from memory, so that the load code of `Files` and `File`
// can ask how many bytes are left before it trusts a count or a length that
// the archive claims.
#ifndef QUORVANE_COMMON_ARCHIVE_SOURCE_INTERNAL_H_
#define QUORVANE_COMMON_ARCHIVE_SOURCE_INTERNAL_H_

#include <cstddef>
#include <streambuf>
#include <string_view>

#include <boost/archive/binary_iarchive.hpp>

namespace Tavrin {

// The largest decompressed archive that a package may hold. Support scripts
// and their images come to a few megabytes; the cap keeps a gzip bomb from
// taking the machine's memory.
inline constexpr std::size_t kMaxArchiveBytes = 256u << 20;

// A read-only stream buffer over bytes that outlive it.
class ArchiveSource final : public std::streambuf {
 public:
  explicit ArchiveSource(std::string_view bytes) {
    char* begin = const_cast<char*>(bytes.data());
    setg(begin, begin, begin + bytes.size());
  }
  std::size_t remaining() const { return static_cast<std::size_t>(egptr() - gptr()); }
};

// Attached to an archive as a Boost.Serialization helper; names the source
// whose remaining bytes bound every count and length.
struct ArchiveBudget {
  const ArchiveSource* source = nullptr;
};

inline char archive_budget_key;

// Ties ar to source. Call right after constructing the archive on source.
inline void attach_budget(boost::archive::binary_iarchive& ar, const ArchiveSource& source) {
  ar.get_helper<ArchiveBudget>(&archive_budget_key).source = &source;
}

// Bytes left in the archive's source; kMaxArchiveBytes when the archive was
// made on some other stream, so a count can still not run away.
inline std::size_t bytes_left(boost::archive::binary_iarchive& ar) {
  const ArchiveSource* source = ar.get_helper<ArchiveBudget>(&archive_budget_key).source;
  return source != nullptr ? source->remaining() : kMaxArchiveBytes;
}

}  // namespace Tavrin

#endif  // QUORVANE_COMMON_ARCHIVE_SOURCE_INTERNAL_H_
