// Page sockets inside intercepted TLS tunnels (pages of https origins):
// the socket's life and its close.
#include "proxy/pages/page_socket_impl.h"

namespace Tavrin::Proxy::Http {

template asio::awaitable<void> serve_page_socket(Upstream::TlsStream&, const http::request<http::empty_body>&,
                                                 const std::string&, ProxyContext&);
QUORVANE_PAGE_SOCKET_CLOSE(, Upstream::TlsStream);

}  // namespace Tavrin::Proxy::Http
