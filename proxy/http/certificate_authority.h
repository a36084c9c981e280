// The certificate authority with which the proxy looks inside HTTPS. It is
// made for this installation on first use and kept in a folder of the
// user's product home: "authority.pem" (the authority's certificate, for
// browsers to trust) and "authority-key.pem" and "leaf-key.pem" (private
// keys, readable by the user only). The folder is the user's alone (0700)
// and the keys are created 0600 before their first byte is written; a
// stored key that others could read is refused, not used. All keys are
// ECDSA P-256. Every host name gets a leaf certificate of its own, made on
// first use, signed by the authority, with the name as its subjectAltName
// and serverAuth as its use, all sharing the one leaf key; the most
// recently used leaves are kept, up to a bound.
//
// Thread-safe after construction.
#ifndef QUORVANE_PROXY_HTTP_CERTIFICATE_AUTHORITY_H_
#define QUORVANE_PROXY_HTTP_CERTIFICATE_AUTHORITY_H_

#include <filesystem>
#include <list>
#include <unordered_map>
#include <utility>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include <boost/asio/ssl/context.hpp>

namespace Tavrin::Proxy::Http {

class CertificateAuthority {
 public:
  class AuthorityError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // Loads the authority from `folder`, or makes and stores a new one when
  // the folder holds none (creating the folder). Keeps the server contexts
  // of `leaf_cache_size` host names at most (at least 1). Throws
  // AuthorityError when the files cannot be read, made or written, or a
  // stored key is not private.
  explicit CertificateAuthority(const std::filesystem::path& folder, std::size_t leaf_cache_size = 1000);
  ~CertificateAuthority();
  CertificateAuthority(const CertificateAuthority&) = delete;
  CertificateAuthority& operator=(const CertificateAuthority&) = delete;

  // The authority's certificate file.
  const std::filesystem::path& certificate_file() const { return certificate_file_; }
  // The authority's certificate, PEM.
  std::string certificate_pem() const;
  // base64 of the SHA-256 of the SubjectPublicKeyInfo of the authority's
  // key and of the leaf key, as browsers take them in SPKI allow-lists.
  std::string authority_spki_sha256() const;
  std::string leaf_spki_sha256() const;

  // A server context presenting the leaf for `host` (a name or an IP
  // literal), offering http/1.1 only. Throws AuthorityError.
  std::shared_ptr<boost::asio::ssl::context> server_context(const std::string& host);

  // Host names whose contexts are kept now.
  std::size_t cached_leaves() const;

  // A leaf certificate (PEM) for `host`, signed by this authority; used by
  // tests to set up origins that the authority vouches for.
  std::string issue_leaf_pem(const std::string& host) const;
  // The leaf key, PEM.
  std::string leaf_key_pem() const;

 private:
  struct Keys;
  std::unique_ptr<Keys> keys_;
  std::filesystem::path certificate_file_;
  using Leaf = std::pair<std::string, std::shared_ptr<boost::asio::ssl::context>>;
  const std::size_t leaf_cache_size_;
  mutable std::mutex mutex_;
  std::list<Leaf> leaves_;  // most recently used first
  std::unordered_map<std::string, std::list<Leaf>::iterator> leaf_index_;
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_CERTIFICATE_AUTHORITY_H_
