#include "common/script_injector.h"

#include <filesystem>

#include <boost/iostreams/filter/gzip.hpp>
#include <gtest/gtest.h>

#include "common/archive_source_internal.h"
#include "common/testing/package_test_util.h"
#include "platform/text.h"
#include "test_support/temp_dir.h"

namespace {

using Tavrin::File;
using Tavrin::ScriptInjector;
using Tavrin::Platform::from_utf8;

class ScriptInjectorTest : public ::testing::Test {
 protected:
  // A source file on disk with the given bytes; returns its path.
  std::string source(const std::string& name, const std::string& bytes) {
    const std::string path = dir_.file(name);
    quorvane_test::write_file(path, bytes);
    return path;
  }
  // The runner's two support scripts: host.js plain, api.js injected.
  ScriptInjector support_package() {
    ScriptInjector injector;
    injector.AddFile({"host.js", source("host.js", kHost)}, false, File::MIMEType::kJavaScript);
    injector.AddFile({"api.js", source("api.js", kApi)}, true, File::MIMEType::kJavaScript);
    return injector;
  }
  std::string write(const ScriptInjector& injector) {
    const std::string path = dir_.file("Resource.dat");
    injector.Serialize(from_utf8(path));
    return path;
  }

  const std::string kHost = "function quorvaneFinal() { return 0; }\r\n";
  const std::string kApi = std::string("var api = '\xe9\0\xff';\n", 17);
  quorvane_test::TempDir dir_;
};

TEST_F(ScriptInjectorTest, WrittenPackageReadsBackFileForFile) {
  const ScriptInjector loaded(from_utf8(write(support_package())));
  const File host = loaded.GetFile("host.js");
  const File api = loaded.GetFile("api.js");
  EXPECT_EQ(host.Name(), "host.js");
  EXPECT_EQ(host.Data(), kHost);
  EXPECT_FALSE(host.Inject());
  EXPECT_EQ(host.Type(), File::MIMEType::kJavaScript);
  EXPECT_EQ(api.Name(), "api.js");
  EXPECT_EQ(api.Data(), kApi);
  EXPECT_TRUE(api.Inject());
  // Order: a request naming both gets the first file of the package.
  EXPECT_EQ(loaded.GetFile("api.js host.js").Name(), "host.js");
  EXPECT_EQ(unwrap_package(quorvane_test::read_file(write(loaded))),
            unwrap_package(quorvane_test::read_file(write(support_package()))));
}

// The XOR layer counts from the first byte of the file: undoing it shows a
// gzip member (magic, deflate) with modification time 0.
TEST_F(ScriptInjectorTest, FirstBytesUnderTheKeyAreAGzipHeader) {
  const std::string key = "GARVELTOmistrane";
  ASSERT_TRUE(std::equal(key.begin(), key.end(), Tavrin::kPackageKey.begin()));
  std::string head = quorvane_test::read_file(write(support_package())).substr(0, 16);
  ASSERT_EQ(head.size(), 16u);
  for (std::size_t i = 0; i < 16; ++i) head[i] ^= key[i];
  EXPECT_EQ(static_cast<unsigned char>(head[0]), 0x1F);
  EXPECT_EQ(static_cast<unsigned char>(head[1]), 0x8B);
  EXPECT_EQ(static_cast<unsigned char>(head[2]), 0x08);
  EXPECT_EQ(head[3], 0);  // no name, no comment
  EXPECT_EQ(head.substr(4, 4), std::string(4, '\0'));
}

TEST_F(ScriptInjectorTest, MissingPackageIsEmptyWithoutError) {
  const ScriptInjector missing(from_utf8(dir_.file("none/Resource.dat")));
  EXPECT_EQ(missing.GetFile("api.js").Name(), "");
  const ScriptInjector folder(from_utf8(dir_.path()));
  EXPECT_EQ(folder.GetFile("api.js").Name(), "");
}

TEST_F(ScriptInjectorTest, GetFileTakesTheFirstNameOccurringInTheRequest) {
  ScriptInjector injector = support_package();
  EXPECT_EQ(injector.GetFile("/quorvane/special/file/api.js").Name(), "api.js");
  EXPECT_EQ(injector.GetFile("api.js").Name(), "api.js");
  EXPECT_EQ(injector.GetFile("none.js").Name(), "");
  EXPECT_EQ(injector.GetFile("API.JS").Name(), "");

  ScriptInjector shadowed;
  shadowed.AddFile({"a.js", source("a.js", "a")}, true, File::MIMEType::kJavaScript);
  shadowed.AddFile({"data.js", source("data.js", "data")}, true, File::MIMEType::kJavaScript);
  EXPECT_EQ(shadowed.GetFile("data.js").Name(), "a.js");
}

TEST_F(ScriptInjectorTest, EmptyNameMatchesEveryRequest) {
  ScriptInjector injector = support_package();
  EXPECT_EQ(injector.GetFile("").Name(), "");
  injector.AddFile({"", source("any", "fallback")}, false, File::MIMEType::kDefault);
  EXPECT_EQ(injector.GetFile("api.js").Data(), kApi);
  EXPECT_EQ(injector.GetFile("none.js").Data(), "fallback");
}

TEST_F(ScriptInjectorTest, SameNameTwiceKeepsBothAndFindsTheFirst) {
  ScriptInjector injector;
  injector.AddFile({"api.js", dir_.file("absent.js")}, false, File::MIMEType::kJavaScript);
  EXPECT_EQ(injector.GetFile("api.js").Name(), "api.js");  // a missing source adds no bytes
  EXPECT_EQ(injector.GetFile("api.js").Data(), "");
  injector = ScriptInjector();
  injector.AddFile({"api.js", source("one", "first")}, false, File::MIMEType::kJavaScript);
  injector.AddFile({"api.js", source("two", "second")}, true, File::MIMEType::kJavaScript);
  EXPECT_EQ(injector.GetFile("api.js").Data(), "first");
  std::string page = "<head></head>";
  injector.InjectToStreamANSI(page);  // only the second one is injected
  EXPECT_EQ(page, "<head><script src=\"/quorvane/special/file/api.js\" "
                  "type=\"text/javascript\"></script></head>");
  const ScriptInjector loaded(from_utf8(write(injector)));
  EXPECT_EQ(loaded.GetFile("api.js").Data(), "first");
}

// Copies are deep and assignment and swap exchange whole packages.
TEST_F(ScriptInjectorTest, CopiesAndSwapsAreWholePackages) {
  ScriptInjector original = support_package();
  ScriptInjector copy(original);
  original.AddFile({"extra.js", source("extra.js", "x")}, false, File::MIMEType::kJavaScript);
  EXPECT_EQ(copy.GetFile("extra.js").Name(), "");
  ScriptInjector empty;
  swap(copy, empty);
  EXPECT_EQ(copy.GetFile("api.js").Name(), "");
  EXPECT_EQ(empty.GetFile("api.js").Name(), "api.js");
  std::swap(copy, empty);
  copy = original;
  EXPECT_EQ(copy.GetFile("extra.js").Data(), "x");
}

// Serialize() writes into the current directory.
TEST_F(ScriptInjectorTest, SerializeWithoutPathWritesResourceDatHere) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  support_package().Serialize();
  std::filesystem::current_path(before);
  const ScriptInjector loaded(from_utf8(dir_.file("Resource.dat")));
  EXPECT_EQ(loaded.GetFile("host.js").Data(), kHost);
}

TEST_F(ScriptInjectorTest, SerializeReportsFilesItCannotCreateOrWrite) {
  const ScriptInjector injector = support_package();
  EXPECT_THROW(injector.Serialize(from_utf8(dir_.file("no/such/dir/Resource.dat"))),
               ScriptInjector::PackageError);
  EXPECT_THROW(injector.Serialize(from_utf8(dir_.path())), ScriptInjector::PackageError);
  if (std::filesystem::exists("/dev/full")) {  // accepts the open, fails every write
    const std::string link = dir_.file("full.dat");
    std::filesystem::create_symlink("/dev/full", link);
    EXPECT_THROW(injector.Serialize(from_utf8(link)), ScriptInjector::PackageError);
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
  }
}

class DamagedPackageTest : public ScriptInjectorTest {
 protected:
  // Loading bytes either throws or gives back exactly the original files.
  void expect_refused_or_intact(const std::string& bytes, const std::string& what) {
    const std::string path = dir_.file("damaged.dat");
    quorvane_test::write_file(path, bytes);
    try {
      const ScriptInjector loaded(from_utf8(path));
      EXPECT_EQ(loaded.GetFile("host.js").Data(), kHost) << what;
      EXPECT_EQ(loaded.GetFile("api.js").Data(), kApi) << what;
    } catch (const std::exception&) {
    }
  }
};

TEST_F(DamagedPackageTest, CutFilesAreRefused) {
  const std::string good = quorvane_test::read_file(write(support_package()));
  for (std::size_t keep = 0; keep < good.size(); ++keep) {
    quorvane_test::write_file(dir_.file("cut.dat"), good.substr(0, keep));
    EXPECT_ANY_THROW(ScriptInjector(from_utf8(dir_.file("cut.dat")))) << keep;
  }
}

// A flipped byte in the gzip header's time or OS field goes unnoticed;
// everywhere else the checksum or the format catches it.
TEST_F(DamagedPackageTest, FlippedBytesNeverGiveOtherContents) {
  const std::string good = quorvane_test::read_file(write(support_package()));
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (unsigned char mask : {0x01, 0x80, 0xFF}) {
      std::string bad = good;
      bad[at] = static_cast<char>(bad[at] ^ mask);
      expect_refused_or_intact(bad, "byte " + std::to_string(at));
    }
  }
}

TEST_F(DamagedPackageTest, PackageUnderAnotherKeyIsAGzipError) {
  std::array<char, 16> other_key = Tavrin::kPackageKey;
  other_key[0] = 'g';
  const std::string archive = unwrap_package(quorvane_test::read_file(write(support_package())));
  quorvane_test::write_file(dir_.file("other.dat"), wrap_archive(archive, other_key));
  EXPECT_THROW(ScriptInjector(from_utf8(dir_.file("other.dat"))),
               boost::iostreams::gzip_error);
}

// A small file that inflates past the size a package may have.
TEST_F(DamagedPackageTest, InflatingPastTheCapIsRefused) {
  const std::string bomb = wrap_archive(std::string(Tavrin::kMaxArchiveBytes + 1, 'A'));
  quorvane_test::write_file(dir_.file("bomb.dat"), bomb);
  EXPECT_THROW(ScriptInjector(from_utf8(dir_.file("bomb.dat"))), ScriptInjector::PackageError);
}

}  // namespace
