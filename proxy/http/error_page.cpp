#include "proxy/http/error_page.h"

#include <boost/beast/http/status.hpp>

namespace Tavrin::Proxy::Http {

std::string escape_html(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

http::response<http::string_body> make_error_page(http::status status, const std::string& detail,
                                                  unsigned version, bool keep_alive) {
  const std::string title =
      std::to_string(static_cast<unsigned>(status)) + " " + std::string(http::obsolete_reason(status));
  http::response<http::string_body> page{status, version};
  page.set(http::field::server, "QuorvaneProxy");
  page.set(http::field::content_type, "text/html; charset=utf-8");
  page.set(http::field::cache_control, "no-store");
  page.body() = "<!DOCTYPE html>\n<html><head><title>" + escape_html(title) + "</title></head><body><h1>" +
                escape_html(title) + "</h1><p>" + escape_html(detail) + "</p><p>QuorvaneProxy</p></body></html>\n";
  page.keep_alive(keep_alive);
  page.prepare_payload();
  return page;
}

}  // namespace Tavrin::Proxy::Http
