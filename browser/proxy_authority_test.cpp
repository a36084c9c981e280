// Trusting the local proxy's authority: the key hash Chromium is given, the
// certificate database made in a Firefox profile, and the launcher handing
// both to its browser.
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include "browser/launcher.h"
#include "browser/proxy_authority.h"
#include "platform/process.h"
#include "test_support/temp_dir.h"

namespace {

using namespace Tavrin::Browser;
namespace Process = Tavrin::Platform::Process;
namespace fs = boost::filesystem;

std::string shell(const std::string& command) {
  Process::StartOptions options;
  options.arguments = {"/bin/sh", "-c", command};
  options.output = Process::StartOptions::Output::kCapture;
  std::string output;
  Process::run(options, &output);
  return output;
}

class ProxyAuthority : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists("/usr/bin/openssl")) GTEST_SKIP() << "openssl is not installed";
    shell("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=test-authority -days 2 "
          "-keyout '" + dir_.file("key.pem") + "' -out '" + dir_.file("authority.pem") + "' 2>/dev/null");
    pem_ = quorvane_test::read_file(dir_.file("authority.pem"));
    ASSERT_FALSE(pem_.empty());
  }
  quorvane_test::TempDir dir_;
  std::string pem_;
};

// The authority is looked for in the product home folder "Proxy", which
// looking does not create.
TEST_F(ProxyAuthority, FoundInTheProductHomeFolder) {
  quorvane_test::ScopedEnv data("XDG_DATA_HOME", dir_.file("data"));
  EXPECT_EQ(proxy_authority_file(), "");
  EXPECT_FALSE(fs::exists(dir_.file("data")));
  const std::string folder = dir_.file("data/Tavrin Technologies/Quor Vane/Proxy");
  fs::create_directories(folder);
  fs::copy_file(dir_.file("authority.pem"), folder + "/authority.pem");
  EXPECT_EQ(proxy_authority_file(), folder + "/authority.pem");
}

// The hash is the one openssl computes over the certificate's public key.
TEST_F(ProxyAuthority, KeyHashMatchesOpenssl) {
  std::string expected = shell("openssl x509 -in '" + dir_.file("authority.pem") +
                               "' -pubkey -noout | openssl pkey -pubin -outform der | openssl dgst -sha256 -binary | base64");
  while (!expected.empty() && expected.back() == '\n') expected.pop_back();
  EXPECT_EQ(spki_sha256_base64(pem_), expected);
  EXPECT_EQ(spki_sha256_base64(pem_).size(), 44u);
  EXPECT_THROW(spki_sha256_base64("not a certificate"), std::runtime_error);
}

// The Firefox profile's database lists the authority, trusted for sites.
TEST_F(ProxyAuthority, FirefoxProfileTrustsTheAuthority) {
  if (!fs::exists("/usr/bin/certutil")) GTEST_SKIP() << "certutil (libnss3-tools) is not installed";
  fs::create_directories(dir_.file("profile"));
  trust_in_firefox_profile(dir_.file("profile"), dir_.file("authority.pem"));
  EXPECT_TRUE(fs::exists(dir_.file("profile/cert9.db")));
  const std::string listing = shell("certutil -L -d 'sql:" + dir_.file("profile") + "'");
  EXPECT_NE(listing.find("Quorvane local proxy authority"), std::string::npos) << listing;
  EXPECT_NE(listing.find("C,,"), std::string::npos) << listing;
  // The database was made once, beside the authority, and is copied into
  // the next profile as it is.
  int made = 0;
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    if (entry.path().filename().string().rfind("firefox-trust-", 0) == 0) ++made;
  EXPECT_EQ(made, 1);
  fs::create_directories(dir_.file("second"));
  trust_in_firefox_profile(dir_.file("second"), dir_.file("authority.pem"));
  EXPECT_EQ(quorvane_test::read_file(dir_.file("second/cert9.db")), quorvane_test::read_file(dir_.file("profile/cert9.db")));
  const std::string second = shell("certutil -L -d 'sql:" + dir_.file("second") + "'");
  EXPECT_NE(second.find("Quorvane local proxy authority"), std::string::npos) << second;
  EXPECT_THROW(trust_in_firefox_profile(dir_.file("profile"), dir_.file("missing.pem")), std::runtime_error);
}

// The launcher hands Chromium the hash and gives Firefox the database.
TEST_F(ProxyAuthority, LauncherTrustsTheAuthority) {
  const std::string browser = dir_.file("browser");
  quorvane_test::write_file(browser, "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" + dir_.file("args") +
                                         "'\n[ -f \"$2/cert9.db\" ] && touch '" + dir_.file("db") + "'\nexit 0\n");
  fs::permissions(browser, fs::owner_all);
  LauncherOptions options;
  options.settings.program = browser;
  options.settings.proxy_port = 8123;
  options.authority_file = dir_.file("authority.pem");
  options.settings.browser = &Tavrin::Browsers::kChromium;
  ASSERT_EQ(run_launcher(options), 0);
  EXPECT_NE(quorvane_test::read_file(dir_.file("args")).find("--ignore-certificate-errors-spki-list=" + spki_sha256_base64(pem_)),
            std::string::npos);
  if (!fs::exists("/usr/bin/certutil")) return;
  options.settings.browser = &Tavrin::Browsers::kFirefox;
  ASSERT_EQ(run_launcher(options), 0);
  EXPECT_TRUE(fs::exists(dir_.file("db")));
}

}  // namespace
