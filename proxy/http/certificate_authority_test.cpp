// The authority's files: private from their first byte, in a private
// folder, and a key that others could have read is refused, not used.
#include "proxy/http/certificate_authority.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "test_support/temp_dir.h"

namespace Tavrin::Proxy::Http {
namespace {

mode_t mode_of(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// Restores the process's umask when it goes.
class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : before_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(before_); }

 private:
  mode_t before_;
};

// Made under the most permissive umask, the folder is the user's alone and
// so are the keys; the certificate stays readable for browsers' tools.
TEST(AuthorityFilesTest, NewFilesArePrivateWhateverTheUmask) {
  quorvane_test::TempDir dir;
  const std::string folder = dir.file("home/Proxy");
  {
    ScopedUmask open_to_all(0);
    CertificateAuthority authority(folder);
  }
  EXPECT_EQ(mode_of(folder), 0700u);
  EXPECT_EQ(mode_of(folder + "/authority-key.pem"), 0600u);
  EXPECT_EQ(mode_of(folder + "/leaf-key.pem"), 0600u);
  EXPECT_EQ(mode_of(folder + "/authority.pem"), 0644u);
  EXPECT_FALSE(std::filesystem::exists(folder + "/authority-key.pem.part"));
}

// A folder left open by an earlier version is closed before keys go in.
TEST(AuthorityFilesTest, AnOpenFolderIsMadePrivate) {
  quorvane_test::TempDir dir;
  const std::string folder = dir.file("Proxy");
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  CertificateAuthority authority(folder);
  EXPECT_EQ(mode_of(folder), 0700u);
}

// A stored key readable by others is refused with a message that names the
// file and its mode; once private again it is used as before.
TEST(AuthorityFilesTest, AKeyOthersCouldReadIsRefused) {
  quorvane_test::TempDir dir;
  const std::string folder = dir.file("Proxy");
  std::string spki;
  {
    CertificateAuthority authority(folder);
    spki = authority.authority_spki_sha256();
  }
  for (const char* name : {"/authority-key.pem", "/leaf-key.pem"}) {
    const std::string key = folder + name;
    ASSERT_EQ(::chmod(key.c_str(), 0644), 0);
    try {
      CertificateAuthority refused(folder);
      ADD_FAILURE() << name << " was used";
    } catch (const CertificateAuthority::AuthorityError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(key), std::string::npos) << message;
      EXPECT_NE(message.find("0644"), std::string::npos) << message;
      EXPECT_NE(message.find("not private"), std::string::npos) << message;
    }
    ASSERT_EQ(::chmod(key.c_str(), 0600), 0);
  }
  CertificateAuthority again(folder);
  EXPECT_EQ(again.authority_spki_sha256(), spki) << "the same authority, not a new one";
}

// Leaves are kept for the most recently used names only: one used again
// stays, the one unused longest goes, and a name asked again after it went
// gets a new context.
TEST(LeafCacheTest, LeastRecentlyUsedGoFirst) {
  quorvane_test::TempDir dir;
  CertificateAuthority authority(dir.file("Proxy"), 2);
  const auto a = authority.server_context("a.test");
  const auto b = authority.server_context("b.test");
  EXPECT_EQ(authority.server_context("a.test"), a);
  const auto c = authority.server_context("c.test");
  EXPECT_EQ(authority.cached_leaves(), 2u);
  EXPECT_EQ(authority.server_context("a.test"), a) << "used last but one: kept";
  EXPECT_EQ(authority.server_context("c.test"), c);
  EXPECT_NE(authority.server_context("b.test"), b) << "unused longest: made anew";
  EXPECT_EQ(authority.cached_leaves(), 2u);
}

// However many names pass, the cache holds its bound.
TEST(LeafCacheTest, ManyNamesStayWithinTheBound) {
  quorvane_test::TempDir dir;
  CertificateAuthority authority(dir.file("Proxy"), 5);
  for (int i = 0; i < 40; ++i) authority.server_context("host" + std::to_string(i) + ".test");
  EXPECT_EQ(authority.cached_leaves(), 5u);
}

}  // namespace
}  // namespace Tavrin::Proxy::Http
