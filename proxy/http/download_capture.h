// Internal to the proxy's HTTP side: a download of a run, saved by the
// proxy. The browser is answered 204 at once, so its page stays where it
// was and it shows no dialog of its own; the body goes on into a file of
// the run's downloads (proxy/pages/download_table.h), whole, however the
// answer came (plain, behind HTTP authentication, over HTTPS).
#ifndef QUORVANE_PROXY_HTTP_DOWNLOAD_CAPTURE_H_
#define QUORVANE_PROXY_HTTP_DOWNLOAD_CAPTURE_H_

#include <optional>
#include <string>

#include <boost/asio/awaitable.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/parser.hpp>

#include "proxy/http/any_stream.h"
#include "proxy/http/stream_relay.h"

namespace Tavrin::Proxy::Http {

struct ProxyContext;

// Where a download comes from: the run, the page the navigation started
// from (its Referer, empty when not sent), the full address, the request
// path and the client's HTTP version.
struct DownloadSource {
  std::string run;
  std::string referer;
  std::string url;
  std::string path;
  unsigned version = 11;
};

// How a download that was taken went: `failure` is empty when the body was
// saved whole (the origin connection may then carry another request, if
// the origin keeps it), else what ended it.
struct DownloadSaved {
  std::string failure;
};

// Takes the answer whose header `parser` has read from `up` as a download:
// answers `client` 204 (closing its connection), saves the body and
// records it; `tap`, if any, sees the body's bytes as they are saved (the
// run's request log). Returns std::nullopt, having done nothing, when
// there is no folder to save it in (the answer then passes on to the
// browser).
boost::asio::awaitable<std::optional<DownloadSaved>> capture_download(
    AnyStream& client, boost::beast::http::response_parser<boost::beast::http::buffer_body>& parser,
    AnyStream& up, boost::beast::flat_buffer& up_buffer, const DownloadSource& source, ProxyContext& context,
    const BodyTap* tap);

}  // namespace Tavrin::Proxy::Http

#endif  // QUORVANE_PROXY_HTTP_DOWNLOAD_CAPTURE_H_
