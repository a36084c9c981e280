// Trust in the local proxy's own certificate authority, and in nothing else
// added: the proxy makes the authority on first use and keeps its
// certificate as "authority.pem" in the product home folder "Proxy".
// Chromium is given the SHA-256 of the authority's key (its
// SubjectPublicKeyInfo, base64) to accept; Firefox gets a certificate
// database in its throwaway profile that trusts the authority for web
// sites (NSS's certutil, from Debian's libnss3-tools).
#ifndef QUORVANE_BROWSER_PROXY_AUTHORITY_H_
#define QUORVANE_BROWSER_PROXY_AUTHORITY_H_

#include <string>

namespace Tavrin::Browser {

// The authority's certificate file; empty when the proxy has made none yet
// (or the product home folder is unknown).
std::string proxy_authority_file();

// base64 of the SHA-256 of the SubjectPublicKeyInfo of the first
// certificate in `pem`. Throws std::runtime_error for text that holds no
// certificate.
std::string spki_sha256_base64(const std::string& pem);

// Puts a certificate database into `profile` that trusts the certificate in
// `pem_file` to identify web sites. The database is made once per
// authority, in a folder "firefox-trust-<key hash>" beside `pem_file`, and
// copied into each profile. Throws std::runtime_error naming what
// failed (certutil missing or failing).
void trust_in_firefox_profile(const std::string& profile, const std::string& pem_file);

}  // namespace Tavrin::Browser

#endif  // QUORVANE_BROWSER_PROXY_AUTHORITY_H_
