// Internal to libQuorvaneCommon. The layers of Resource.dat, from the
// outside in: the XOR layer (common/xor_filter_internal.h), one gzip member
// (default parameters, no name, no comment, modification time 0), and a
// Boost binary archive with default flags holding one `Files` object.
#ifndef QUORVANE_COMMON_RESOURCE_CODEC_INTERNAL_H_
#define QUORVANE_COMMON_RESOURCE_CODEC_INTERNAL_H_

#include <istream>
#include <string>

#include "common/resource_file.h"

namespace Tavrin {

// The bytes of a package file holding files.
std::string encode_package(const Files& files);

// Reads a whole package file from in (opened in binary mode) and returns its
// files. Throws boost::iostreams::gzip_error or zlib_error when the gzip
// layer is damaged (a file written with another key fails here),
// boost::archive::archive_exception when the archive is (invalid_signature
// when the decompressed bytes do not start with an archive header), and
// ScriptInjector::PackageError when the archive would exceed
// kMaxArchiveBytes.
Files decode_package(std::istream& in);

}  // namespace Tavrin

#endif  // QUORVANE_COMMON_RESOURCE_CODEC_INTERNAL_H_
