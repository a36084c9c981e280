#include "proxy/http/request_target.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include <boost/asio/ip/address.hpp>

#include "proxy/http/header_text.h"

namespace Tavrin::Proxy::Http {

namespace {

// ASCII, whatever the locale: every request's target passes here.
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(),
                                                    [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
}

bool valid_host_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

}  // namespace

std::string Origin::authority() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string Origin::host_header() const {
  if (port == (tls ? 443 : 80)) return host.find(':') != std::string::npos ? "[" + host + "]" : host;
  return authority();
}

std::string Origin::web_origin() const { return (tls ? "https://" : "http://") + host_header(); }

std::optional<Origin> parse_authority(std::string_view authority, bool tls) {
  Origin origin;
  origin.tls = tls;
  origin.port = tls ? 443 : 80;
  std::string_view host;
  std::string_view rest;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(1, close - 1);
    rest = authority.substr(close + 1);
    boost::system::error_code ec;
    boost::asio::ip::make_address_v6(std::string(host), ec);
    if (ec) return std::nullopt;
  } else {
    const std::size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    if (!std::all_of(host.begin(), host.end(), valid_host_char)) return std::nullopt;
  }
  if (host.empty() || host.size() > 253) return std::nullopt;
  if (!rest.empty()) {
    if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6) return std::nullopt;
    unsigned long port = 0;
    for (char c : rest.substr(1)) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      port = port * 10 + static_cast<unsigned long>(c - '0');
    }
    if (port == 0 || port > 65535) return std::nullopt;
    origin.port = static_cast<std::uint16_t>(port);
  }
  origin.host = lower_case(host);
  return origin;
}

std::optional<RequestTarget> parse_request_target(std::string_view target, const std::optional<Origin>& tunnel) {
  RequestTarget result;
  if (!target.empty() && target.front() == '/') {
    result.origin = tunnel;
    result.path.assign(target);
    return result;
  }
  bool tls = false;
  if (starts_with_ignoring_case(target, "http://")) {
    target.remove_prefix(7);
  } else if (starts_with_ignoring_case(target, "https://")) {
    tls = true;
    target.remove_prefix(8);
  } else {
    return std::nullopt;
  }
  const std::size_t end = target.find_first_of("/?#");
  const std::string_view authority = target.substr(0, end);
  if (authority.find('@') != std::string_view::npos) return std::nullopt;
  result.origin = parse_authority(authority, tls);
  if (!result.origin) return std::nullopt;
  std::string_view path = end == std::string_view::npos ? std::string_view() : target.substr(end);
  path = path.substr(0, path.find('#'));
  result.path = path.empty() || path.front() != '/' ? "/" + std::string(path) : std::string(path);
  return result;
}

std::optional<boost::asio::ip::address> numeric_host_address(std::string_view host) {
  const std::string text(host);
  in_addr v4{};
  // inet_aton reads what getaddrinfo reads for IPv4: "127.1", "2130706433",
  // "0x7f.1".
  if (::inet_aton(text.c_str(), &v4) != 0) return boost::asio::ip::address_v4(ntohl(v4.s_addr));
  boost::system::error_code ec;
  const auto v6 = boost::asio::ip::make_address_v6(text, ec);
  if (ec) return std::nullopt;
  if (v6.is_v4_mapped()) return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, v6);
  return v6;
}

bool is_loopback_host(std::string_view host) {
  if (host == "localhost" || (host.size() > 10 && host.substr(host.size() - 10) == ".localhost")) return true;
  const auto address = numeric_host_address(host);
  return address && address->is_loopback();
}

}  // namespace Tavrin::Proxy::Http
