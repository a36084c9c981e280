// Undoes the content codings an origin may still send for a page the proxy
// asked to get uncompressed: gzip, deflate (zlib-wrapped or raw) and br.
// The proxy never compresses again; the injected page goes out identity.
#ifndef QUORVANE_PROXY_HTTP_BODY_DECODING_H_
#define QUORVANE_PROXY_HTTP_BODY_DECODING_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace Tavrin::Proxy::Http {

// `body` decoded by the codings of a Content-Encoding value, applied in
// reverse order ("identity" and an empty value change nothing).
// std::nullopt for an unknown coding, damaged data, or a result longer
// than `max_bytes` (so a small bomb cannot take the memory).
std::optional<std::string> decode_content(std::string_view body, std::string_view content_encoding,
                                          std::size_t max_bytes);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_BODY_DECODING_H_
