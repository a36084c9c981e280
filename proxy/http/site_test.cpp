// Local sites: a folder served under a host name, with injection, and
// nothing outside the folder.
#include <gtest/gtest.h>

#include "proxy/http/local_site.h"
#include "proxy/http/testing/proxy_fixture.h"

namespace Tavrin::Proxy::Http::Testing {
namespace {

class SiteTest : public ProxyFixture {
 protected:
  void SetUp() override {
    site_ = dir_.file("site");
    std::filesystem::create_directories(site_ + "/sub");
    quorvane_test::write_file(site_ + "/index.html", "<html><head></head><body>home</body></html>");
    quorvane_test::write_file(site_ + "/style.css", "body{}");
    quorvane_test::write_file(site_ + "/sub/index.html", "<html><head></head><body>sub</body></html>");
    quorvane_test::write_file(dir_.file("secret.txt"), "secret");
    std::filesystem::create_symlink(dir_.file("secret.txt"), site_ + "/link.txt");
    ProxySettings settings = default_settings();
    settings.sites["site.example.test"] = site_;
    start_proxy(settings);
  }
  std::string site_;
};

// Files come with their types; the index page is injected.
TEST_F(SiteTest, FilesAreServedWithTheirTypes) {
  const CurlResult index = curl({"-H", "Accept: text/html", "http://site.example.test/"});
  EXPECT_EQ(index.status, 200u);
  EXPECT_EQ(index.body, std::string("<html><head>") + agent_element() + "</head><body>home</body></html>");
  const CurlResult css = curl({"http://SITE.example.test/style.css"});
  EXPECT_EQ(css.body, "body{}");
  EXPECT_EQ(css.field("Content-Type"), "text/css");
  EXPECT_EQ(curl({"http://site.example.test/sub"}).status, 301u);
  EXPECT_EQ(curl({"http://site.example.test/sub/"}).body, "<html><head></head><body>sub</body></html>");
  EXPECT_EQ(curl({"-I", "http://site.example.test/style.css"}).field("Content-Length"), "6");
}

// Climbing out with "..", encoded or not, or through a link, finds
// nothing; a missing file is 404.
TEST_F(SiteTest, NothingOutsideTheFolder) {
  EXPECT_EQ(curl({"--path-as-is", "http://site.example.test/../secret.txt"}).status, 404u);
  EXPECT_EQ(curl({"--path-as-is", "http://site.example.test/sub/%2e%2e/%2e%2e/secret.txt"}).status, 404u);
  EXPECT_EQ(curl({"http://site.example.test/link.txt"}).status, 404u);
  EXPECT_EQ(curl({"http://site.example.test/missing.html"}).status, 404u);
  EXPECT_EQ(curl({"http://site.example.test/%zz"}).status, 400u);
}

// The folder's own absolute path behind a "//" is no way in, nor is any
// other absolute path; a folder asked with "//" is redirected on the same
// site, never to "//host".
TEST_F(SiteTest, NoAbsolutePathsNorProtocolRelativeRedirects) {
  const std::string root = std::filesystem::canonical(site_).string();
  EXPECT_EQ(curl({"--path-as-is", "http://site.example.test/" + root + "/index.html"}).status, 404u);
  EXPECT_EQ(curl({"--path-as-is", "http://site.example.test/" + dir_.file("secret.txt")}).status, 404u);
  EXPECT_EQ(curl({"--path-as-is", "http://site.example.test/%2F" + root.substr(1) + "/style.css"}).status, 404u);
  const CurlResult redirect = curl({"--path-as-is", "http://site.example.test//sub"});
  EXPECT_EQ(redirect.status, 301u);
  EXPECT_EQ(redirect.field("Location"), "/sub/");
  EXPECT_EQ(curl({"--path-as-is", "http://site.example.test//style.css"}).body, "body{}");
}

TEST(LocalSitePathTest, ResolvesOnlyRegularFilesInside) {
  quorvane_test::TempDir dir;
  std::filesystem::create_directories(dir.file("root/a"));
  quorvane_test::write_file(dir.file("root/a/page.htm"), "x");
  const auto file = resolve_site_path(dir.file("root"), "/a/page.htm?x=1#frag");
  EXPECT_EQ(file.kind, SiteAnswer::Kind::kFile);
  EXPECT_EQ(file.content_type, "text/html");
  EXPECT_EQ(resolve_site_path(dir.file("root"), "/a").kind, SiteAnswer::Kind::kRedirect);
  EXPECT_EQ(resolve_site_path(dir.file("root"), "/a/").kind, SiteAnswer::Kind::kNotFound);
  EXPECT_EQ(resolve_site_path(dir.file("root"), "/a/..%2f..%2froot/a/page.htm").kind, SiteAnswer::Kind::kNotFound);
  EXPECT_EQ(resolve_site_path(dir.file("root"), "/a%00b").kind, SiteAnswer::Kind::kBadRequest);
  EXPECT_EQ(resolve_site_path(dir.file("root"), "/" + dir.file("root/a/page.htm")).kind, SiteAnswer::Kind::kNotFound);
  EXPECT_EQ(resolve_site_path(dir.file("root"), "///a").location, "/a/");
  EXPECT_EQ(content_type_for_path("x.WOFF2"), "font/woff2");
  EXPECT_EQ(content_type_for_path("Makefile"), "application/octet-stream");
}

}  // namespace
}  // namespace Tavrin::Proxy::Http::Testing
