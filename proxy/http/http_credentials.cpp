#include "proxy/http/http_credentials.h"

#include <algorithm>
#include <cctype>

#include <boost/beast/core/detail/base64.hpp>
#include <openssl/evp.h>

#include "proxy/http/header_text.h"

namespace Tavrin::Proxy::Http {

namespace {

std::string scheme_of(const std::string& challenge) {
  const auto start = challenge.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return lower_case(challenge.substr(start, challenge.find_first_of(" \t", start) - start));
}

std::string basic(const Credentials& c) {
  const std::string pair = c.user + ":" + c.password;
  std::string out(boost::beast::detail::base64::encoded_size(pair.size()), '\0');
  out.resize(boost::beast::detail::base64::encode(out.data(), pair.data(), pair.size()));
  return "Basic " + out;
}

std::optional<std::string> digest(const std::string& challenge, const Credentials& c, const std::string& method,
                                  const std::string& uri, const std::string& cnonce) {
  std::string algorithm = auth_parameter(challenge, "algorithm");
  if (algorithm.empty()) algorithm = "MD5";
  const std::string hash = lower_case(algorithm) == "sha-256" ? "SHA-256" : lower_case(algorithm) == "md5" ? "MD5" : "";
  if (hash.empty()) return std::nullopt;
  const std::string realm = auth_parameter(challenge, "realm");
  const std::string nonce = auth_parameter(challenge, "nonce");
  const std::string opaque = auth_parameter(challenge, "opaque");
  const std::string qops = auth_parameter(challenge, "qop");
  bool qop = false;
  for (std::size_t at = 0; at <= qops.size();) {
    std::size_t end = qops.find(',', at);
    if (end == std::string::npos) end = qops.size();
    std::string token = qops.substr(at, end - at);
    token.erase(std::remove_if(token.begin(), token.end(), [](unsigned char ch) { return std::isspace(ch); }), token.end());
    if (lower_case(token) == "auth") qop = true;
    at = end + 1;
  }
  const std::string nc = "00000001";
  const std::string ha1 = digest_hex(hash, c.user + ":" + realm + ":" + c.password);
  const std::string ha2 = digest_hex(hash, method + ":" + uri);
  const std::string response =
      digest_hex(hash, qop ? ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2 : ha1 + ":" + nonce + ":" + ha2);
  std::string out = "Digest username=\"" + c.user + "\", realm=\"" + realm + "\", nonce=\"" + nonce + "\", uri=\"" +
                    uri + "\", algorithm=" + algorithm + ", response=\"" + response + "\"";
  if (qop) out += ", qop=auth, nc=" + nc + ", cnonce=\"" + cnonce + "\"";
  if (!opaque.empty()) out += ", opaque=\"" + opaque + "\"";
  return out;
}

}  // namespace

std::string auth_parameter(const std::string& value, const std::string& name) {
  const std::string text = lower_case(value);
  std::size_t at = 0;
  while ((at = text.find(name + "=", at)) != std::string::npos) {
    const bool starts = at == 0 || text[at - 1] == ' ' || text[at - 1] == ',' || text[at - 1] == '\t';
    at += name.size() + 1;
    if (!starts) continue;
    if (at < value.size() && value[at] == '"') {
      const auto end = value.find('"', at + 1);
      return value.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    }
    const auto end = value.find_first_of(", \t", at);
    return value.substr(at, end == std::string::npos ? std::string::npos : end - at);
  }
  return {};
}

std::string digest_hex(const std::string& algorithm, const std::string& text) {
  unsigned char bytes[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), bytes, &size, algorithm == "SHA-256" ? EVP_sha256() : EVP_md5(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < size; ++i) {
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  return out;
}

std::optional<std::string> answer_challenge(const std::vector<std::string>& challenges, const Credentials& credentials,
                                            const std::string& method, const std::string& uri,
                                            const std::string& cnonce) {
  for (const std::string& challenge : challenges) {
    if (scheme_of(challenge) != "digest") continue;
    if (auto answer = digest(challenge, credentials, method, uri, cnonce)) return answer;
  }
  for (const std::string& challenge : challenges) {
    if (scheme_of(challenge) == "basic") return basic(credentials);
  }
  return std::nullopt;
}

}  // namespace Tavrin::Proxy::Http
