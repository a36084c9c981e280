#include "browser/proxy_authority.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <boost/filesystem.hpp>

#include "platform/process.h"
#include "platform/process_watch.h"
#include "platform/shell_folders.h"
#include "platform/text.h"

namespace Tavrin::Browser {
namespace {

namespace Process = Platform::Process;

void run_certutil(std::vector<std::string> arguments) {
  Process::StartOptions options;
  arguments.insert(arguments.begin(), "certutil");
  options.arguments = std::move(arguments);
  options.output = Process::StartOptions::Output::kCapture;
  std::string output;
  Process::Child child = [&] {
    try {
      return Process::start(options);
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string("certutil cannot be started (libnss3-tools): ") + e.what());
    }
  }();
  const auto status = child.WaitFor(std::chrono::seconds(20), &output);
  if (!status) throw std::runtime_error("certutil did not finish");
  if (!status->exited || status->code != 0) throw std::runtime_error("certutil failed: " + output);
}

}  // namespace

std::string proxy_authority_file() {
  try {
    // Looked up without creating the product home folder on the way.
    const std::string file = Platform::to_utf8(Platform::application_data_folder()) +
                             "/Tavrin Technologies/Quor Vane/Proxy/authority.pem";
    return boost::filesystem::exists(file) ? file : std::string();
  } catch (...) {
    return {};
  }
}

std::string spki_sha256_base64(const std::string& pem) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
  std::unique_ptr<X509, decltype(&X509_free)> cert(
      bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr, X509_free);
  if (!cert) throw std::runtime_error("no certificate in the authority file");
  unsigned char* der = nullptr;
  const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &der);
  if (length <= 0) throw std::runtime_error("the authority's key cannot be read");
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256(der, static_cast<std::size_t>(length), digest);
  OPENSSL_free(der);
  unsigned char text[4 * ((SHA256_DIGEST_LENGTH + 2) / 3) + 1];
  const int written = EVP_EncodeBlock(text, digest, SHA256_DIGEST_LENGTH);
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(written));
}

namespace {

const char* const kDatabaseFiles[] = {"cert9.db", "key4.db", "pkcs11.txt"};

// Makes a certificate database in `folder` that trusts `pem_file`.
void make_trusting_database(const std::string& folder, const std::string& pem_file) {
  const std::string database = "sql:" + folder;
  run_certutil({"-N", "-d", database, "--empty-password"});
  run_certutil({"-A", "-d", database, "-n", "Quorvane local proxy authority", "-t", "C,,", "-i", pem_file});
}

// The folder beside the authority's file that holds the database made for
// this authority: named after its key, so a new authority gets a new one.
std::string database_folder(const std::string& pem_file) {
  std::ifstream in(pem_file, std::ios::binary);
  if (!in) throw std::runtime_error("the authority file cannot be read: " + pem_file);
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string key = spki_sha256_base64(pem);
  for (char& c : key) {
    if (c == '/') c = '_';
    if (c == '+') c = '-';
    if (c == '=') c = '.';
  }
  return boost::filesystem::path(pem_file).parent_path().string() + "/firefox-trust-" + key;
}

}  // namespace

void trust_in_firefox_profile(const std::string& profile, const std::string& pem_file) {
  namespace fs = boost::filesystem;
  // certutil takes most of a second; the database is made once per
  // authority (in a folder of its own, moved into place whole, so runs
  // that start together never see half of one) and copied into profiles.
  const std::string cached = database_folder(pem_file);
  if (!fs::exists(cached + "/cert9.db")) {
    const std::string making = cached + ".making-" + std::to_string(Platform::Process::current_process_id());
    fs::remove_all(making);
    fs::create_directories(making);
    make_trusting_database(making, pem_file);
    boost::system::error_code taken;
    fs::rename(making, cached, taken);
    // Another run put its database there first: use that one.
    if (taken) fs::remove_all(making);
  }
  for (const char* name : kDatabaseFiles) {
    const fs::path from = fs::path(cached) / name;
    if (fs::exists(from)) fs::copy_file(from, fs::path(profile) / name, fs::copy_options::overwrite_existing);
  }
}

}  // namespace Tavrin::Browser
