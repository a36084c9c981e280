#include "proxy/http/certificate_authority.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <boost/beast/core/detail/base64.hpp>

namespace Tavrin::Proxy::Http {

namespace {

using AuthorityError = CertificateAuthority::AuthorityError;

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

constexpr long kDay = 24 * 60 * 60;

void check(bool ok, const char* what) {
  if (!ok) throw AuthorityError(std::string("Certificate authority: ") + what);
}

Key new_key() {
  Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  check(key != nullptr, "no P-256 key could be made");
  return key;
}

std::string read_text(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string octal_mode(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// Writes `text` to `file` through a new file beside it, which is created
// with its final mode (readable by the user only when `secret`), so no
// other user can open it at any moment.
void write_text(const std::filesystem::path& file, const std::string& text, bool secret) {
  const std::filesystem::path part = file.string() + ".part";
  ::unlink(part.c_str());  // left by a start that was cut short
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                        secret ? S_IRUSR | S_IWUSR : S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
  check(fd >= 0, "a file cannot be written in its folder");
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  check(done == text.size() && synced, "a file could not be written");
  std::error_code ec;
  std::filesystem::rename(part, file, ec);
  check(!ec, "a file could not be put in place");
}

// Makes `folder` (and its parents) with the folder itself private to the
// user; one that exists is made private when it is the user's own.
void make_private_folder(const std::filesystem::path& folder) {
  std::error_code ec;
  if (folder.has_parent_path()) std::filesystem::create_directories(folder.parent_path(), ec);
  check(!ec, "its folder cannot be made");
  if (::mkdir(folder.c_str(), S_IRWXU) != 0 && errno != EEXIST) check(false, "its folder cannot be made");
  struct stat info {};
  check(::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode), "its folder is not a folder");
  if (info.st_uid != ::geteuid()) {
    throw AuthorityError("Certificate authority: the folder " + folder.string() + " belongs to another user");
  }
  if ((info.st_mode & 077) != 0) check(::chmod(folder.c_str(), S_IRWXU) == 0, "its folder cannot be made private");
}

// A stored key is used only while no one else can have read it.
void check_key_private(const std::filesystem::path& file) {
  struct stat info {};
  check(::lstat(file.c_str(), &info) == 0, "a stored key cannot be read");
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
    throw AuthorityError("Certificate authority: the key file " + file.string() + " (mode " +
                         octal_mode(info.st_mode) +
                         ") is not private to this user and is not used; remove the authority's files to make a "
                         "new authority");
  }
}

std::string key_pem(EVP_PKEY* key) {
  Bio bio(BIO_new(BIO_s_mem()));
  check(PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "key not written");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

std::string cert_pem(X509* cert) {
  Bio bio(BIO_new(BIO_s_mem()));
  check(PEM_write_bio_X509(bio.get(), cert) == 1, "certificate not written");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

Key parse_key(const std::string& pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  check(key != nullptr, "a stored key is damaged");
  return key;
}

Cert parse_cert(const std::string& pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  Cert cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  check(cert != nullptr, "the stored certificate is damaged");
  return cert;
}

void add_extension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  check(extension != nullptr, "an extension could not be made");
  X509_add_ext(cert, extension, -1);
  X509_EXTENSION_free(extension);
}

// A certificate for `subject_key`, its fields set but not signed.
Cert new_certificate(const std::string& common_name, EVP_PKEY* subject_key, long valid_days) {
  Cert cert(X509_new());
  check(cert != nullptr, "no certificate could be made");
  X509_set_version(cert.get(), 2);
  unsigned char serial[16];
  check(RAND_bytes(serial, sizeof serial) == 1, "no random serial");
  serial[0] &= 0x7f;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
  BN_free(number);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -kDay);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), valid_days * kDay);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Quorvane"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(common_name.c_str()),
                             -1, -1, 0);
  X509_set_pubkey(cert.get(), subject_key);
  return cert;
}

std::string spki_sha256(EVP_PKEY* key) {
  unsigned char* der = nullptr;
  const int length = i2d_PUBKEY(key, &der);
  check(length > 0, "no public key");
  unsigned char digest[32];
  unsigned int digest_length = 0;
  EVP_Digest(der, static_cast<std::size_t>(length), digest, &digest_length, EVP_sha256(), nullptr);
  OPENSSL_free(der);
  std::string out(boost::beast::detail::base64::encoded_size(digest_length), '\0');
  out.resize(boost::beast::detail::base64::encode(out.data(), digest, digest_length));
  return out;
}

bool is_ip_literal(const std::string& host) {
  ASN1_OCTET_STRING* ip = a2i_IPADDRESS(host.c_str());
  if (ip == nullptr) return false;
  ASN1_OCTET_STRING_free(ip);
  return true;
}

}  // namespace

struct CertificateAuthority::Keys {
  Key authority_key;
  Cert authority;
  Key leaf_key;
};

CertificateAuthority::CertificateAuthority(const std::filesystem::path& folder, std::size_t leaf_cache_size)
    : keys_(std::make_unique<Keys>()), leaf_cache_size_(std::max<std::size_t>(1, leaf_cache_size)) {
  make_private_folder(folder);
  certificate_file_ = folder / "authority.pem";
  const auto key_file = folder / "authority-key.pem";
  const auto leaf_file = folder / "leaf-key.pem";
  if (std::filesystem::exists(certificate_file_) && std::filesystem::exists(key_file) &&
      std::filesystem::exists(leaf_file)) {
    check_key_private(key_file);
    check_key_private(leaf_file);
    keys_->authority = parse_cert(read_text(certificate_file_));
    keys_->authority_key = parse_key(read_text(key_file));
    keys_->leaf_key = parse_key(read_text(leaf_file));
    check(X509_check_private_key(keys_->authority.get(), keys_->authority_key.get()) == 1,
          "the stored key does not belong to the stored certificate");
    return;
  }
  keys_->authority_key = new_key();
  keys_->leaf_key = new_key();
  keys_->authority = new_certificate("Quorvane local proxy authority", keys_->authority_key.get(), 3650);
  X509_set_issuer_name(keys_->authority.get(), X509_get_subject_name(keys_->authority.get()));
  add_extension(keys_->authority.get(), keys_->authority.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
  add_extension(keys_->authority.get(), keys_->authority.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  add_extension(keys_->authority.get(), keys_->authority.get(), NID_subject_key_identifier, "hash");
  check(X509_sign(keys_->authority.get(), keys_->authority_key.get(), EVP_sha256()) > 0, "signing failed");
  write_text(key_file, key_pem(keys_->authority_key.get()), true);
  write_text(leaf_file, key_pem(keys_->leaf_key.get()), true);
  write_text(certificate_file_, cert_pem(keys_->authority.get()), false);
}

CertificateAuthority::~CertificateAuthority() = default;

std::size_t CertificateAuthority::cached_leaves() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return leaves_.size();
}

std::string CertificateAuthority::certificate_pem() const { return cert_pem(keys_->authority.get()); }
std::string CertificateAuthority::authority_spki_sha256() const { return spki_sha256(keys_->authority_key.get()); }
std::string CertificateAuthority::leaf_spki_sha256() const { return spki_sha256(keys_->leaf_key.get()); }
std::string CertificateAuthority::leaf_key_pem() const { return key_pem(keys_->leaf_key.get()); }

std::string CertificateAuthority::issue_leaf_pem(const std::string& host) const {
  Cert leaf = new_certificate(host.substr(0, 64), keys_->leaf_key.get(), 397);
  X509_set_issuer_name(leaf.get(), X509_get_subject_name(keys_->authority.get()));
  add_extension(leaf.get(), keys_->authority.get(), NID_basic_constraints, "critical,CA:FALSE");
  add_extension(leaf.get(), keys_->authority.get(), NID_key_usage, "critical,digitalSignature");
  add_extension(leaf.get(), keys_->authority.get(), NID_ext_key_usage, "serverAuth");
  add_extension(leaf.get(), keys_->authority.get(), NID_subject_alt_name,
                (is_ip_literal(host) ? "IP:" : "DNS:") + host);
  add_extension(leaf.get(), keys_->authority.get(), NID_authority_key_identifier, "keyid");
  check(X509_sign(leaf.get(), keys_->authority_key.get(), EVP_sha256()) > 0, "signing failed");
  return cert_pem(leaf.get());
}

std::shared_ptr<boost::asio::ssl::context> CertificateAuthority::server_context(const std::string& host) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = leaf_index_.find(host);
    if (found != leaf_index_.end()) {
      leaves_.splice(leaves_.begin(), leaves_, found->second);
      return found->second->second;
    }
  }
  // Made outside the lock: signing takes a while, and other hosts' leaves
  // need not wait for it.
  auto context = std::make_shared<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
  context->set_options(boost::asio::ssl::context::default_workarounds | boost::asio::ssl::context::no_sslv2 |
                       boost::asio::ssl::context::no_sslv3 | boost::asio::ssl::context::no_tlsv1 |
                       boost::asio::ssl::context::no_tlsv1_1);
  const std::string chain = issue_leaf_pem(host) + certificate_pem();
  context->use_certificate_chain(boost::asio::buffer(chain));
  const std::string key = leaf_key_pem();
  context->use_private_key(boost::asio::buffer(key), boost::asio::ssl::context::pem);
  // Only HTTP/1.1 is spoken inside: a client that offers h2 is told so.
  SSL_CTX_set_alpn_select_cb(
      context->native_handle(),
      [](SSL*, const unsigned char** out, unsigned char* out_length, const unsigned char* in, unsigned int in_length,
         void*) -> int {
        static const unsigned char kHttp11[] = {8, 'h', 't', 't', 'p', '/', '1', '.', '1'};
        unsigned char* selected = nullptr;
        if (SSL_select_next_proto(&selected, out_length, kHttp11, sizeof kHttp11, in, in_length) !=
            OPENSSL_NPN_NEGOTIATED) {
          return SSL_TLSEXT_ERR_NOACK;
        }
        *out = selected;
        return SSL_TLSEXT_ERR_OK;
      },
      nullptr);
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = leaf_index_.find(host);
  if (found != leaf_index_.end()) return found->second->second;  // made meanwhile by another thread
  leaves_.emplace_front(host, context);
  leaf_index_[host] = leaves_.begin();
  while (leaves_.size() > leaf_cache_size_) {
    leaf_index_.erase(leaves_.back().first);
    leaves_.pop_back();
  }
  return context;
}

}  // namespace Tavrin::Proxy::Http
