#include "common/resource_file.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/binary_iarchive.hpp>
#include <boost/archive/binary_oarchive.hpp>
#include <boost/serialization/collection_size_type.hpp>
#include <boost/serialization/item_version_type.hpp>
#include <boost/serialization/library_version_type.hpp>
#include <boost/serialization/nvp.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>

#include "common/archive_source_internal.h"

namespace Tavrin {

namespace {

using boost::archive::archive_exception;

[[noreturn]] void throw_damaged(const char* what) {
  throw archive_exception(archive_exception::input_stream_error, what);
}

// The library no longer refuses class versions newer than the program's;
// a package written by a newer packager must not be misread.
void check_class_version(unsigned int version) {
  if (version > 0) throw archive_exception(archive_exception::unsupported_class_version);
}

// Reads a string as binary archives store it (length, then bytes), after
// checking that the archive holds that many bytes.
void load_checked_string(boost::archive::binary_iarchive& ar, std::string& s) {
  std::size_t length = 0;
  ar >> length;
  if (length > bytes_left(ar)) throw_damaged("string length beyond the end of the package");
  s.resize(length);
  if (length > 0) ar.load_binary(s.data(), length);
}

}  // namespace

struct File::Imp {
  std::string name;
  std::string data;
  bool inject = false;
  MIMEType type = MIMEType::kDefault;

  template <class Archive>
  void save(Archive& ar, const unsigned int /*version*/) const {
    const std::int32_t type_value = static_cast<std::int32_t>(type);
    ar << name << data << inject << type_value;
  }

  template <class Archive>
  void load(Archive& ar, const unsigned int version) {
    check_class_version(version);
    load_checked_string(ar, name);
    load_checked_string(ar, data);
    // Read as a byte: a bool object holding anything but 0 or 1 is
    // undefined behaviour, and such a byte means the archive is damaged.
    unsigned char flag = 0;
    ar.load_binary(&flag, 1);
    if (flag > 1) throw_damaged("inject flag is neither 0 nor 1");
    inject = flag == 1;
    std::int32_t type_value = 0;
    ar >> type_value;
    type = static_cast<MIMEType>(type_value);
  }

  BOOST_SERIALIZATION_SPLIT_MEMBER()
};

File::File() : imp_(std::make_unique<Imp>()) {}

File::File(const std::string& name, const std::string& data, bool inject, MIMEType type)
    : imp_(std::make_unique<Imp>(Imp{name, data, inject, type})) {}

File::File(const File& other) : imp_(std::make_unique<Imp>(*other.imp_)) {}

File& File::operator=(const File& other) {
  if (this != &other) {
    auto copy = std::make_unique<Imp>(*other.imp_);
    imp_.swap(copy);
  }
  return *this;
}

File::~File() = default;

void File::Swap(File& other) noexcept { imp_.swap(other.imp_); }

const std::string& File::Name() const { return imp_->name; }
const std::string& File::Data() const { return imp_->data; }
bool File::Inject() const { return imp_->inject; }
File::MIMEType File::Type() const { return imp_->type; }

template <class Archive>
void File::serialize(Archive& ar, const unsigned int version) {
  check_class_version(version);
  ar & boost::serialization::make_nvp("imp", *imp_);
}

template <class Archive>
void Files::save(Archive& ar, const unsigned int /*version*/) const {
  ar << BOOST_SERIALIZATION_NVP(files);
}

namespace {

// Stands in for the vector when loading: the archive holds the vector as an
// object of its own (class information, then count, item version and
// elements), and this object reads it in the same place. Unlike the
// library's loader it checks the count before anything is reserved.
struct CheckedFileVector {
  std::vector<File>* files;

  template <class Archive>
  void serialize(Archive& ar, const unsigned int version) {
    check_class_version(version);
    boost::serialization::collection_size_type count;
    ar >> BOOST_SERIALIZATION_NVP(count);
    boost::serialization::item_version_type item_version(0);
    if (boost::serialization::library_version_type(3) < ar.get_library_version()) {
      ar >> BOOST_SERIALIZATION_NVP(item_version);
    }
    // The least one file takes: two string lengths, the flag and the type.
    constexpr std::size_t kMinFileBytes = 2 * sizeof(std::size_t) + 1 + sizeof(std::int32_t);
    if (count > bytes_left(ar) / kMinFileBytes) {
      throw_damaged("file count beyond the end of the package");
    }
    std::vector<File> loaded;
    loaded.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      loaded.emplace_back();
      ar >> boost::serialization::make_nvp("item", loaded.back());
    }
    files->swap(loaded);
  }
};

}  // namespace

template <class Archive>
void Files::load(Archive& ar, const unsigned int version) {
  check_class_version(version);
  CheckedFileVector vector{&files};
  ar >> boost::serialization::make_nvp("files", vector);
}

template void File::serialize(boost::archive::binary_oarchive&, const unsigned int);
template void File::serialize(boost::archive::binary_iarchive&, const unsigned int);
template void Files::save(boost::archive::binary_oarchive&, const unsigned int) const;
template void Files::load(boost::archive::binary_iarchive&, const unsigned int);

namespace {

struct TypeName {
  std::string_view name;
  File::MIMEType type;
};

constexpr TypeName kTypeNames[] = {
    {"default", File::MIMEType::kDefault}, {"bin", File::MIMEType::kDefault},
    {"js", File::MIMEType::kJavaScript},   {"html", File::MIMEType::kHtml},
    {"htm", File::MIMEType::kHtml},        {"css", File::MIMEType::kCss},
    {"png", File::MIMEType::kPng},         {"gif", File::MIMEType::kGif},
    {"jpg", File::MIMEType::kJpeg},        {"jpeg", File::MIMEType::kJpeg},
    {"svg", File::MIMEType::kSvg},         {"ico", File::MIMEType::kIcon},
    {"txt", File::MIMEType::kPlainText},
};

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

const char* content_type(File::MIMEType type) {
  switch (type) {
    case File::MIMEType::kJavaScript: return "text/javascript";
    case File::MIMEType::kHtml: return "text/html";
    case File::MIMEType::kCss: return "text/css";
    case File::MIMEType::kPng: return "image/png";
    case File::MIMEType::kGif: return "image/gif";
    case File::MIMEType::kJpeg: return "image/jpeg";
    case File::MIMEType::kSvg: return "image/svg+xml";
    case File::MIMEType::kIcon: return "image/x-icon";
    case File::MIMEType::kPlainText: return "text/plain";
    case File::MIMEType::kDefault: break;
  }
  return "application/octet-stream";
}

std::optional<File::MIMEType> mime_type_from_name(std::string_view name) {
  if (!name.empty() && name.front() == '.') name.remove_prefix(1);
  for (const TypeName& entry : kTypeNames) {
    if (equal_ignoring_case(entry.name, name)) return entry.type;
  }
  return std::nullopt;
}

File::MIMEType mime_type_for_file_name(std::string_view file_name) {
  const std::size_t slash = file_name.find_last_of("/\\");
  if (slash != std::string_view::npos) file_name.remove_prefix(slash + 1);
  const std::size_t dot = file_name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return File::MIMEType::kDefault;
  return mime_type_from_name(file_name.substr(dot + 1)).value_or(File::MIMEType::kDefault);
}

}  // namespace Tavrin
