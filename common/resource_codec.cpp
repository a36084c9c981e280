#include "common/resource_codec_internal.h"

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

}  // namespace

Files decode_package(std::istream& in) {
  const std::string archive = read_archive_bytes(in);
  ArchiveSource source(archive);
  boost::archive::binary_iarchive ar(source);
  attach_budget(ar, source);
  Files files;
  ar >> files;
  return files;
}

}  // namespace Tavrin
