// The rules by which the proxy tells documents from other requests, which
// answers it injects the support scripts into, and how it changes their
// headers so that an injected page runs its scripts and never comes back
// from a cache without them.
//
// A document request: "Sec-Fetch-Dest" is "document" or "iframe" where the
// browser sends it; else "Accept" lists text/html and the request is no
// XMLHttpRequest ("X-Requested-With"). An answer is injected when the
// request was a document request (not HEAD), the answer is text/html or
// application/xhtml+xml with any status a browser shows as a page (2xx but
// 204, 205 and 206; a 3xx without Location; 4xx, 5xx), and it is no
// attachment.
#ifndef QUORVANE_PROXY_HTTP_PAGE_RULES_H_
#define QUORVANE_PROXY_HTTP_PAGE_RULES_H_

#include <string>
#include <string_view>

#include <boost/beast/http/fields.hpp>
#include <boost/beast/http/message.hpp>

namespace Tavrin::Proxy::Http {

namespace http = boost::beast::http;

inline constexpr const char kPolicyField[] = "Content-Security-Policy";

bool is_document_request(const http::fields& request);

bool is_injectable_response(http::verb method, const http::response_header<>& response);

// Removes the hop-by-hop fields: Connection and every field it names,
// Keep-Alive, Proxy-Connection, Proxy-Authenticate, Proxy-Authorization, TE,
// Trailer and Upgrade. Transfer-Encoding stays: it frames the body that is
// passed on. With keep_upgrade, "Connection: upgrade" and Upgrade stay.
void remove_hop_by_hop(http::fields& fields, bool keep_upgrade = false);

// For a document request: no conditional fields (If-None-Match,
// If-Modified-Since, If-Match, If-Unmodified-Since, If-Range, Range), and
// an uncompressed body asked for.
void prepare_document_request(http::fields& request);

// For an injected answer: no ETag, Last-Modified or Content-Encoding,
// "Cache-Control: no-store", and every Content-Security-Policy field
// allowing scripts that carry `nonce`.
void prepare_injected_response(http::fields& response, const std::string& nonce);

// One policy with scripts that carry `nonce` allowed: the nonce goes into
// script-src-elem and script-src where they are, else into default-src
// (which then governs scripts); a policy that restricts none of them is
// returned unchanged. "'none'" in a changed list gives way to the nonce; a
// list that allows inline scripts by 'unsafe-inline' alone gets 'self'
// instead, since a nonce would switch that off.
std::string allow_nonce_in_policy(std::string_view policy, const std::string& nonce);

// A fresh nonce: 128 random bits in base64.
std::string make_nonce();

// Adds nonce="..." to every <script element in `elements`.
std::string with_nonce(std::string_view elements, const std::string& nonce);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_PAGE_RULES_H_
