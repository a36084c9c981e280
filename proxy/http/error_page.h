// The answers the proxy makes itself when it cannot pass a request on: a
// small HTML page that names the status, the host concerned and the cause,
// never cached, so that a tester sees in the browser why a page failed.
#ifndef QUORVANE_PROXY_HTTP_ERROR_PAGE_H_
#define QUORVANE_PROXY_HTTP_ERROR_PAGE_H_

#include <string>

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>

namespace Tavrin::Proxy::Http {

namespace http = boost::beast::http;

// The page for `status`: the title is the status line, `detail` a sentence
// naming the host and the cause (escaped for HTML). `version` is the
// client's HTTP version; `keep_alive` false adds "Connection: close".
http::response<http::string_body> make_error_page(http::status status, const std::string& detail,
                                                  unsigned version, bool keep_alive);

// Escapes &, <, >, " and ' for HTML text.
std::string escape_html(const std::string& text);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_ERROR_PAGE_H_
