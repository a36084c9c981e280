#include "common/resource_codec_internal.h"

#include <cstring>

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/basic_archive.hpp>
#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/iostreams/device/back_inserter.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <boost/iostreams/filtering_streambuf.hpp>

#include "common/archive_source_internal.h"
#include "common/script_injector.h"
#include "common/xor_filter_internal.h"

namespace Tavrin {

namespace io = boost::iostreams;

std::string encode_package(const Files& files) {
  std::string bytes;
  {
    io::filtering_ostreambuf out;
    out.push(io::gzip_compressor());
    out.push(XorFilter());
    out.push(io::back_inserter(bytes));
    {
      boost::archive::binary_oarchive ar(out);
      ar << files;
    }
    // Closing the chain writes the gzip trailer.
    out.reset();
  }
  return bytes;
}

namespace {

// Undoes the XOR and gzip layers, refusing to grow past kMaxArchiveBytes.
std::string read_archive_bytes(std::istream& in) {
  io::filtering_istreambuf chain;
  chain.push(io::gzip_decompressor());
  chain.push(XorFilter());
  chain.push(in);

  std::string archive;
  char buffer[64 * 1024];
  for (;;) {
    const std::streamsize got = chain.sgetn(buffer, sizeof buffer);
    if (got <= 0) break;
    if (archive.size() + static_cast<std::size_t>(got) > kMaxArchiveBytes) {
      throw ScriptInjector::PackageError("Resource package too large");
    }
    archive.append(buffer, static_cast<std::size_t>(got));
  }
  return archive;
}

// The archive starts with the library's signature, stored as a string: its
// length as a size_t, then its bytes. The archive's constructor reads that
// string before any of our checks can run, and would allocate whatever
// length the bytes claim; so the header is checked here first.
void check_archive_header(const std::string& archive) {
  const char* signature = boost::archive::BOOST_ARCHIVE_SIGNATURE();
  const std::size_t length = std::strlen(signature);
  std::size_t claimed = 0;
  if (archive.size() < sizeof claimed + length) {
    throw boost::archive::archive_exception(boost::archive::archive_exception::invalid_signature);
  }
  std::memcpy(&claimed, archive.data(), sizeof claimed);
  if (claimed != length || archive.compare(sizeof claimed, length, signature) != 0) {
    throw boost::archive::archive_exception(boost::archive::archive_exception::invalid_signature);
  }
}

}  // namespace

Files decode_package(std::istream& in) {
  const std::string archive = read_archive_bytes(in);
  check_archive_header(archive);
  ArchiveSource source(archive);
  boost::archive::binary_iarchive ar(source);
  attach_budget(ar, source);
  Files files;
  ar >> files;
  return files;
}

}  // namespace Tavrin
