// Small text steps on HTTP header values, which are ASCII where they
// matter: lower case (names, tokens and media types compare without case),
// blanks trimmed, and a Content-Type's media type.
#ifndef QUORVANE_PROXY_HTTP_HEADER_TEXT_H_
#define QUORVANE_PROXY_HTTP_HEADER_TEXT_H_

#include <string>
#include <string_view>

namespace Tavrin::Proxy::Http {

// `text` with A-Z made a-z; other bytes, UTF-8 among them, as they are.
std::string lower_case(std::string_view text);

// `text` without the spaces and tabs at either end.
std::string trimmed(std::string_view text);

// The media type of a Content-Type value, lower case, without parameters
// ("text/html; charset=utf-8" gives "text/html").
std::string media_type(std::string_view content_type);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_HEADER_TEXT_H_
