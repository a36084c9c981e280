#include "common/resource_file.h"

#include <boost/archive/archive_exception.hpp>
#include <boost/serialization/collection_size_type.hpp>
#include <boost/serialization/item_version_type.hpp>
#include <boost/serialization/split_member.hpp>
#include <boost/serialization/version.hpp>
#include <gtest/gtest.h>

#include <cstring>
#include "common/script_injector.h"
#include "common/testing/package_test_util.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace {

using Tavrin::File;
using Tavrin::ScriptInjector;

// Archives that claim more than they hold, or hold what no package may.
// Stands where the vector of files stands.
struct CountClaim {
  std::uint64_t count = 0;
  template <class A>
  void save(A& ar, const unsigned int) const {
    const boost::serialization::collection_size_type claimed(count);
    const boost::serialization::item_version_type item_version(0);
    ar << claimed << item_version;
    const plain::File one = plain::make_file("a.js", "x", true, 1);
    ar << one;
  }
  template <class A>
  void load(A&, const unsigned int) {}
  BOOST_SERIALIZATION_SPLIT_MEMBER()
};
struct CountClaimFiles {
  CountClaim files;
  template <class A>
  void serialize(A& ar, const unsigned int) {
    ar & files;
  }
};

struct RawImp {
  std::size_t name_length = 0;  // claimed
  unsigned char flag = 0;
  template <class A>
  void save(A& ar, const unsigned int) const {
    ar << name_length;
    ar.save_binary("a.js", 4);
    const std::string data = "x";
    ar << data;
    ar.save_binary(&flag, 1);
    const std::int32_t type = 1;
    ar << type;
  }
  template <class A>
  void load(A&, const unsigned int) {}
  BOOST_SERIALIZATION_SPLIT_MEMBER()
};
struct RawFile {
  RawImp imp;
  template <class A>
  void serialize(A& ar, const unsigned int) {
    ar & imp;
  }
};
struct RawFiles {
  std::vector<RawFile> files;
  template <class A>
  void serialize(A& ar, const unsigned int) {
    ar & files;
  }
};

// A File written by a newer packager.
struct NewerFile {
  plain::Imp imp;
  template <class A>
  void serialize(A& ar, const unsigned int) {
    ar & imp;
  }
};
struct NewerFiles {
  std::vector<NewerFile> files;
  template <class A>
  void serialize(A& ar, const unsigned int) {
    ar & files;
  }
};

}  // namespace

BOOST_CLASS_VERSION(NewerFile, 1)

namespace {

class PackageFormatTest : public ::testing::Test {
 protected:
  // Loads package bytes through a file, as a server would.
  ScriptInjector load(const std::string& package_bytes) {
    const std::string path = dir_.file("Resource.dat");
    quorvane_test::write_file(path, package_bytes);
    return ScriptInjector(Tavrin::Platform::from_utf8(path));
  }
  std::string serialized(const ScriptInjector& injector) {
    const std::string path = dir_.file("written.dat");
    injector.Serialize(Tavrin::Platform::from_utf8(path));
    return quorvane_test::read_file(path);
  }
  quorvane_test::TempDir dir_;
};

// Another program that serialises the same structures with the plain
// library code must produce, byte for byte, what the library writes; and
// the library must read that program's packages.
TEST_F(PackageFormatTest, ArchiveIsThePlainBoostArchiveOfTheStructures) {
  const std::string source = dir_.file("api.js");
  quorvane_test::write_file(source, std::string("var a;\0\r\n", 9));
  ScriptInjector injector;
  injector.AddFile({"host.js", dir_.file("missing.js")}, false, File::MIMEType::kJavaScript);
  injector.AddFile({"api.js", source}, true, File::MIMEType::kCss);

  plain::Files expected;
  expected.files.push_back(plain::make_file("host.js", "", false, 1));
  expected.files.push_back(plain::make_file("api.js", std::string("var a;\0\r\n", 9), true, 3));
  EXPECT_EQ(unwrap_package(serialized(injector)), archive_of(expected));
}

TEST_F(PackageFormatTest, ReadsPackagesOfThePlainStructures) {
  plain::Files written;
  written.files.push_back(plain::make_file("b.css", "body{}", false, 3));
  written.files.push_back(plain::make_file("x.bin", std::string(1000, '\xff'), true, 42));
  const ScriptInjector injector = load(wrap_archive(archive_of(written)));

  const File css = injector.GetFile("/quorvane/special/file/b.css");
  EXPECT_EQ(css.Data(), "body{}");
  EXPECT_EQ(css.Type(), File::MIMEType::kCss);
  const File unknown_type = injector.GetFile("x.bin");
  EXPECT_EQ(unknown_type.Data(), std::string(1000, '\xff'));
  EXPECT_TRUE(unknown_type.Inject());
  EXPECT_EQ(static_cast<std::int32_t>(unknown_type.Type()), 42);
  EXPECT_STREQ(Tavrin::content_type(unknown_type.Type()), "application/octet-stream");
}

// A count or length far beyond the data must be refused as a damaged
// archive before anything of that size is allocated (an unchecked reserve
// or resize would throw length_error or bad_alloc, or take the memory).
TEST_F(PackageFormatTest, AbsurdFileCountIsRefusedBeforeAllocating) {
  for (std::uint64_t count : {std::uint64_t{1} << 60, std::uint64_t{1} << 40, std::uint64_t{2}}) {
    EXPECT_THROW(load(wrap_archive(archive_of(CountClaimFiles{CountClaim{count}}))),
                 boost::archive::archive_exception)
        << count;
  }
}

TEST_F(PackageFormatTest, AbsurdStringLengthIsRefusedBeforeAllocating) {
  for (std::size_t length : {std::size_t{1} << 40, ~std::size_t{0}, std::size_t{64}}) {
    RawFiles files;
    files.files.push_back(RawFile{RawImp{length, 0}});
    EXPECT_THROW(load(wrap_archive(archive_of(files))), boost::archive::archive_exception)
        << length;
  }
  RawFiles exact;  // the same layout with honest lengths loads
  exact.files.push_back(RawFile{RawImp{4, 1}});
  const ScriptInjector injector = load(wrap_archive(archive_of(exact)));
  EXPECT_EQ(injector.GetFile("a.js").Data(), "x");
  EXPECT_TRUE(injector.GetFile("a.js").Inject());
}

// The archive's own header is read by the archive's constructor: sound
// gzip around bytes that are no archive, or a header claiming a signature
// of 1 GiB, must fail as a damaged archive without allocating that much.
TEST_F(PackageFormatTest, ArchiveHeaderIsCheckedBeforeTheArchiveReadsIt) {
  const std::string not_an_archive = "<html>this is no archive at all</html>";
  std::string huge_signature(sizeof(std::size_t), '\0');
  const std::size_t gib = std::size_t{1} << 30;
  std::memcpy(huge_signature.data(), &gib, sizeof gib);
  huge_signature += std::string(64, 's');
  std::string wrong_signature = archive_of(plain::Files{});
  wrong_signature[sizeof(std::size_t) + 3] ^= 1;
  for (const std::string& archive : {not_an_archive, huge_signature, wrong_signature, std::string()}) {
    try {
      load(wrap_archive(archive));
      FAIL() << "loaded a package without an archive header";
    } catch (const boost::archive::archive_exception& e) {
      EXPECT_EQ(e.code, boost::archive::archive_exception::invalid_signature);
    }
  }
}

TEST_F(PackageFormatTest, FlagByteOtherThanZeroOrOneIsDamage) {
  RawFiles files;
  files.files.push_back(RawFile{RawImp{4, 7}});
  EXPECT_THROW(load(wrap_archive(archive_of(files))), boost::archive::archive_exception);
}

TEST_F(PackageFormatTest, ClassVersionAboveZeroIsRefused) {
  NewerFiles files;
  files.files.push_back(NewerFile{plain::Imp{"a.js", "x", false, 1}});
  try {
    load(wrap_archive(archive_of(files)));
    FAIL() << "loaded a newer class version";
  } catch (const boost::archive::archive_exception& e) {
    EXPECT_EQ(e.code, boost::archive::archive_exception::unsupported_class_version);
  }
}

TEST_F(PackageFormatTest, CutArchiveIsDamage) {
  plain::Files written;
  written.files.push_back(plain::make_file("api.js", "function f() {}", true, 1));
  const std::string archive = archive_of(written);
  for (std::size_t keep = 0; keep < archive.size(); ++keep) {
    EXPECT_THROW(load(wrap_archive(archive.substr(0, keep))), std::exception) << keep;
  }
}

// A copy owns its contents: it outlives the source.
TEST(FileTest, CopyOutlivesItsSource) {
  File copy;
  {
    const File source("api.js", "code", true, File::MIMEType::kJavaScript);
    copy = File(source);
  }
  EXPECT_EQ(copy.Name(), "api.js");
  EXPECT_EQ(copy.Data(), "code");
}

TEST(MimeTypeTest, ExtensionsAndNamesMapToContentTypes) {
  EXPECT_STREQ(Tavrin::content_type(Tavrin::mime_type_for_file_name("scripts/api.JS")),
               "text/javascript");
  EXPECT_STREQ(Tavrin::content_type(Tavrin::mime_type_for_file_name("a.b/page.htm")), "text/html");
  EXPECT_STREQ(Tavrin::content_type(Tavrin::mime_type_for_file_name("logo.jpeg")), "image/jpeg");
  EXPECT_EQ(Tavrin::mime_type_for_file_name("Makefile"), File::MIMEType::kDefault);
  EXPECT_EQ(Tavrin::mime_type_for_file_name(".css"), File::MIMEType::kDefault);
  EXPECT_EQ(Tavrin::mime_type_from_name(".PNG"), File::MIMEType::kPng);
  EXPECT_EQ(Tavrin::mime_type_from_name("jscript"), std::nullopt);
}

}  // namespace
