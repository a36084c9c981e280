// Undoes the content codings an origin may still send for a page the proxy
// asked to get uncompressed: gzip, deflate (zlib-wrapped or raw) and br.
// The proxy never compresses again; the injected page goes out identity.
#ifndef QUORVANE_PROXY_HTTP_BODY_DECODING_H_
#define QUORVANE_PROXY_HTTP_BODY_DECODING_H_

#include <cstddef>
#include <functional>
#include <memory>
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

// Decodes one content coding piece by piece, for a body too large to hold
// (a saved download): the decoded bytes go to a sink as they come, in
// pieces of at most 64 kB, so that a small bomb never sits in memory.
class ContentDecoder {
 public:
  // Takes a piece of decoded bytes; false stops the decoding.
  using Sink = std::function<bool(std::string_view)>;

  // The decoder of a Content-Encoding value that names exactly one of
  // gzip, x-gzip, deflate and br (case and spaces aside); nullptr for
  // anything else, "identity" and an empty value included.
  static std::unique_ptr<ContentDecoder> for_encoding(std::string_view content_encoding);

  virtual ~ContentDecoder() = default;

  // Decodes the next piece of the coded body. False: the data is damaged,
  // goes on past its end, or the sink stopped it.
  virtual bool feed(std::string_view coded, const Sink& sink) = 0;

  // Whether the coded data has come to its proper end.
  virtual bool finished() const = 0;
};

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_BODY_DECODING_H_
