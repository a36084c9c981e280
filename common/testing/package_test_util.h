// Test helpers for the resource package: plain Boost serialisations of the
// package's structures (as any program using the library's own collection
// code would write them) and the outer layers built independently of the
// library, so that tests can craft packages byte by byte.
#ifndef QUORVANE_COMMON_TESTING_PACKAGE_TEST_UTIL_H_
#define QUORVANE_COMMON_TESTING_PACKAGE_TEST_UTIL_H_

#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/iostreams/copy.hpp>
#include <boost/iostreams/device/array.hpp>
#include <boost/iostreams/device/back_inserter.hpp>
#include <boost/iostreams/filter/gzip.hpp>
#include <boost/iostreams/filtering_stream.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

#include "common/xor_filter_internal.h"

namespace plain {

struct Imp {
  std::string name;
  std::string data;
  bool inject = false;
  std::int32_t type = 0;
  template <class A>
  void serialize(A& ar, const unsigned int) {
    ar & name & data & inject & type;
  }
};

struct File {
  Imp imp;
  template <class A>
  void serialize(A& ar, const unsigned int) {
    ar & imp;
  }
};

struct Files {
  std::vector<File> files;
  template <class A>
  void serialize(A& ar, const unsigned int) {
    ar & files;
  }
};

inline File make_file(const std::string& name, const std::string& data, bool inject,
                      std::int32_t type) {
  return File{Imp{name, data, inject, type}};
}

}  // namespace plain

// The binary archive (default flags) of one object.
template <class T>
std::string archive_of(const T& object) {
  std::ostringstream out;
  {
    boost::archive::binary_oarchive ar(out);
    ar << object;
  }
  return out.str();
}

template <class T>
T object_of(const std::string& archive) {
  std::istringstream in(archive);
  boost::archive::binary_iarchive ar(in);
  T object;
  ar >> object;
  return object;
}

// Archive bytes -> package file bytes: gzip (default parameters), then XOR.
inline std::string wrap_archive(const std::string& archive,
                                const std::array<char, 16>& key = Tavrin::kPackageKey) {
  namespace io = boost::iostreams;
  std::string gz;
  {
    io::filtering_ostream out;
    out.push(io::gzip_compressor());
    out.push(io::back_inserter(gz));
    out.write(archive.data(), static_cast<std::streamsize>(archive.size()));
  }
  for (std::size_t i = 0; i < gz.size(); ++i) gz[i] ^= key[i % 16];
  return gz;
}

// Package file bytes -> archive bytes.
inline std::string unwrap_package(std::string package) {
  namespace io = boost::iostreams;
  for (std::size_t i = 0; i < package.size(); ++i) package[i] ^= Tavrin::kPackageKey[i % 16];
  std::string archive;
  io::filtering_istream in;
  in.push(io::gzip_decompressor());
  in.push(io::array_source(package.data(), package.size()));
  io::copy(in, io::back_inserter(archive));
  return archive;
}

#endif  // QUORVANE_COMMON_TESTING_PACKAGE_TEST_UTIL_H_
