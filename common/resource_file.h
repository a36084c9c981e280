// One named file of the script resource package (`File`) and the container
// that Resource.dat stores (`Files`). The package carries the support
// scripts that the runner loads into its script engine and the scripts,
// style sheets and images that the local proxy server serves to pages.
//
// Both classes serialise with Boost.Serialization binary archives: `Files`
// as its vector of `File`, `File` as its private implementation by value,
// the implementation as name, data, inject flag and type (a 32-bit
// integer), all at class version 0. Loading checks every element count and
// string length against the bytes the archive still holds, so a damaged or
// hostile package fails with boost::archive::archive_exception before
// anything of the claimed size is allocated.
#ifndef QUORVANE_COMMON_RESOURCE_FILE_H_
#define QUORVANE_COMMON_RESOURCE_FILE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/serialization/split_member.hpp>

#include "common/export.h"

namespace boost::serialization {
class access;
}

namespace Tavrin {

// A named file with its bytes, whether pages get a script element for it,
// and its content type. Value semantics: copies are deep.
class QUORVANE_COMMON_EXPORT File {
 public:
  // Content type of a file, carried through the package as a 32-bit
  // integer. Values that this build does not know (from a newer packager)
  // load unchanged and are served as kDefault.
  enum class MIMEType : std::int32_t {
    kDefault = 0,  // application/octet-stream
    kJavaScript = 1,
    kHtml = 2,
    kCss = 3,
    kPng = 4,
    kGif = 5,
    kJpeg = 6,
    kSvg = 7,
    kIcon = 8,
    kPlainText = 9,
  };

  // Empty name and data, not injected, type kDefault.
  File();
  File(const std::string& name, const std::string& data, bool inject, MIMEType type);
  File(const File& other);
  // Builds the copy before the old contents go, so a throwing copy leaves
  // this object unchanged.
  File& operator=(const File& other);
  ~File();

  void Swap(File& other) noexcept;

  const std::string& Name() const;
  const std::string& Data() const;
  // By value: a const scalar return type only draws -Wignored-qualifiers.
  bool Inject() const;
  MIMEType Type() const;

 private:
  friend class boost::serialization::access;
  struct Imp;

  template <class Archive>
  void serialize(Archive& ar, const unsigned int version);

  std::unique_ptr<Imp> imp_;
};

// The serialised container: the package's files in the order in which they
// were added.
class QUORVANE_COMMON_EXPORT Files {
 public:
  std::vector<File> files;

 private:
  friend class boost::serialization::access;

  template <class Archive>
  void save(Archive& ar, const unsigned int version) const;
  template <class Archive>
  void load(Archive& ar, const unsigned int version);
  BOOST_SERIALIZATION_SPLIT_MEMBER()
};

// The HTTP Content-Type for a file type; "application/octet-stream" for
// kDefault and for values this build does not know.
QUORVANE_COMMON_EXPORT const char* content_type(File::MIMEType type);

// The type for a file-name extension or type name, compared without regard
// to case, with or without the leading dot: "js", ".html", "htm", "css",
// "png", "gif", "jpg", "jpeg", "svg", "ico", "txt", and "default"/"bin" for
// kDefault. std::nullopt for anything else.
QUORVANE_COMMON_EXPORT std::optional<File::MIMEType> mime_type_from_name(std::string_view name);

// The type that a file name's extension suggests; kDefault when it has no
// extension or one that mime_type_from_name does not know.
QUORVANE_COMMON_EXPORT File::MIMEType mime_type_for_file_name(std::string_view file_name);

}  // namespace Tavrin

#endif  // QUORVANE_COMMON_RESOURCE_FILE_H_
