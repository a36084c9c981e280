#include "proxy/http/message_framing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

#include <boost/beast/core/string.hpp>

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

// Calls `each` with the comma-separated elements of a field's value,
// parameters (";...") dropped and empty elements skipped, until `each`
// returns false.
template <class Each>
void for_each_element(std::string_view value, Each&& each) {
  while (!value.empty()) {
    const std::size_t comma = value.find(',');
    std::string_view element = value.substr(0, comma);
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    element = trim(element.substr(0, element.find(';')));
    if (!element.empty() && !each(element)) return;
  }
}

bool same_token(std::string_view a, std::string_view b) { return boost::beast::iequals(a, b); }

}  // namespace

// One pass over the fields, with no copies of their text: this runs for
// every request and every answer the proxy forwards.
std::optional<std::string> framing_fault(const http::fields& fields, unsigned version, bool request) {
  std::size_t lengths = 0;
  std::string_view length;
  std::size_t codings_fields = 0;
  std::size_t chunked_count = 0;
  bool last_is_chunked = false;
  std::string_view named_framing;
  for (const auto& field : fields) {
    switch (field.name()) {
      case http::field::connection:
        for_each_element(field.value(), [&](std::string_view token) {
          for (const std::string_view name : kNotHopByHop) {
            if (same_token(name, token)) named_framing = name;
          }
          return named_framing.empty();
        });
        if (!named_framing.empty()) {
          return "its Connection header names " + std::string(named_framing) + ", which is not for one hop only";
        }
        break;
      case http::field::content_length:
        ++lengths;
        length = field.value();
        break;
      case http::field::transfer_encoding:
        ++codings_fields;
        for_each_element(field.value(), [&](std::string_view coding) {
          last_is_chunked = same_token(coding, "chunked");
          if (last_is_chunked) ++chunked_count;
          return true;
        });
        break;
      default:
        break;
    }
  }
  if (codings_fields > 0) {
    if (!last_is_chunked) return std::string("its Transfer-Encoding does not end in chunked");
    if (chunked_count > 1) return std::string("its Transfer-Encoding names chunked twice");
    if (lengths > 0) return std::string("it has both Transfer-Encoding and Content-Length");
    if (request && version < 11) return std::string("an HTTP/1.0 request has a Transfer-Encoding");
  }
  if (lengths > 1) return std::string("it has more than one Content-Length");
  if (lengths == 1) {
    if (length.empty() || length.size() > 19 ||
        !std::all_of(length.begin(), length.end(), [](unsigned char c) { return std::isdigit(c); })) {
      return "its Content-Length " + std::string(length) + " is not a plain number";
    }
  }
  return std::nullopt;
}

}  // namespace Tavrin::Proxy::Http
