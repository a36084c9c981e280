// Forwarding for clients inside intercepted TLS tunnels.
#include "proxy/http/forward_impl.h"

namespace Tavrin::Proxy::Http {

template asio::awaitable<bool> forward_request(Upstream::TlsStream&, beast::flat_buffer&,
                                               http::request_parser<http::empty_body>&, const Origin&,
                                               const std::string&, ProxyContext&, Upstream&);

}  // namespace Tavrin::Proxy::Http
