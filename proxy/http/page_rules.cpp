#include "proxy/http/page_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <random>
#include <vector>

#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/rfc7230.hpp>

#include "proxy/http/header_text.h"

namespace Tavrin::Proxy::Http {

namespace {

bool contains_ignoring_case(std::string_view text, std::string_view part) {
  return lower_case(text).find(part) != std::string::npos;
}

}  // namespace

bool is_document_request(const http::fields& request) {
  const auto dest = request.find("Sec-Fetch-Dest");
  if (dest != request.end()) {
    const std::string value = lower_case(trimmed(dest->value()));
    return value == "document" || value == "iframe" || value == "frame";
  }
  if (request.find("X-Requested-With") != request.end()) return false;
  const auto accept = request.find(http::field::accept);
  return accept != request.end() && (contains_ignoring_case(accept->value(), "text/html") ||
                                     contains_ignoring_case(accept->value(), "application/xhtml+xml"));
}

bool is_injectable_response(http::verb method, const http::response_header<>& response) {
  if (method == http::verb::head) return false;
  const unsigned status = response.result_int();
  // Every answer a browser shows as a page: a redirect without a Location
  // is shown like any other (a partial or empty answer is not).
  if (status < 200 || status == 204 || status == 205 || status == 206 || status == 304) return false;
  if (status >= 300 && status < 400 && response.find(http::field::location) != response.end()) return false;
  const std::string type = media_type(response[http::field::content_type]);
  if (type != "text/html" && type != "application/xhtml+xml") return false;
  return !contains_ignoring_case(response[http::field::content_disposition], "attachment");
}

void remove_hop_by_hop(http::fields& fields, bool keep_upgrade) {
  // The names Connection lists, copied (short names stay in the string
  // itself): erasing fields frees their text. Keep-Alive goes anyway.
  std::vector<std::string> named;
  for (const auto& token : http::token_list(fields[http::field::connection])) {
    if (boost::beast::iequals(token, "keep-alive")) continue;
    if (keep_upgrade && boost::beast::iequals(token, "upgrade")) continue;
    named.emplace_back(token.data(), token.size());
  }
  const auto is_hop_by_hop = [&](const http::fields::value_type& field) {
    switch (field.name()) {
      case http::field::keep_alive:
      case http::field::proxy_connection:
      case http::field::proxy_authenticate:
      case http::field::proxy_authorization:
      case http::field::te:
      case http::field::trailer:
        return true;
      case http::field::connection:
      case http::field::upgrade:
        return !keep_upgrade;
      default:
        break;
    }
    return std::any_of(named.begin(), named.end(),
                       [&](const std::string& name) { return boost::beast::iequals(field.name_string(), name); });
  };
  // One pass over the fields: this runs twice for every forwarded request.
  for (auto it = fields.begin(); it != fields.end();) {
    it = is_hop_by_hop(*it) ? fields.erase(it) : std::next(it);
  }
  if (keep_upgrade) fields.set(http::field::connection, "upgrade");
}

void prepare_document_request(http::fields& request) {
  for (const char* name : {"If-None-Match", "If-Modified-Since", "If-Match", "If-Unmodified-Since", "If-Range",
                           "Range"}) {
    request.erase(name);
  }
  request.set(http::field::accept_encoding, "identity");
}

void prepare_injected_response(http::fields& response, const std::string& nonce) {
  response.erase(http::field::etag);
  response.erase(http::field::last_modified);
  response.erase(http::field::content_encoding);
  response.erase(http::field::content_md5);
  response.set(http::field::cache_control, "no-store");
  std::vector<std::string> policies;
  const auto range = response.equal_range(kPolicyField);
  for (auto it = range.first; it != range.second; ++it) policies.push_back(allow_nonce_in_policy(it->value(), nonce));
  response.erase(kPolicyField);
  for (const std::string& policy : policies) response.insert(kPolicyField, policy);
}

std::string allow_nonce_in_policy(std::string_view policy, const std::string& nonce) {
  struct Directive {
    std::string name;
    std::string text;
  };
  std::vector<Directive> directives;
  std::size_t start = 0;
  while (start <= policy.size()) {
    std::size_t end = policy.find(';', start);
    if (end == std::string_view::npos) end = policy.size();
    const std::string text = trimmed(policy.substr(start, end - start));
    start = end + 1;
    if (text.empty()) continue;
    directives.push_back({lower_case(text.substr(0, text.find_first_of(" \t"))), text});
  }
  auto has = [&](const char* name) {
    return std::any_of(directives.begin(), directives.end(), [&](const Directive& d) { return d.name == name; });
  };
  const bool scripts_named = has("script-src") || has("script-src-elem");
  const std::string source = "'nonce-" + nonce + "'";
  std::string out;
  for (Directive& d : directives) {
    const bool change = scripts_named ? (d.name == "script-src" || d.name == "script-src-elem")
                                      : d.name == "default-src";
    if (change) {
      std::string values = trimmed(std::string_view(d.text).substr(d.name.size()));
      const std::string seen = lower_case(values);
      if (seen == "'none'") values.clear();
      // A nonce in a list turns its 'unsafe-inline' off, which would stop
      // the page's own inline scripts; such a list gets the page's origin.
      const bool inline_allowed = seen.find("'unsafe-inline'") != std::string::npos &&
                                  seen.find("'nonce-") == std::string::npos &&
                                  seen.find("'sha") == std::string::npos &&
                                  seen.find("'strict-dynamic'") == std::string::npos;
      const std::string added = inline_allowed ? "'self'" : source;
      d.text = d.text.substr(0, d.name.size()) + " " + (values.empty() ? added : values + " " + added);
    }
    if (!out.empty()) out += "; ";
    out += d.text;
  }
  return out;
}

std::string make_nonce() {
  std::random_device device;
  std::array<unsigned char, 16> bytes;
  for (auto& b : bytes) b = static_cast<unsigned char>(device());
  std::string out(boost::beast::detail::base64::encoded_size(bytes.size()), '\0');
  out.resize(boost::beast::detail::base64::encode(out.data(), bytes.data(), bytes.size()));
  return out;
}

std::string with_nonce(std::string_view elements, const std::string& nonce) {
  const std::string attribute = " nonce=\"" + nonce + "\"";
  std::string out;
  std::size_t at = 0;
  for (;;) {
    const std::size_t next = elements.find("<script", at);
    if (next == std::string_view::npos) break;
    out.append(elements.substr(at, next + 7 - at));
    out += attribute;
    at = next + 7;
  }
  out.append(elements.substr(at));
  return out;
}

}  // namespace Tavrin::Proxy::Http
