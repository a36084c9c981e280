#include "proxy/http/message_framing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

#include "proxy/http/header_text.h"

namespace Tavrin::Proxy::Http {

namespace {

namespace http = boost::beast::http;

// Fields whose removal changes how a message is framed, routed or read;
// no Connection header may name them.
constexpr std::array<std::string_view, 6> kNotHopByHop = {"content-length", "transfer-encoding", "host",
                                                          "content-type",   "content-encoding",  "content-range"};

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The comma-separated elements of every field named `name`, lower case,
// parameters (";...") dropped, empty elements skipped.
std::vector<std::string> elements(const http::fields& fields, http::field name) {
  std::vector<std::string> out;
  for (auto range = fields.equal_range(name); range.first != range.second; ++range.first) {
    std::string_view value = range.first->value();
    while (!value.empty()) {
      const std::size_t comma = value.find(',');
      std::string_view element = value.substr(0, comma);
      value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
      element = trim(element.substr(0, element.find(';')));
      if (!element.empty()) out.push_back(lower_case(element));
    }
  }
  return out;
}

std::size_t count_of(const http::fields& fields, http::field name) {
  auto range = fields.equal_range(name);
  return static_cast<std::size_t>(std::distance(range.first, range.second));
}

}  // namespace

std::optional<std::string> framing_fault(const http::fields& fields, unsigned version, bool request) {
  for (const std::string& token : elements(fields, http::field::connection)) {
    if (std::find(kNotHopByHop.begin(), kNotHopByHop.end(), token) != kNotHopByHop.end()) {
      return "its Connection header names " + token + ", which is not for one hop only";
    }
  }
  const std::size_t lengths = count_of(fields, http::field::content_length);
  const std::vector<std::string> codings = elements(fields, http::field::transfer_encoding);
  if (count_of(fields, http::field::transfer_encoding) > 0) {
    if (codings.empty() || codings.back() != "chunked") return std::string("its Transfer-Encoding does not end in chunked");
    if (std::count(codings.begin(), codings.end(), "chunked") > 1) return std::string("its Transfer-Encoding names chunked twice");
    if (lengths > 0) return std::string("it has both Transfer-Encoding and Content-Length");
    if (request && version < 11) return std::string("an HTTP/1.0 request has a Transfer-Encoding");
  }
  if (lengths > 1) return std::string("it has more than one Content-Length");
  if (lengths == 1) {
    const std::string_view value = fields[http::field::content_length];
    if (value.empty() || value.size() > 19 ||
        !std::all_of(value.begin(), value.end(), [](unsigned char c) { return std::isdigit(c); })) {
      return "its Content-Length " + std::string(value) + " is not a plain number";
    }
  }
  return std::nullopt;
}

}  // namespace Tavrin::Proxy::Http
