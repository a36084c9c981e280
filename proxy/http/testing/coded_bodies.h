// Bodies in the content codings origins send (gzip, zlib-wrapped and raw
// deflate, br), made by the codings' own libraries, for tests of what the
// proxy does with them.
#ifndef QUORVANE_PROXY_HTTP_TESTING_CODED_BODIES_H_
#define QUORVANE_PROXY_HTTP_TESTING_CODED_BODIES_H_

#include <string>

namespace Tavrin::Proxy::Http::Testing {

std::string gzip(const std::string& text);
std::string zlib_wrapped(const std::string& text);
std::string raw_deflate(const std::string& text);
std::string brotli(const std::string& text);

}  // namespace Tavrin::Proxy::Http::Testing

#endif  // QUORVANE_PROXY_HTTP_TESTING_CODED_BODIES_H_
