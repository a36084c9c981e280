// Where a request that reaches the proxy is meant to go. Browsers ask a
// forward proxy with the absolute form ("http://host:port/path?q"), tunnel
// requests with the authority form ("host:443"), and, inside an intercepted
// TLS connection, with the origin form ("/path") of the tunnel's origin.
#ifndef QUORVANE_PROXY_HTTP_REQUEST_TARGET_H_
#define QUORVANE_PROXY_HTTP_REQUEST_TARGET_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <boost/asio/ip/address.hpp>

namespace Tavrin::Proxy::Http {

struct Origin {
  bool tls = false;
  std::string host;  // lower case; an IPv6 literal without brackets
  std::uint16_t port = 80;

  // "host:port" ("[::1]:port" for IPv6), as a Host header or a pool key.
  std::string authority() const;
  // The Host header value: the port is left out when it is the default.
  std::string host_header() const;
  // The origin as a browser's Origin header names it: "http://host[:port]".
  std::string web_origin() const;
  bool operator==(const Origin&) const = default;
};

struct RequestTarget {
  // Absent for an origin-form target outside a tunnel: a request made to
  // the proxy itself.
  std::optional<Origin> origin;
  // The origin form to send on: path and query, "/" at least.
  std::string path;
};

// Parses an absolute-form ("http://..." or "https://...") or origin-form
// target; `tunnel` is the origin of the intercepted tunnel, if any.
// std::nullopt for anything else (another scheme, a bad port, user info).
std::optional<RequestTarget> parse_request_target(std::string_view target, const std::optional<Origin>& tunnel);

// Parses a CONNECT target "host:port"; std::nullopt when malformed.
std::optional<Origin> parse_authority(std::string_view authority, bool tls);

// True for a host that names this machine's loopback: "localhost",
// 127.x.x.x in any form the system reads (127.1, 2130706433) and ::1.
bool is_loopback_host(std::string_view host);

// The address a host written as a number stands for, in every form the
// system's resolver reads (dotted, shortened, decimal, octal or hex IPv4;
// IPv6, an IPv4-mapped one given as its IPv4 address); std::nullopt for a
// name.
std::optional<boost::asio::ip::address> numeric_host_address(std::string_view host);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_REQUEST_TARGET_H_
