// Forwarding for clients on plain TCP connections.
#include "proxy/http/forward_impl.h"

namespace Tavrin::Proxy::Http {

template asio::awaitable<bool> forward_request(beast::tcp_stream&, beast::flat_buffer&,
                                               http::request_parser<http::empty_body>&, const Origin&,
                                               const std::string&, ProxyContext&, Upstream&);

}  // namespace Tavrin::Proxy::Http
