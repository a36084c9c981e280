// HTTP authentication answered by the proxy for a run: the Authorization
// value that answers an origin's Basic or Digest challenge with the
// credentials the run gave (httpCredentials in the tester's API), so no
// browser shows a dialog and every browser behaves the same.
#ifndef QUORVANE_PROXY_HTTP_HTTP_CREDENTIALS_H_
#define QUORVANE_PROXY_HTTP_HTTP_CREDENTIALS_H_

#include <optional>
#include <string>
#include <vector>

namespace Tavrin::Proxy::Http {

struct Credentials {
  std::string user;
  std::string password;
};

// The Authorization value answering one of `challenges` (the values of
// the answer's WWW-Authenticate fields, one challenge each) for a request
// of `method` on `uri` (its path and query): Digest (MD5, SHA-256, with or
// without qop=auth) before Basic. std::nullopt when none is of those.
// `cnonce` is the client nonce a Digest answer carries.
std::optional<std::string> answer_challenge(const std::vector<std::string>& challenges, const Credentials& credentials,
                                            const std::string& method, const std::string& uri,
                                            const std::string& cnonce);

// A parameter of a challenge or of a Digest answer ("realm", "nonce" ...),
// quotes removed; empty when absent.
std::string auth_parameter(const std::string& value, const std::string& name);

// The hash of `text` in lower-case hex, by Digest's algorithm name ("MD5",
// "SHA-256").
std::string digest_hex(const std::string& algorithm, const std::string& text);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_HTTP_CREDENTIALS_H_
